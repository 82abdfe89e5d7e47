#include "VCardReader.h"

namespace {

bool validUtf8(const char* p, qsizetype n)
{
    qsizetype i = 0;
    while (i < n) {
        const auto b = static_cast<unsigned char>(p[i]);
        if (b < 0x80) {
            ++i;
            continue;
        }
        int len = 0;
        char32_t c = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            len = 2;
            c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            len = 3;
            c = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            len = 4;
            c = b & 0x07;
        } else {
            return false;
        }
        if (i + len > n)
            return false;
        for (int k = 1; k < len; ++k) {
            const auto cb = static_cast<unsigned char>(p[i + k]);
            if ((cb & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (cb & 0x3F);
        }
        if ((len == 3 && c < 0x800) || (len == 4 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

bool isNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

bool isControl(unsigned char c)
{
    return (c < 0x20 && c != '\t') || c == 0x7F;
}

// Parses one unfolded content line; empty text when it is well formed.
QString parseContentLine(const QByteArray& line, VProperty& p)
{
    qsizetype i = 0;
    const qsizetype n = line.size();
    auto name = [&]() -> QString {
        const qsizetype start = i;
        while (i < n && isNameChar(line[i]))
            ++i;
        return QString::fromLatin1(line.mid(start, i - start)).toUpper();
    };
    p.name = name();
    if (p.name.isEmpty())
        return QStringLiteral("content line without a name: ") + QString::fromUtf8(line);
    while (i < n && line[i] == ';') {
        ++i;
        const QString param = name();
        if (param.isEmpty() || i >= n || line[i] != '=')
            return QStringLiteral("malformed parameter in: ") + QString::fromUtf8(line);
        ++i;
        QStringList values;
        for (;;) {
            QByteArray v;
            if (i < n && line[i] == '"') {
                ++i;
                while (i < n && line[i] != '"') {
                    if (isControl(static_cast<unsigned char>(line[i])))
                        return QStringLiteral("control character in a parameter");
                    v.append(line[i++]);
                }
                if (i >= n)
                    return QStringLiteral("unterminated quoted parameter");
                ++i;
            } else {
                while (i < n && line[i] != ';' && line[i] != ':' && line[i] != ',') {
                    if (line[i] == '"' || isControl(static_cast<unsigned char>(line[i])))
                        return QStringLiteral("bad character in a parameter");
                    v.append(line[i++]);
                }
            }
            values.append(QString::fromUtf8(v).toLower());
            if (i < n && line[i] == ',') {
                ++i;
                continue;
            }
            break;
        }
        p.params[param].append(values);
    }
    if (i >= n || line[i] != ':')
        return QStringLiteral("no colon after the name in: ") + QString::fromUtf8(line);
    p.value = line.mid(i + 1);
    for (const char c : p.value) {
        if (isControl(static_cast<unsigned char>(c)))
            return QStringLiteral("control character in the value of ") + p.name;
    }
    return QString();
}

}  // namespace

std::vector<const VProperty*> VCard::all(const QString& name) const
{
    std::vector<const VProperty*> found;
    for (const VProperty& p : properties) {
        if (p.name == name)
            found.push_back(&p);
    }
    return found;
}

const VProperty* VCard::first(const QString& name) const
{
    for (const VProperty& p : properties) {
        if (p.name == name)
            return &p;
    }
    return nullptr;
}

VCardFile readVCardFile(const QByteArray& bytes)
{
    VCardFile file;
    auto fail = [&](const QString& why, qsizetype at) {
        file.error = why + QStringLiteral(" (at byte %1)").arg(at);
        return file;
    };

    // Physical lines, then unfolded content lines.
    std::vector<QByteArray> lines;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const qsizetype cr = bytes.indexOf("\r\n", pos);
        if (cr < 0)
            return fail(QStringLiteral("last line not ended by CRLF"), pos);
        const QByteArray physical = bytes.mid(pos, cr - pos);
        if (physical.contains('\r') || physical.contains('\n'))
            return fail(QStringLiteral("bare CR or LF"), pos);
        if (physical.size() > 75)
            return fail(QStringLiteral("physical line of %1 octets").arg(physical.size()), pos);
        if (!validUtf8(physical.constData(), physical.size()))
            return fail(QStringLiteral("physical line is not UTF-8 on its own (fold inside a character?)"), pos);
        if (physical.startsWith(' ') || physical.startsWith('\t')) {
            if (lines.empty())
                return fail(QStringLiteral("continuation before the first line"), pos);
            if (physical.size() < 2)
                return fail(QStringLiteral("empty continuation line"), pos);
            lines.back().append(physical.mid(1));
            ++file.foldedLines;
        } else {
            if (physical.isEmpty())
                return fail(QStringLiteral("empty line"), pos);
            lines.push_back(physical);
        }
        pos = cr + 2;
    }

    VCard* card = nullptr;
    for (const QByteArray& line : lines) {
        VProperty p;
        const QString error = parseContentLine(line, p);
        if (!error.isEmpty())
            return fail(error, 0);
        if (p.name == QLatin1String("BEGIN")) {
            if (card || p.value.toUpper() != "VCARD")
                return fail(QStringLiteral("unexpected BEGIN"), 0);
            file.cards.emplace_back();
            card = &file.cards.back();
            continue;
        }
        if (!card)
            return fail(QStringLiteral("property outside a card: ") + p.name, 0);
        if (p.name == QLatin1String("END")) {
            if (p.value.toUpper() != "VCARD")
                return fail(QStringLiteral("unexpected END"), 0);
            if (card->properties.empty() || card->properties.front().name != QLatin1String("VERSION")
                || card->properties.front().value != "3.0")
                return fail(QStringLiteral("card does not start with VERSION:3.0"), 0);
            if (card->all(QStringLiteral("N")).size() != 1 || card->all(QStringLiteral("FN")).size() != 1)
                return fail(QStringLiteral("card without exactly one N and one FN"), 0);
            card = nullptr;
            continue;
        }
        card->properties.push_back(std::move(p));
    }
    if (card)
        return fail(QStringLiteral("card without END"), bytes.size());
    return file;
}

QString unescapeText(const QByteArray& raw, QString* error)
{
    QByteArray out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == ',' || c == ';') {
            *error = QStringLiteral("unescaped separator in a text value: ") + QString::fromUtf8(raw);
            return QString();
        }
        if (c != '\\') {
            out.append(c);
            continue;
        }
        if (++i >= raw.size()) {
            *error = QStringLiteral("backslash at the end of a value");
            return QString();
        }
        switch (raw[i]) {
        case '\\':
            out.append('\\');
            break;
        case ',':
            out.append(',');
            break;
        case ';':
            out.append(';');
            break;
        case 'n':
        case 'N':
            out.append('\n');
            break;
        default:
            *error = QStringLiteral("unknown escape \\") + QChar(raw[i]);
            return QString();
        }
    }
    return QString::fromUtf8(out);
}

QStringList splitValue(const QByteArray& raw, char separator, QString* error)
{
    QStringList parts;
    QByteArray part;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '\\' && i + 1 < raw.size()) {
            part.append(c);
            part.append(raw[++i]);
        } else if (c == separator) {
            parts.append(unescapeText(part, error));
            part.clear();
        } else {
            part.append(c);
        }
    }
    parts.append(unescapeText(part, error));
    return parts;
}
