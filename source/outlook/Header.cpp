#include "source/outlook/Header.h"

#include "source/outlook/Crc.h"

namespace outlook::pst {

namespace {

// Field offsets. Both layouts start alike up to wVer; the rest differs.
constexpr std::size_t kMagic = 0;  // dwMagic "!BDN"
constexpr std::size_t kCrcPartial = 4;  // dwCRCPartial over 471 bytes from wMagicClient
constexpr std::size_t kMagicClient = 8;  // "SM" .pst, "SO" .ost, "AB" .pab
constexpr std::size_t kVersion = 10;  // wVer
constexpr std::size_t kCrcPartialSize = 471;

// Unicode layout.
constexpr std::size_t kUnicodeFileEof = 184;  // root.ibFileEof
constexpr std::size_t kUnicodeNbt = 216;  // root.BREFNBT (bid, ib)
constexpr std::size_t kUnicodeBbt = 232;  // root.BREFBBT (bid, ib)
constexpr std::size_t kUnicodeCrypt = 513;  // bCryptMethod
constexpr std::size_t kUnicodeCrcFull = 524;  // dwCRCFull over 516 bytes from wMagicClient
constexpr std::size_t kUnicodeCrcFullSize = 516;
constexpr std::size_t kUnicodeSize = 564;

// ANSI layout.
constexpr std::size_t kAnsiFileEof = 168;
constexpr std::size_t kAnsiNbt = 184;
constexpr std::size_t kAnsiBbt = 192;
constexpr std::size_t kAnsiCrypt = 461;
constexpr std::size_t kAnsiSize = 512;

[[noreturn]] void refuse(const QString& path, Cause cause, const QString& why)
{
    throw OutlookError(cause, (path + QStringLiteral(": ") + why).toStdString());
}

}  // namespace

Header Header::parse(const std::uint8_t* h, std::size_t size, const QString& path)
{
    if (size < 12 || std::memcmp(h + kMagic, "!BDN", 4) != 0)
        refuse(path, Cause::NotADataFile, QStringLiteral("not an Outlook data file"));
    Header out;
    if (std::memcmp(h + kMagicClient, "SM", 2) == 0)
        out.offline = false;
    else if (std::memcmp(h + kMagicClient, "SO", 2) == 0)
        out.offline = true;
    else if (std::memcmp(h + kMagicClient, "AB", 2) == 0)
        refuse(path, Cause::NotADataFile,
               QStringLiteral("a personal address book (.pab), not a personal folders file"));
    else
        refuse(path, Cause::NotADataFile, QStringLiteral("not an Outlook data file"));
    out.version = u16(h + kVersion);
    // 14 and 15: the ANSI layout; 23 (and what lies between it and 36): the
    // Unicode layout; 36 and 37: the Unicode layout with 4 KiB pages that
    // Outlook 2013 and later write for offline folder files.
    if (out.version == 14 || out.version == 15) {
        out.geometry = kAnsiGeometry;
    } else if (out.version >= 23 && out.version < 36) {
        out.geometry = kUnicodeGeometry;
    } else if (out.version == 36 || out.version == 37) {
        out.geometry = kUnicode4kGeometry;
    } else {
        refuse(path, Cause::FormatNotRead,
               QStringLiteral("an Outlook data file of an unknown version (%1)").arg(out.version));
    }
    const std::size_t need = out.geometry.layout == Layout::Unicode ? kUnicodeSize : kAnsiSize;
    if (size < need)
        refuse(path, Cause::Damaged, QStringLiteral("the header is cut short"));

    if (kCheckCrc
        && (crc(h + kMagicClient, kCrcPartialSize) != u32(h + kCrcPartial)
            || (out.geometry.layout == Layout::Unicode
                && crc(h + kMagicClient, kUnicodeCrcFullSize) != u32(h + kUnicodeCrcFull))))
        refuse(path, Cause::Damaged, QStringLiteral("the data file is damaged: its header fails its check"));

    const Layout l = out.geometry.layout;
    const bool uni = l == Layout::Unicode;
    const std::size_t w = wideSize(l);
    out.fileEof = wide(h + (uni ? kUnicodeFileEof : kAnsiFileEof), l);
    const std::size_t nbt = uni ? kUnicodeNbt : kAnsiNbt;
    const std::size_t bbt = uni ? kUnicodeBbt : kAnsiBbt;
    out.nodeBTree = {wide(h + nbt, l), wide(h + nbt + w, l)};
    out.blockBTree = {wide(h + bbt, l), wide(h + bbt + w, l)};
    const std::uint8_t crypt = h[uni ? kUnicodeCrypt : kAnsiCrypt];
    if (crypt > 2) {
        if (crypt == 0x10)
            refuse(path, Cause::FormatNotRead,
                   QStringLiteral("encrypted with Windows Information Protection, which this program cannot read"));
        refuse(path, Cause::FormatNotRead, QStringLiteral("an unknown encoding (%1)").arg(crypt));
    }
    out.crypt = CryptMethod(crypt);
    return out;
}

}  // namespace outlook::pst
