// The file variants the PST writer makes.
#pragma once

namespace pstwriter {

// Unicode: the 64-bit layout (wVer 23) of Outlook 2003 and later, texts in
// UTF-16. Ansi: the older 32-bit layout (wVer 15), texts in a code page.
// Unicode4K: the Unicode layout with 4 KiB pages and blocks of up to 64 KiB
// (wVer 36), which Outlook 2013 and later write for offline folder files.
enum class PstFormat { Unicode, Ansi, Unicode4K };

// How data blocks are stored (bCryptMethod): as they are, with the
// byte permutation Outlook calls "compressible encryption" (its default), or
// with the cyclic scheme keyed by each block's id ("high encryption").
enum class PstEncoding { None, Compressible, Cyclic };

// A personal folders file (.pst) or an offline folders file (.ost): the same
// layout, told apart by the header's client magic.
enum class PstKind { Pst, Ost };

}  // namespace pstwriter
