#include "source/outlook/Rtf.h"

#include "source/outlook/Outlook.h"
#include "source/outlook/Property.h"

#include <QtEndian>

#include <array>
#include <string_view>
#include <vector>

namespace outlook::rtf {

namespace {

constexpr quint32 kCompressed = 0x75465A4C;  // "LZFu"
constexpr quint32 kUncompressed = 0x414C454D;  // "MELA"
// No body this program reads comes near this; larger claims are damage.
constexpr quint32 kMaxRawSize = 64u * 1024 * 1024;

// The text every compressed stream's dictionary starts with.
constexpr std::string_view kPrebuffer
    = "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern \\fscript "
      "\\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
      "\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
static_assert(kPrebuffer.size() == 207);

[[noreturn]] void damaged(const char* what)
{
    throw OutlookError(Cause::Damaged, std::string("the RTF body is damaged: ") + what);
}

}  // namespace

QByteArray Decompress(const QByteArray& stream)
{
    if (stream.size() < 16)
        damaged("too short");
    const char* p = stream.constData();
    const quint32 compSize = qFromLittleEndian<quint32>(p);
    const quint32 rawSize = qFromLittleEndian<quint32>(p + 4);
    const quint32 compType = qFromLittleEndian<quint32>(p + 8);
    if (rawSize > kMaxRawSize)
        damaged("impossible size");
    // COMPSIZE counts the bytes after itself; a shorter value cuts the data.
    const qsizetype end = qMin<qsizetype>(stream.size(), qsizetype(compSize) + 4);
    if (end < 16)
        damaged("impossible size");

    if (compType == kUncompressed) {
        const qsizetype available = end - 16;
        return stream.mid(16, qMin<qsizetype>(available, rawSize));
    }
    if (compType != kCompressed)
        damaged("unknown compression");

    std::array<char, 4096> dict{};
    std::copy(kPrebuffer.begin(), kPrebuffer.end(), dict.begin());
    unsigned write = unsigned(kPrebuffer.size());
    QByteArray out;
    out.reserve(qsizetype(rawSize));
    qsizetype at = 16;
    while (at < end) {
        const uchar control = uchar(p[at++]);
        for (int bit = 0; bit < 8; ++bit) {
            if (at >= end)
                return out;  // ran out of input: what was decoded stands
            if (!(control & (1u << bit))) {
                const char c = p[at++];
                out += c;
                dict[write] = c;
                write = (write + 1) % 4096;
            } else {
                if (at + 2 > end)
                    damaged("truncated reference");
                const quint16 ref = qFromBigEndian<quint16>(p + at);
                at += 2;
                const unsigned offset = ref >> 4;
                const unsigned length = (ref & 0x0F) + 2;
                if (offset == write)
                    return out;  // the end marker
                for (unsigned i = 0; i < length; ++i) {
                    const char c = dict[(offset + i) % 4096];
                    out += c;
                    dict[write] = c;
                    write = (write + 1) % 4096;
                }
            }
            if (quint32(out.size()) > rawSize + 16)
                damaged("more data than declared");
        }
    }
    return out;
}

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Groups whose content is not text. Of a field (\field), the instruction
// (\fldinst) is dropped and the result (\fldrslt) is its text.
bool isSkippedDestination(std::string_view word)
{
    static constexpr std::string_view kSkipped[] = {"fonttbl",   "colortbl",     "stylesheet", "info",
                                                    "pict",      "object",       "header",     "footer",
                                                    "headerl",   "headerr",      "headerf",    "footerl",
                                                    "footerr",   "footerf",      "themedata",  "colorschememapping",
                                                    "datastore", "latentstyles", "listtable",  "listoverridetable",
                                                    "rsidtbl",   "generator",    "xmlnstbl",   "mmathPr",
                                                    "filetbl",   "revtbl",       "fldinst",    "htmltag",
                                                    "pntext",    "pntxta",       "pntxtb",     "bkmkstart",
                                                    "bkmkend"};
    for (std::string_view s : kSkipped)
        if (s == word)
            return true;
    return false;
}

struct Group {
    bool skip = false;
    int unicodeSkip = 1;
};

}  // namespace

QString ToText(const QByteArray& rtf)
{
    QString text;
    QByteArray pending;  // 8-bit characters waiting for their code page
    int codepage = 1252;
    std::vector<Group> stack{Group{}};
    int skipChars = 0;  // characters still to drop after a \uN
    const char* p = rtf.constData();
    const qsizetype n = rtf.size();
    // Outlook nests drawn shapes a thousand groups deep and more. Groups
    // beyond this depth are counted, not kept, and their content is dropped:
    // the stack stays small whatever the input.
    constexpr std::size_t kMaxDepth = 20000;
    std::size_t deeper = 0;

    auto flush = [&] {
        if (!pending.isEmpty()) {
            text += pst::decodeCodepage(pending.constData(), pending.size(), codepage);
            pending.clear();
        }
    };
    auto emitByte = [&](char c) {
        if (skipChars > 0) {
            --skipChars;
            return;
        }
        if (!stack.back().skip && deeper == 0)
            pending += c;
    };
    auto emitText = [&](const QString& s) {
        if (skipChars > 0) {
            --skipChars;
            return;
        }
        if (!stack.back().skip && deeper == 0) {
            flush();
            text += s;
        }
    };

    for (qsizetype i = 0; i < n;) {
        const char c = p[i];
        if (c == '{') {
            if (deeper > 0 || stack.size() >= kMaxDepth)
                ++deeper;
            else
                stack.push_back(stack.back());
            skipChars = 0;
            ++i;
        } else if (c == '}') {
            if (deeper > 0)
                --deeper;
            else if (stack.size() > 1)
                stack.pop_back();
            skipChars = 0;
            ++i;
        } else if (c == '\r' || c == '\n') {
            ++i;
        } else if (c != '\\') {
            emitByte(c);
            ++i;
        } else if (i + 1 >= n) {
            ++i;
        } else if (isLetter(p[i + 1])) {
            qsizetype j = i + 1;
            while (j < n && isLetter(p[j]) && j - i < 40)
                ++j;
            const std::string_view word(p + i + 1, std::size_t(j - i - 1));
            bool hasParam = false;
            long param = 0;
            bool negative = false;
            if (j < n && p[j] == '-') {
                negative = true;
                ++j;
            }
            int digits = 0;
            while (j < n && p[j] >= '0' && p[j] <= '9') {
                if (digits < 10)
                    param = param * 10 + (p[j] - '0');
                ++digits;
                hasParam = true;
                ++j;
            }
            if (negative)
                param = -param;
            if (j < n && p[j] == ' ')
                ++j;
            i = j;
            // \binN: N bytes of binary data (a picture, a drawn shape), which
            // may hold any byte, braces too.
            if (word == "bin" && hasParam) {
                i += qsizetype(qBound(0L, param, long(n - i)));
                continue;
            }
            if (deeper > 0)
                continue;  // nothing beyond the depth kept changes the groups kept

            if (word == "par" || word == "line" || word == "sect" || word == "row")
                emitText(QStringLiteral("\r\n"));
            else if (word == "tab" || word == "cell")
                emitText(QStringLiteral("\t"));
            else if (word == "emdash")
                emitText(QString(QChar(0x2014)));
            else if (word == "endash")
                emitText(QString(QChar(0x2013)));
            else if (word == "bullet")
                emitText(QString(QChar(0x2022)));
            else if (word == "lquote")
                emitText(QString(QChar(0x2018)));
            else if (word == "rquote")
                emitText(QString(QChar(0x2019)));
            else if (word == "ldblquote")
                emitText(QString(QChar(0x201C)));
            else if (word == "rdblquote")
                emitText(QString(QChar(0x201D)));
            else if (word == "u" && hasParam) {
                const char16_t unit = char16_t(param < 0 ? param + 65536 : param);
                if (!stack.back().skip) {
                    flush();
                    text += QChar(unit);
                }
                skipChars = stack.back().unicodeSkip;
            } else if (word == "uc" && hasParam) {
                stack.back().unicodeSkip = int(qBound(0L, param, 10L));
            } else if (word == "ansicpg" && hasParam) {
                flush();
                codepage = int(param);
            } else if (isSkippedDestination(word)) {
                stack.back().skip = true;
            }
        } else {
            const char sym = p[i + 1];
            i += 2;
            if (deeper > 0) {
                if (sym == '\'' && i + 2 <= n)
                    i += 2;
                continue;
            }
            if (sym == '\\' || sym == '{' || sym == '}')
                emitByte(sym);
            else if (sym == '~')
                emitText(QString(QChar(0x00A0)));
            else if (sym == '_')
                emitText(QStringLiteral("-"));
            else if (sym == '*')
                stack.back().skip = true;
            else if (sym == '\r' || sym == '\n')
                emitText(QStringLiteral("\r\n"));
            else if (sym == '\'' && i + 2 <= n) {
                bool ok = false;
                const int value = QByteArray(p + i, 2).toInt(&ok, 16);
                i += 2;
                if (ok)
                    emitByte(char(value));
            }
        }
    }
    flush();
    return text;
}

}  // namespace outlook::rtf
