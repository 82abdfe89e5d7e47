#pragma once
// Exporting an address book of ours to a file other programs read: DXL for a
// Notes client or Domino server, vCard 3.0 for any other address book.
//
// The book is read one document at a time, so memory does not grow with its
// size. The output is written to an unnamed file in OUT's folder and given
// its name only when complete: an export that fails, is interrupted or is
// killed leaves nothing behind, whole or half. The book itself is only read.

#include <QString>

#include <csignal>
#include <functional>
#include <stdexcept>

namespace exporting {

enum class ExportFormat { Dxl, VCard };

struct BookExportOptions {
    QString book;
    QString out;
    ExportFormat format = ExportFormat::Dxl;
    bool force = false;  // replace an existing OUT
    // Set (by a signal handler, say) to stop the export; checked after each
    // document.
    const volatile std::sig_atomic_t* stopRequested = nullptr;
};

struct BookExportResult {
    qint64 exported = 0;  // documents written
    qint64 leftOut = 0;  // documents read but not written (vCard: not Person or Group)
    qint64 replacedCharacters = 0;  // characters the format cannot carry, written as U+FFFD
};

class BookExportError : public std::runtime_error {
public:
    enum Kind {
        BadInput,  // BOOK missing or not ours, OUT exists or cannot be written; nothing was done
        Failed,  // reading BOOK or writing OUT failed on the way; nothing left behind
        Interrupted,  // stopped on request; nothing left behind
    };
    BookExportError(Kind kind, const QString& message);
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// Runs the export. `afterDocument` (if set) is called with the number of
// documents written out so far, after each one. (The vCard export reads the
// book's lists before and after that, which is not counted.) Throws
// BookExportError.
BookExportResult ExportBook(const BookExportOptions& options,
                            const std::function<void(qint64 documentsRead)>& afterDocument = {});

}  // namespace exporting
