#include "Fixture.h"

#include "source/outlook/Property.h"
#include "source/outlook/Rtf.h"

#include <cstring>

#include <QtEndian>

using namespace outlook;

namespace {

QByteArray stream(const char* type, const QByteArray& content, quint32 rawSize)
{
    QByteArray h(16, '\0');
    qToLittleEndian<quint32>(quint32(content.size() + 12), h.data());
    qToLittleEndian<quint32>(rawSize, h.data() + 4);
    h.replace(8, 4, QByteArray(type, 4));
    return h + content;
}

}  // namespace

TEST(RtfTest, DecompressesReferencesIntoTheInitialDictionary)
{
    // A reference to "{\rtf1" at the start of the dictionary, three
    // literals, then the end marker (a reference to the write position).
    const QByteArray content = QByteArray::fromHex("110004") + " x}" + QByteArray::fromHex("0D80");
    EXPECT_EQ(rtf::Decompress(stream("LZFu", content, 9)), QByteArray("{\\rtf1 x}"));
}

TEST(RtfTest, DecompressesOverlappingReferences)
{
    // 'a', then five bytes copied from the byte just written.
    const QByteArray content = QByteArray::fromHex("0661") + QByteArray::fromHex("0CF30D50");
    EXPECT_EQ(rtf::Decompress(stream("LZFu", content, 6)), QByteArray("aaaaaa"));
}

TEST(RtfTest, StoredStreamsAndDamage)
{
    EXPECT_EQ(rtf::Decompress(stream("MELA", "{\\rtf1 y}", 9)), QByteArray("{\\rtf1 y}"));
    EXPECT_THROW(rtf::Decompress(QByteArray("short")), OutlookError);
    EXPECT_THROW(rtf::Decompress(stream("ABCD", "x", 1)), OutlookError);
    EXPECT_THROW(rtf::Decompress(stream("LZFu", "x", 0x7FFFFFFF)), OutlookError);
    // A reference cut off by the end of the data.
    EXPECT_THROW(rtf::Decompress(stream("LZFu", QByteArray::fromHex("0100"), 9)), OutlookError);
    // Output far beyond the declared size is damage, not a reason to grow.
    QByteArray runaway;
    for (int i = 0; i < 4000; ++i)
        runaway += QByteArray::fromHex("FF") + QByteArray::fromHex("000F000F000F000F000F000F000F000F");
    EXPECT_THROW(rtf::Decompress(stream("LZFu", runaway, 10)), OutlookError);
}

TEST(RtfTest, TextOfTheDocument)
{
    const QByteArray doc = "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red0\\green0\\blue0;}"
                           "{\\*\\generator Riched20;}\\pard Caf\\'e9 \\u8364? and \\{braces\\}\\par\r\n"
                           "tab\\tab end\\line {\\*\\htmltag <p>}x\\~y}";
    EXPECT_EQ(rtf::ToText(doc), QString::fromUtf8("Café € and {braces}\r\ntab\tend\r\nx\u00A0y"));
    EXPECT_EQ(rtf::ToText("{\\rtf1 \\uc0\\u1071\\u1041}"), QString::fromUtf8("ЯБ"));
    EXPECT_EQ(rtf::ToText("}}}{{{"), QString());
    // Binary data is no text, whatever bytes it holds.
    EXPECT_EQ(rtf::ToText(QByteArray("{\\rtf1 a{\\*\\shppict{\\pict\\bin6 {\x01}x\\}}}b\\bin2 {{c}")),
              QStringLiteral("abc"));
    // A field gives its result, never its instruction, however it is grouped.
    EXPECT_EQ(
        rtf::ToText("{\\rtf1 See {\\field{\\*\\fldinst HYPERLINK \"http://example.org/\"}{\\fldrslt our site}} today}"),
        QStringLiteral("See our site today"));
    EXPECT_EQ(rtf::ToText("{\\rtf1 {\\field{\\*\\fldinst{HYPERLINK \"mailto:a@b\" }}{\\fldrslt{\\ul\\cf1 a@b}}}"
                          "\\par page {\\field{\\fldinst PAGE}{\\fldrslt 3}}}"),
              QStringLiteral("a@b\r\npage 3"));
    // Nesting as deep as Outlook's drawn shapes keeps the text around it;
    // groups beyond what is kept drop theirs, and change nothing kept.
    const QByteArray deep = QByteArray(3000, '{') + "deep" + QByteArray(3000, '}');
    EXPECT_EQ(rtf::ToText("{\\rtf1 a" + deep + "b}"), QStringLiteral("adeepb"));
    const QByteArray deeper = QByteArray(30000, '{') + "\\*\\uc5 x" + QByteArray(30000, '}');
    EXPECT_EQ(rtf::ToText("{\\rtf1 a" + deeper + "\\u1071?b}"), QString::fromUtf8("aЯb"));
}

TEST(ValueTest, TextsDecodeByTheToleranceRules)
{
    auto dec = [](const char* bytes, int cp) { return pst::decodeCodepage(bytes, qsizetype(std::strlen(bytes)), cp); };
    EXPECT_EQ(dec("\x80 caf\xe9 \x93q\x94", 1252), QString::fromUtf8("€ café “q”"));
    EXPECT_EQ(dec("\xcf\xf0\xe8\xe2\xe5\xf2", 1251), QString::fromUtf8("Привет"));
    EXPECT_EQ(dec("\xc3\xa9", 65001), QString::fromUtf8("é"));

    auto prop = [](std::uint16_t type, const QByteArray& bytes) {
        pst::Property p;
        p.type = type;
        p.data = bytes.constData();
        p.size = std::uint32_t(bytes.size());
        return p;
    };
    const QByteArray eightBit("O'Brien \xe9");
    const QByteArray list = QByteArray::fromHex("02000000"
                                                "0C000000"
                                                "0D000000")
        + "ab";
    const QByteArray badList = QByteArray::fromHex("05000000"
                                                   "0C000000");
    const QByteArray number = QByteArray::fromHex("2A000000");
    // 8-bit text where Unicode is expected: decoded in the item's code page.
    EXPECT_EQ(pst::toText(prop(pst::PT_STRING8, eightBit), 1252), QString::fromUtf8("O'Brien é"));
    // A single text where a list is expected: a one-element list.
    EXPECT_EQ(pst::toTexts(prop(pst::PT_STRING8, eightBit), 1252), QStringList{QString::fromUtf8("O'Brien é")});
    // A list where a single text is expected: joined with ", ".
    EXPECT_EQ(pst::toTexts(prop(pst::PT_MV_STRING8, list), 1252), (QStringList{"a", "b"}));
    EXPECT_EQ(pst::toText(prop(pst::PT_MV_STRING8, list), 1252), QStringLiteral("a, b"));
    // The same for Unicode lists (joined in one piece): terminators dropped
    // from each text, empty texts kept in their place.
    const QByteArray unicodeList = QByteArray::fromHex("03000000"
                                                       "10000000"
                                                       "14000000"
                                                       "14000000"
                                                       "41000000"  // "A" and a terminator
                                                       "4200E900");  // "Bé"
    EXPECT_EQ(pst::toTexts(prop(pst::PT_MV_UNICODE, unicodeList), 1252), (QStringList{"A", "", "Bé"}));
    EXPECT_EQ(pst::toText(prop(pst::PT_MV_UNICODE, unicodeList), 1252), QStringLiteral("A, , Bé"));
    EXPECT_THROW(pst::toText(prop(pst::PT_MV_UNICODE, QByteArray::fromHex("01000000080000004100FF")), 1252),
                 OutlookError);
    // An unrelated type reads as absent.
    EXPECT_EQ(pst::toText(prop(pst::PT_LONG, number), 1252), QString());
    EXPECT_TRUE(pst::toTexts(prop(pst::PT_LONG, number), 1252).isEmpty());
    EXPECT_FALSE(pst::toUtcTime(prop(pst::PT_UNICODE, number)));
    EXPECT_TRUE(pst::toBinaries(prop(pst::PT_LONG, number)).empty());
    // A list whose own bytes are malformed is damage, not another type.
    EXPECT_THROW(pst::toTexts(prop(pst::PT_MV_STRING8, badList), 1252), OutlookError);
}
