#!/usr/bin/env python3
"""Checks that every project include follows the layer table of
docs/ARCHITECTURE.md: a file may include its own layer and the layers its
layer's line names, nothing else. Prints each include that breaks the table
and exits 1; exits 0 when all follow it."""

import pathlib
import re
import subprocess
import sys

root = pathlib.Path(__file__).resolve().parent.parent


def read_table():
    """The fenced block of the "uses" lines: 'left, left  ->  right right (note)'."""
    text = (root / "docs" / "ARCHITECTURE.md").read_text(encoding="utf-8")
    block = re.search(r"^```\n(.*?)^```", text, re.S | re.M)
    if not block:
        sys.exit("check-layers: docs/ARCHITECTURE.md has no layer table")
    table = {}
    for line in block.group(1).splitlines():
        if "->" not in line:
            continue
        left, right = line.split("->", 1)
        right = re.sub(r"\([^)]*\)", " ", right)  # notes such as (Qt Widgets)
        uses = [w.rstrip("/") for w in right.split() if "/" in w or w == "*"]
        for layer in left.replace(",", " ").split():
            if "/" in layer:
                table[layer.rstrip("/")] = uses
    return table


def layer_of(path, layers):
    """The longest layer that is a folder prefix of path, or None."""
    best = None
    for layer in layers:
        if path == layer or path.startswith(layer + "/"):
            if best is None or len(layer) > len(best):
                best = layer
    return best


def allowed(user, used, table):
    if used == user:
        return True
    for use in table[user]:
        if use == "*" or used == use or used.startswith(use + "/"):
            return True
    return False


def main():
    table = read_table()
    files = subprocess.run(["git", "ls-files", "*.cpp", "*.h"], cwd=root, check=True,
                           capture_output=True, text=True).stdout.split()
    faults = []
    for name in files:
        user = layer_of(name, table)
        if user is None:
            faults.append(f"{name}: in no layer of the table")
            continue
        source = (root / name).read_text(encoding="utf-8", errors="replace")
        for number, line in enumerate(source.splitlines(), 1):
            m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
            if not m:
                continue
            target = m.group(1)
            if (root / name).parent.joinpath(target).exists() and not (root / target).exists():
                target = str(((root / name).parent / target).resolve().relative_to(root))
            used = layer_of(target, table)
            if used is None:
                if not (root / target).exists():
                    continue  # generated in the build tree
                faults.append(f"{name}:{number}: includes {m.group(1)}, which is in no layer")
            elif not allowed(user, used, table):
                faults.append(f"{name}:{number}: {user}/ may not include {m.group(1)} ({used}/)")
    for f in faults:
        print(f)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
