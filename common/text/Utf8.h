#pragma once
// UTF-8, written by hand where the text goes straight into a byte stream
// (the book's stored form, the exports): the one encoder of a code point.

// U+FFFD, written in place of what a format cannot hold.
inline constexpr char Utf8Replacement[] = "\xEF\xBF\xBD";

// Writes the code point `c` (no surrogate, at most U+10FFFF) as UTF-8 at `p`
// and returns the end: one to four bytes.
template <typename Byte> inline Byte* putUtf8CodePoint(Byte* p, char32_t c)
{
    if (c < 0x80) {
        *p++ = Byte(c);
    } else if (c < 0x800) {
        *p++ = Byte(0xC0 | (c >> 6));
        *p++ = Byte(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *p++ = Byte(0xE0 | (c >> 12));
        *p++ = Byte(0x80 | ((c >> 6) & 0x3F));
        *p++ = Byte(0x80 | (c & 0x3F));
    } else {
        *p++ = Byte(0xF0 | (c >> 18));
        *p++ = Byte(0x80 | ((c >> 12) & 0x3F));
        *p++ = Byte(0x80 | ((c >> 6) & 0x3F));
        *p++ = Byte(0x80 | (c & 0x3F));
    }
    return p;
}
