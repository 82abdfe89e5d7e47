#pragma once
// Helpers of the tests of the export: data files written with the PST writer,
// folder references as the tree makes them, contacts, and the documents of a
// book.

#include "export/notes/BookReader.h"

#include <PstWriter.h>

#include <QString>
#include <QStringList>

#include <vector>

namespace fixtures {

// Writes `builder` to `path` and returns the path.
QString write(const pstwriter::PstBuilder& builder, const QString& path);

// The reference of the folder at `folderPath` ("Contacts\Friends", below the
// top of the store) of the data file `pst`: entry identifier, "#", path.
// Finds folders of any class.
QString reference(const QString& pst, const QString& folderPath);

// A new, empty address book at `path` with the design of pernames.ntf.
void makeBook(const QString& path);

std::vector<notes::StoredDocument> documents(const QString& book);

// The value of item `name` of `doc`; a null text when the item is missing.
QString item(const notes::StoredDocument& doc, const QString& name);

// A contact with only a first and a last name (and the display name).
pstwriter::ContactData person(const QString& first, const QString& last);

}  // namespace fixtures
