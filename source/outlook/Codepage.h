#pragma once
// Code pages of 8-bit text: Windows code page numbers and their names, the
// ANSI code page of a Windows locale id and of the user's own locale, the
// code page the user names, and decoding and encoding in any of them.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace outlook::pst {

constexpr int kCodepageWindows1252 = 1252;
constexpr int kCodepageUtf8 = 65001;

// The Windows code page a name stands for: a number ("932"), "cp932",
// "windows-1251", or a character set's own name ("shift_jis", "iso-8859-2",
// "koi8-r", "utf-8"), letter case ignored; 0 for a name of none this layer
// decodes.
int codepageOfName(const QString& name);
// Whether 8-bit text in `codepage` can be decoded here.
bool canDecode(int codepage);

// The ANSI code page of a Windows locale id (LCID); 0 for a locale without
// one (a Unicode-only locale) or one not known here.
int ansiCodepageOfLcid(std::uint32_t lcid);
// The ANSI code page of a POSIX locale name ("ja_JP.UTF-8", "sr_RS@latin");
// 0 for "C", "POSIX" or a language not known here.
int ansiCodepageOfLocale(const QByteArray& name);
// The ANSI code page of the user's own locale: the first of LC_ALL,
// LC_CTYPE, LANG that is set; 0 when none names a language. Read once.
int userLocaleCodepage();

// The code page the user names (0: none).
void setUserCodepage(int codepage);
int userCodepage();

// 8-bit text in `codepage`; Windows-1252 for one that cannot be decoded.
QString decodeCodepage(const char* data, qsizetype size, int codepage);
// `text` in `codepage`; nullopt when the code page cannot hold it.
std::optional<QByteArray> encode(const QString& text, int codepage);

}  // namespace outlook::pst
