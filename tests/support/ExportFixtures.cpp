#include "tests/support/ExportFixtures.h"

#include "export/notes/Notes.h"
#include "source/outlook/Outlook.h"

#include <stdexcept>

namespace fixtures {

QString write(const pstwriter::PstBuilder& builder, const QString& path)
{
    builder.write(path);
    return path;
}

QString reference(const QString& pst, const QString& folderPath)
{
    const outlook::RDOStore store = outlook::RDOSession::OpenPstFile(pst);
    outlook::RDOFolder folder = store.IPMRootFolder();
    for (const QString& name : folderPath.split(u'\\')) {
        bool found = false;
        for (int i = 1; i <= folder.FolderCount() && !found; ++i) {
            const outlook::RDOFolder child = folder.Folder(i);
            if (child.Name() == name) {
                folder = child;
                found = true;
            }
        }
        if (!found)
            throw std::runtime_error("no folder " + folderPath.toStdString());
    }
    return folder.EntryID() + u'#' + folderPath;
}

void makeBook(const QString& path)
{
    notes::NotesSession session;
    session.GetDatabase(QString(), QStringLiteral("pernames.ntf"))->CreateCopy(QString(), path);
}

std::vector<notes::StoredDocument> documents(const QString& book)
{
    std::vector<notes::StoredDocument> docs;
    notes::BookReader(book).forEachDocument(false, [&](const notes::StoredDocument& d) { docs.push_back(d); });
    return docs;
}

QString item(const notes::StoredDocument& doc, const QString& name)
{
    for (const notes::StoredItem& i : doc.items) {
        if (i.name == name)
            return i.value;
    }
    return QString();
}

pstwriter::ContactData person(const QString& first, const QString& last)
{
    pstwriter::ContactData c;
    c.givenName = first;
    c.surname = last;
    c.displayName = first + u' ' + last;
    return c;
}

}  // namespace fixtures
