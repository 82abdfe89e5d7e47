#include "source/outlook/Codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace outlook::pst {

namespace {

// Windows-1252 characters 0x80 to 0x9F; the rest of the code page is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Code pages whose character set goes by a name of its own rather than
// "windows-N": the name the converter knows it by.
struct NamedCodepage {
    int codepage;
    const char* name;
};
constexpr NamedCodepage kNamedCodepages[] = {
    {932, "windows-31j"},   {936, "gbk"},           {949, "windows-949"},   {950, "big5"},
    {20127, "us-ascii"},    {20866, "koi8-r"},      {21866, "koi8-u"},      {28591, "iso-8859-1"},
    {28592, "iso-8859-2"},  {28593, "iso-8859-3"},  {28594, "iso-8859-4"},  {28595, "iso-8859-5"},
    {28596, "iso-8859-6"},  {28597, "iso-8859-7"},  {28598, "iso-8859-8"},  {28599, "iso-8859-9"},
    {28603, "iso-8859-13"}, {28605, "iso-8859-15"}, {50220, "iso-2022-jp"}, {50221, "iso-2022-jp"},
    {50222, "iso-2022-jp"}, {51932, "euc-jp"},      {51949, "euc-kr"},      {54936, "gb18030"},
    {10000, "macintosh"},   {65001, "utf-8"},
};
// Other names of the same code pages.
constexpr NamedCodepage kAliases[] = {
    {932, "shift_jis"},      {932, "shift-jis"}, {932, "sjis"},     {932, "ms932"},  {936, "gb2312"},
    {949, "ks_c_5601-1987"}, {20127, "ascii"},   {28591, "latin1"}, {65001, "utf8"},
};

const char* nameOf(int codepage)
{
    for (const NamedCodepage& n : kNamedCodepages)
        if (n.codepage == codepage)
            return n.name;
    return nullptr;
}

QByteArray converterName(int codepage)
{
    if (const char* name = nameOf(codepage))
        return name;
    return "windows-" + QByteArray::number(codepage);
}

// A converter a thread keeps for each code page it has decoded: opening one
// costs far more than decoding a value.
QStringDecoder* decoderFor(int codepage)
{
    thread_local std::unordered_map<int, std::unique_ptr<QStringDecoder>> decoders;
    auto it = decoders.find(codepage);
    if (it == decoders.end()) {
        auto decoder = std::make_unique<QStringDecoder>(converterName(codepage).constData());
        if (!decoder->isValid())
            decoder.reset();
        it = decoders.emplace(codepage, std::move(decoder)).first;
    }
    return it->second.get();
}

QString decode1252(const char* data, qsizetype size)
{
    QString text(size, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < size; ++i) {
        const uchar c = uchar(data[i]);
        out[i] = (c >= 0x80 && c < 0xA0) ? QChar(kCp1252High[c - 0x80]) : QChar(c);
    }
    return text;
}

std::atomic<int> g_userCodepage{0};

// Windows locale ids by primary language (the low 10 bits), with the ANSI
// code page of the language; languages written in several scripts are told
// apart by the whole id below.
struct LanguageCodepage {
    std::uint16_t primary;
    const char* iso;  // ISO 639-1 (or -2) code of POSIX locale names
    int codepage;
};
constexpr LanguageCodepage kLanguages[] = {
    {0x01, "ar", 1256}, {0x02, "bg", 1251}, {0x03, "ca", 1252}, {0x04, "zh", 936},   {0x05, "cs", 1250},
    {0x06, "da", 1252}, {0x07, "de", 1252}, {0x08, "el", 1253}, {0x09, "en", 1252},  {0x0A, "es", 1252},
    {0x0B, "fi", 1252}, {0x0C, "fr", 1252}, {0x0D, "he", 1255}, {0x0E, "hu", 1250},  {0x0F, "is", 1252},
    {0x10, "it", 1252}, {0x11, "ja", 932},  {0x12, "ko", 949},  {0x13, "nl", 1252},  {0x14, "nb", 1252},
    {0x14, "nn", 1252}, {0x14, "no", 1252}, {0x15, "pl", 1250}, {0x16, "pt", 1252},  {0x18, "ro", 1250},
    {0x19, "ru", 1251}, {0x1A, "hr", 1250}, {0x1B, "sk", 1250}, {0x1C, "sq", 1250},  {0x1D, "sv", 1252},
    {0x1E, "th", 874},  {0x1F, "tr", 1254}, {0x20, "ur", 1256}, {0x21, "id", 1252},  {0x22, "uk", 1251},
    {0x23, "be", 1251}, {0x24, "sl", 1250}, {0x25, "et", 1257}, {0x26, "lv", 1257},  {0x27, "lt", 1257},
    {0x28, "tg", 1251}, {0x29, "fa", 1256}, {0x2A, "vi", 1258}, {0x2C, "az", 1254},  {0x2D, "eu", 1252},
    {0x2F, "mk", 1251}, {0x36, "af", 1252}, {0x38, "fo", 1252}, {0x3E, "ms", 1252},  {0x3F, "kk", 1251},
    {0x40, "ky", 1251}, {0x41, "sw", 1252}, {0x43, "uz", 1254}, {0x44, "tt", 1251},  {0x50, "mn", 1251},
    {0x56, "gl", 1252}, {0x6D, "ba", 1251}, {0x80, "ug", 1256}, {0x8C, "prs", 1256},
};
// Whole locale ids whose script differs from their language's first one.
struct LocaleCodepage {
    std::uint16_t lcid;
    int codepage;
};
constexpr LocaleCodepage kLocales[] = {
    {0x0404, 950},  {0x0C04, 950},  {0x1404, 950},  // Chinese, traditional script
    {0x081A, 1250}, {0x181A, 1250}, {0x241A, 1250}, {0x2C1A, 1250}, {0x141A, 1250},  // Serbian, Bosnian (Latin)
    {0x0C1A, 1251}, {0x1C1A, 1251}, {0x201A, 1251}, {0x281A, 1251}, {0x301A, 1251},  // Serbian, Bosnian (Cyrillic)
    {0x082C, 1251}, {0x0843, 1251},  // Azerbaijani, Uzbek (Cyrillic)
    {0x0850, 0},  // Mongolian (Mongolian script): Unicode only
};

}  // namespace

int codepageOfName(const QString& name)
{
    const QString n = name.trimmed().toLower();
    if (n.isEmpty())
        return 0;
    bool number = false;
    int codepage = n.toInt(&number);
    if (!number) {
        for (const char* prefix : {"windows-", "cp"})
            if (n.startsWith(QLatin1String(prefix))) {
                codepage = n.mid(qsizetype(std::strlen(prefix))).toInt(&number);
                break;
            }
    }
    if (!number) {
        codepage = 0;
        for (const NamedCodepage& c : kNamedCodepages)
            if (n == QLatin1String(c.name))
                codepage = c.codepage;
        for (const NamedCodepage& c : kAliases)
            if (n == QLatin1String(c.name))
                codepage = c.codepage;
    }
    return codepage > 0 && canDecode(codepage) ? codepage : 0;
}

bool canDecode(int codepage)
{
    if (codepage <= 0 || codepage > 65535)
        return false;
    if (codepage == kCodepageWindows1252 || codepage == kCodepageUtf8)
        return true;
    return decoderFor(codepage) != nullptr;
}

int ansiCodepageOfLcid(std::uint32_t lcid)
{
    const std::uint16_t id = std::uint16_t(lcid & 0xFFFF);
    for (const LocaleCodepage& l : kLocales)
        if (l.lcid == id)
            return l.codepage;
    const std::uint16_t primary = id & 0x3FF;
    for (const LanguageCodepage& l : kLanguages)
        if (l.primary == primary)
            return l.codepage;
    return 0;
}

int ansiCodepageOfLocale(const QByteArray& name)
{
    // language[_territory][.codeset][@modifier]
    const qsizetype end = name.indexOf('.') >= 0 ? name.indexOf('.') : name.indexOf('@');
    const QByteArray base = (end >= 0 ? name.left(end) : name).toLower();
    const QByteArray modifier = name.contains('@') ? name.mid(name.indexOf('@') + 1).toLower() : QByteArray();
    const qsizetype sep = base.indexOf('_');
    const QByteArray language = sep >= 0 ? base.left(sep) : base;
    const QByteArray territory = sep >= 0 ? base.mid(sep + 1) : QByteArray();
    if (language == "zh")
        return territory == "tw" || territory == "hk" || territory == "mo" ? 950 : 936;
    if (language == "sr" || language == "bs")
        return modifier == "latin" ? 1250 : modifier == "cyrillic" ? 1251 : language == "sr" ? 1251 : 1250;
    if ((language == "az" || language == "uz") && modifier == "cyrillic")
        return 1251;
    for (const LanguageCodepage& l : kLanguages)
        if (language == l.iso)
            return l.codepage;
    return 0;
}

int userLocaleCodepage()
{
    static const int codepage = [] {
        for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
            const char* value = std::getenv(variable);
            if (value && *value)
                return ansiCodepageOfLocale(QByteArray(value));
        }
        return 0;
    }();
    return codepage;
}

void setUserCodepage(int codepage)
{
    g_userCodepage.store(codepage, std::memory_order_relaxed);
}

int userCodepage()
{
    return g_userCodepage.load(std::memory_order_relaxed);
}

QString decodeCodepage(const char* data, qsizetype size, int codepage)
{
    if (codepage == kCodepageUtf8)
        return QString::fromUtf8(data, size);
    if (codepage == 20127 || codepage == 28591)
        return QString::fromLatin1(data, size);
    if (codepage != kCodepageWindows1252 && codepage > 0)
        if (QStringDecoder* decoder = decoderFor(codepage)) {
            decoder->resetState();
            return decoder->decode(QByteArrayView(data, size));
        }
    return decode1252(data, size);
}

std::optional<QByteArray> encode(const QString& text, int codepage)
{
    if (codepage == kCodepageUtf8)
        return text.toUtf8();
    if (codepage == kCodepageWindows1252) {
        QByteArray out;
        out.reserve(text.size());
        for (QChar c : text) {
            const char16_t u = c.unicode();
            if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
                out += char(u);
                continue;
            }
            const char16_t* high = std::find(std::begin(kCp1252High), std::end(kCp1252High), u);
            if (high == std::end(kCp1252High))
                return std::nullopt;
            out += char(0x80 + (high - kCp1252High));
        }
        return out;
    }
    QStringEncoder encoder(converterName(codepage).constData());
    if (!encoder.isValid())
        return std::nullopt;
    QByteArray out = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return out;
}

}  // namespace outlook::pst
