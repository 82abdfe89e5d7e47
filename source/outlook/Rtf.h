#pragma once
// Message bodies stored only as (compressed) RTF: unpacking the stream and
// taking the plain text out of the RTF document.

#include <QByteArray>
#include <QString>

namespace outlook::rtf {

// The RTF document held by a PidTagRtfCompressed value, compressed ("LZFu")
// or stored ("MELA"). Throws OutlookError for damaged data; never produces
// more than the header's declared size (capped) of output.
QByteArray Decompress(const QByteArray& stream);

// The text of an RTF document: paragraphs end in CR LF, formatting and
// non-text groups (font tables, pictures, ...) are dropped.
QString ToText(const QByteArray& rtf);

}  // namespace outlook::rtf
