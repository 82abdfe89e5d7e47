#!/usr/bin/python3
"""Reads a vCard file with another program's parser and prints what it read
as JSON: a list of cards, each a list of [NAME, [TYPE values], [values]].

    read_vcards.py vobject|evolution FILE

Exit status 3 when the parser is not installed."""
import json
import sys


def with_vobject(text):
    import vobject

    def values(name, v):
        if name == "N":
            return [v.family, v.given, v.additional, v.prefix, v.suffix]
        if name == "ADR":
            return [v.box, v.extended, v.street, v.city, v.region, v.code, v.country]
        if isinstance(v, list):
            return [str(x) for x in v]
        return [str(v)]

    cards = []
    for component in vobject.readComponents(text, validate=True):
        card = []
        for key, lines in component.contents.items():
            for line in lines:
                name = key.upper()
                vals = values(name, line.value)
                vals = [",".join(x) if isinstance(x, list) else x for x in vals]
                types = sorted(t.lower() for t in line.params.get("TYPE", []))
                card.append([name, types, vals])
        cards.append(card)
    return cards


def with_evolution(text):
    import gi

    gi.require_version("EBookContacts", "1.2")
    from gi.repository import EBookContacts

    cards = []
    for chunk in text.split("END:VCARD\r\n"):
        if not chunk.strip():
            continue
        vcard = EBookContacts.VCard.new_from_string(chunk + "END:VCARD\r\n")
        card = []
        for a in vcard.get_attributes():
            types = []
            for p in a.get_params():
                if p.get_name().upper() == "TYPE":
                    types += [t.lower() for t in p.get_values()]
            card.append([a.get_name().upper(), sorted(types), list(a.get_values())])
        cards.append(card)
    return cards


def main():
    parser, path = sys.argv[1], sys.argv[2]
    with open(path, encoding="utf-8", newline="") as f:
        text = f.read()
    try:
        cards = with_vobject(text) if parser == "vobject" else with_evolution(text)
    except ImportError:
        sys.exit(3)
    json.dump(cards, sys.stdout, ensure_ascii=False)


main()
