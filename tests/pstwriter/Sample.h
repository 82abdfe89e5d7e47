#pragma once
// The sample store the tests write and read back: nested folders of several
// container classes, contacts with every value (Unicode, empty, RTF-only
// body), associated items, and lists with one-off, reference and dangling
// members. Also the helper that runs libpff's command line tools.

#include "PstWriter.h"

#include <QString>
#include <QStringList>

#include <ostream>
#include <vector>

// Readable texts in failure messages.
inline std::ostream& operator<<(std::ostream& os, const QString& s)
{
    return os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << s;
}
inline void PrintTo(const QStringList& l, std::ostream* os)
{
    *os << l.join(QStringLiteral("|"));
}

namespace sample {

struct Sample {
    pstwriter::FolderHandle contacts, friends, close, quick, noClass, inbox;
    pstwriter::ContactData ada;  // every value, Unicode names
    pstwriter::ContactData rtfOnly;  // body only as compressed RTF
    pstwriter::ContactData empty;  // zero-length strings written
    pstwriter::ContactData plain;  // a few values only
    pstwriter::ItemHandle adaItem, rtfItem, emptyItem, plainItem;
    pstwriter::DistListData list, innerList;
    pstwriter::ItemHandle listItem, innerListItem;
    std::uint32_t danglingNid = 0;
    int friendsCount = 3;
    int assocInContacts = 2;
};

// Fills b with the sample store.
Sample build(pstwriter::PstBuilder& b);

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs a program to its end (at most timeoutMs); exitCode -1 when it could not run.
ToolRun run(const QString& program, const QStringList& args, int timeoutMs = 120000);

// Lines of a tool's stderr that say something went wrong.
QStringList complaints(const ToolRun& r);

// The directory tree pffexport wrote: relative paths of every file.
QStringList exportedFiles(const QString& dir);

QString readText(const QString& path);

}  // namespace sample
