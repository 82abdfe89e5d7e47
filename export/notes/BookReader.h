#pragma once
// Read access to an address book of ours, for the command line (dump and the
// DXL and vCard exports). Not part of the operations the export uses.

#include "export/notes/Notes.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace notes {

struct StoredItem {
    QString name;
    QString value;
};

struct StoredDocument {
    qint64 noteId = 0;
    QString unid;  // universal id, 32 hex digits
    qint64 created = 0;  // ms since 1970, UTC
    qint64 modified = 0;  // the last change, ms since 1970, UTC
    bool isDesign = false;  // forms, views and other design notes
    QString form;  // value of the "Form" item (design notes: their kind)
    QStringList folders;  // folders the document is filed in, by name
    std::vector<StoredItem> items;  // in the order written
};

class BookReader {
public:
    // Opens `path` read-only. Throws NotesError when the file is missing or is
    // not an address book or template of ours; the file is never changed.
    explicit BookReader(const QString& path);
    ~BookReader();
    BookReader(const BookReader&) = delete;
    BookReader& operator=(const BookReader&) = delete;

    QString replicaId() const;
    QString title() const;

    // Calls `visit` for each document in note id order, one at a time (memory
    // does not grow with the number of documents). Design notes only when
    // `withDesign`. Where `onlyForm` is given, only the documents of that
    // form (compared without regard to case), whose other documents' values
    // are then not read. The document handed to `visit` is valid during the
    // call; its strings' room is used again for the next one (a copy taken
    // of a string stays as it was).
    void forEachDocument(bool withDesign, const std::function<void(const StoredDocument&)>& visit,
                         QStringView onlyForm = {}) const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

}  // namespace notes
