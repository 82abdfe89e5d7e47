#include "export/DxlWriter.h"
#include "export/Utf8.h"

#include <QStringList>

namespace {

// Notes keeps the summary values of a document (those views can show) in
// one buffer of limited size; values past this many bytes are written as
// non-summary items so that the import does not fail on a long comment.
constexpr qint64 SummaryLimit = 32000;

// The note classes DXL writes as <note class="...">.
bool isDxlNoteClass(const QString& c)
{
    static const QStringList classes = {QStringLiteral("form"),
                                        QStringLiteral("view"),
                                        QStringLiteral("icon"),
                                        QStringLiteral("helpindex"),
                                        QStringLiteral("helpusingdocument"),
                                        QStringLiteral("helpaboutdocument"),
                                        QStringLiteral("filter"),
                                        QStringLiteral("sharedfield"),
                                        QStringLiteral("replicationformula")};
    return classes.contains(c);
}

}  // namespace

void DxlWriter::appendText(QByteArray& out, const QString& s, bool attribute)
{
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = s[i].unicode();
        if (u < 0x80) {
            switch (u) {
            case u'&':
                out.append("&amp;");
                continue;
            case u'<':
                out.append("&lt;");
                continue;
            case u'>':
                out.append("&gt;");
                continue;
            // A parser turns a literal CR (and CRLF) into LF: write it as a
            // reference so that it reads back as it is.
            case u'\r':
                out.append("&#13;");
                continue;
            default:
                break;
            }
            if (attribute) {
                // Attribute values are normalised: blanks of every kind
                // become spaces unless written as references.
                switch (u) {
                case u'"':
                    out.append("&quot;");
                    continue;
                case u'\n':
                    out.append("&#10;");
                    continue;
                case u'\t':
                    out.append("&#9;");
                    continue;
                default:
                    break;
                }
            }
            if (u < 0x20 && u != u'\n' && u != u'\t') {
                out.append(Utf8Replacement);
                ++replaced_;
            } else {
                out.append(char(u));
            }
            continue;
        }
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(s[i + 1].unicode())) {
            appendUtf8(out, QChar::surrogateToUcs4(u, s[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(u) || u == 0xFFFE || u == 0xFFFF) {
            out.append(Utf8Replacement);
            ++replaced_;
        } else {
            appendUtf8(out, u);
        }
    }
}

void DxlWriter::begin(QByteArray& out, const Database& db)
{
    out.append("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<!DOCTYPE database SYSTEM \"xmlschemas/domino_8_5_3.dtd\">\n"
               "<database xmlns=\"http://www.lotus.com/dxl\" version=\"8.5\"");
    if (!db.replicaId.isEmpty()) {
        out.append(" replicaid=\"");
        appendText(out, db.replicaId, true);
        out.append('"');
    }
    out.append(" path=\"");
    appendText(out, db.path, true);
    out.append('"');
    if (!db.title.isEmpty()) {
        out.append(" title=\"");
        appendText(out, db.title, true);
        out.append('"');
    }
    out.append(">\n");
}

void DxlWriter::appendItem(QByteArray& out, const QString& name, const QString& value, qint64& summaryBytes)
{
    out.append("<item name=\"");
    appendText(out, name, true);
    out.append('"');
    QByteArray text;
    text.reserve(value.size() + 16);
    appendText(text, value, false);
    const qint64 size = name.size() + text.size();
    if (summaryBytes + size <= SummaryLimit) {
        summaryBytes += size;
        out.append(" summary=\"true\"");
    }
    if (text.isEmpty()) {
        out.append("><text/></item>\n");
    } else {
        out.append("><text>");
        out.append(text);
        out.append("</text></item>\n");
    }
}

bool DxlWriter::writeDocument(QByteArray& out, const notes::StoredDocument& doc)
{
    if (doc.isDesign && !isDxlNoteClass(doc.form))
        return false;
    qint64 summaryBytes = 0;
    bool formTaken = false;
    if (doc.isDesign) {
        out.append("<note class=\"");
        appendText(out, doc.form, true);
        out.append("\">\n");
    } else {
        out.append("<document");
        for (const notes::StoredItem& item : doc.items) {
            if (item.name.compare(QLatin1String("Form"), Qt::CaseInsensitive) == 0) {
                out.append(" form=\"");
                appendText(out, item.value, true);
                out.append('"');
                formTaken = true;
                break;
            }
        }
        out.append(">\n");
    }
    out.append("<noteinfo unid=\"");
    appendText(out, doc.unid, true);
    out.append("\"/>\n");

    bool formSkipped = false;
    for (const notes::StoredItem& item : doc.items) {
        // The first "Form" item is the form attribute already.
        if (formTaken && !formSkipped && item.name.compare(QLatin1String("Form"), Qt::CaseInsensitive) == 0) {
            formSkipped = true;
            continue;
        }
        appendItem(out, item.name, item.value, summaryBytes);
    }

    if (!doc.folders.isEmpty()) {
        out.append("<item name=\"");
        appendText(out, foldersItemName(), true);
        out.append("\">");
        if (doc.folders.size() > 1)
            out.append("<textlist>");
        for (const QString& folder : doc.folders) {
            out.append("<text>");
            appendText(out, folder, false);
            out.append("</text>");
        }
        if (doc.folders.size() > 1)
            out.append("</textlist>");
        out.append("</item>\n");
    }
    out.append(doc.isDesign ? "</note>\n" : "</document>\n");
    return true;
}

void DxlWriter::end(QByteArray& out)
{
    out.append("</database>\n");
}
