#include "app/ExportBookCommand.h"

#include "common/dialogs/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>

#include <csignal>

namespace {

const QString kTitle = QStringLiteral("Export Address Book");
const QString kDxlFilter = QStringLiteral("DXL for Notes and Domino (*.dxl)");
const QString kVCardFilter = QStringLiteral("vCard for other address books (*.vcf)");

// Documents between two looks at the window system.
constexpr qint64 kEventsEvery = 50;

QString askForOutput(QWidget* owner, const QString& suggestion, exporting::ExportFormat* format)
{
    QString filter = *format == exporting::ExportFormat::VCard ? kVCardFilter : kDxlFilter;
    QString path = QFileDialog::getSaveFileName(owner, kTitle, suggestion,
                                                kDxlFilter + QStringLiteral(";;") + kVCardFilter, &filter);
    if (path.isEmpty())
        return path;
    *format = filter == kVCardFilter ? exporting::ExportFormat::VCard : exporting::ExportFormat::Dxl;
    const QString extension
        = *format == exporting::ExportFormat::VCard ? QStringLiteral(".vcf") : QStringLiteral(".dxl");
    if (QFileInfo(path).suffix().isEmpty())
        path += extension;
    return path;
}

}  // namespace

ExportBookCommand::ExportBookCommand(QWidget* owner)
    : chooseOutput(askForOutput)
    , owner_(owner)
{
}

void ExportBookCommand::run()
{
    using exporting::BookExportError;
    using exporting::ExportFormat;

    const QString book = dialogs().GetOpenFileName(owner_, QString(), QStringLiteral("Address books (*.nsf)|*.nsf"));
    if (book.isEmpty())
        return;
    ExportFormat format = ExportFormat::Dxl;
    const QFileInfo bookInfo(book);
    const QString suggestion
        = QDir(bookInfo.absolutePath()).filePath(bookInfo.completeBaseName() + QStringLiteral(".dxl"));
    const QString out = chooseOutput(owner_, suggestion, &format);
    if (out.isEmpty())
        return;

    exporting::BookExportOptions options;
    options.book = book;
    options.out = out;
    options.format = format;
    // The file dialog has asked before an existing file is replaced.
    options.force = true;
    volatile std::sig_atomic_t stop = 0;
    options.stopRequested = &stop;

    QProgressDialog progress(owner_);
    progress.setWindowTitle(kTitle);
    progress.setLabelText(QStringLiteral("Exporting %1...").arg(bookInfo.fileName()));
    progress.setCancelButtonText(QStringLiteral("&Stop"));
    progress.setRange(0, 0);
    progress.setMinimumDuration(progressDelayMs);
    progress.setWindowModality(Qt::WindowModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);

    exporting::BookExportResult result;
    try {
        result = exporting::ExportBook(options, [&](qint64 written) {
            if (written % kEventsEvery != 0)
                return;
            progress.setLabelText(QStringLiteral("%1 documents written").arg(written));
            progress.setValue(0);
            QCoreApplication::processEvents();
            if (progress.wasCanceled())
                stop = 1;
        });
    } catch (const BookExportError& e) {
        progress.close();
        if (e.kind() == BookExportError::Interrupted) {
            dialogs().MsgBox(owner_, QStringLiteral("The export was stopped. Nothing was written."), MsgButtons::Ok,
                             MsgIcon::Information, QStringLiteral("Export Stopped"));
        } else {
            dialogs().MsgBox(
                owner_,
                QStringLiteral("The address book could not be exported:\n%1").arg(QString::fromStdString(e.what())),
                MsgButtons::Ok, MsgIcon::Critical, QStringLiteral("Export Failed"));
        }
        return;
    }
    progress.close();

    QString text
        = QStringLiteral("%1 documents exported to %2.").arg(result.exported).arg(QDir::toNativeSeparators(out));
    if (result.leftOut > 0)
        text += QStringLiteral("\n%1 documents that are neither Person nor Group were left out.").arg(result.leftOut);
    if (result.replacedCharacters > 0)
        text += QStringLiteral("\n%1 characters the file cannot hold were written as \uFFFD.")
                    .arg(result.replacedCharacters);
    dialogs().MsgBox(owner_, text, MsgButtons::Ok, MsgIcon::Information, QStringLiteral("Export Complete"));
}
