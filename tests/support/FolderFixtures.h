#pragma once
// Data files for the folder-tree tests, written with the PST writer.

#include "PstWriter.h"

#include <QString>

namespace fixtures {

inline pstwriter::ContactData contact(const QString& first, const QString& last)
{
    pstwriter::ContactData c;
    c.givenName = first;
    c.surname = last;
    c.displayName = first + u' ' + last;
    c.email1Address = first.toLower() + QStringLiteral("@example.org");
    return c;
}

inline void contacts(pstwriter::PstBuilder& b, pstwriter::FolderHandle folder, int count, const QString& stem)
{
    for (int i = 1; i <= count; ++i)
        b.addContact(folder, contact(stem + QString::number(i), QStringLiteral("Tester")));
}

// A store with contact folders at several depths, below non-contact folders
// and beside folders whose class is nearly, but not exactly, a contact class:
//
//   Contacts (3 contacts, 1 list)        IPF.Contact
//     Friends (1)                        IPF.Contact
//   A (1)                                IPF.Contact
//     B (0)                              IPF.Contact
//       C1 (2)                           IPF.Contact
//         D (1)                          IPF.Contact
//       C2 (1)                           IPF.Contact
//   Inbox (1 mail)                       IPF.Note
//     Clients (2)                        IPF.Contact
//   Archive                              (no class)
//     Contacts (1)                       IPF.Contact
//   Calendar                             IPF.Appointment
//   Lower case (1)                       IPF.contact
//   Quick (1)                            IPF.Contact.X
inline void writeNested(const QString& path, const QString& storeName = QStringLiteral("Personal Folders"))
{
    pstwriter::PstBuilder b;
    b.setStoreDisplayName(storeName);
    const auto top = b.ipmSubtree();
    const auto contactsFolder = b.addFolder(top, QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    contacts(b, contactsFolder, 3, QStringLiteral("Person"));
    pstwriter::DistListData list;
    list.name = QStringLiteral("Team");
    list.members.push_back(pstwriter::DistListMember::oneOff(QStringLiteral("Ada"), QStringLiteral("SMTP"),
                                                             QStringLiteral("ada@example.org")));
    b.addDistList(contactsFolder, list);
    contacts(b, b.addFolder(contactsFolder, QStringLiteral("Friends"), QStringLiteral("IPF.Contact")), 1,
             QStringLiteral("Friend"));

    const auto a = b.addFolder(top, QStringLiteral("A"), QStringLiteral("IPF.Contact"));
    contacts(b, a, 1, QStringLiteral("Alpha"));
    const auto bFolder = b.addFolder(a, QStringLiteral("B"), QStringLiteral("IPF.Contact"));
    const auto c1 = b.addFolder(bFolder, QStringLiteral("C1"), QStringLiteral("IPF.Contact"));
    contacts(b, c1, 2, QStringLiteral("Gamma"));
    contacts(b, b.addFolder(c1, QStringLiteral("D"), QStringLiteral("IPF.Contact")), 1, QStringLiteral("Delta"));
    contacts(b, b.addFolder(bFolder, QStringLiteral("C2"), QStringLiteral("IPF.Contact")), 1, QStringLiteral("Two"));

    const auto inbox = b.addFolder(top, QStringLiteral("Inbox"), QStringLiteral("IPF.Note"));
    b.addMessage(inbox, QStringLiteral("IPM.Note"), QStringLiteral("Hello"));
    contacts(b, b.addFolder(inbox, QStringLiteral("Clients"), QStringLiteral("IPF.Contact")), 2,
             QStringLiteral("Client"));

    const auto archive = b.addFolder(top, QStringLiteral("Archive"));
    contacts(b, b.addFolder(archive, QStringLiteral("Contacts"), QStringLiteral("IPF.Contact")), 1,
             QStringLiteral("Old"));

    b.addFolder(top, QStringLiteral("Calendar"), QStringLiteral("IPF.Appointment"));
    contacts(b, b.addFolder(top, QStringLiteral("Lower case"), QStringLiteral("IPF.contact")), 1,
             QStringLiteral("Lower"));
    contacts(b, b.addFolder(top, QStringLiteral("Quick"), QStringLiteral("IPF.Contact.X")), 1, QStringLiteral("Quick"));
    b.write(path);
}

// Three contact folders side by side: A, B and C.
inline void writeAbc(const QString& path, const QString& storeName = QStringLiteral("ABC Folders"))
{
    pstwriter::PstBuilder b;
    b.setStoreDisplayName(storeName);
    for (const char* name : {"A", "B", "C"}) {
        const auto folder = b.addFolder(b.ipmSubtree(), QString::fromLatin1(name), QStringLiteral("IPF.Contact"));
        contacts(b, folder, 2, QString::fromLatin1(name));
    }
    b.write(path);
}

// A store without any contact folder. A contact filed among the mail (as
// users sometimes do) gives the file its named-property map: the writer
// leaves the map out of a file without named properties, and libpff then
// refuses the file.
inline void writeNoContacts(const QString& path)
{
    pstwriter::PstBuilder b;
    b.setStoreDisplayName(QStringLiteral("Mail Only"));
    const auto inbox = b.addFolder(b.ipmSubtree(), QStringLiteral("Inbox"), QStringLiteral("IPF.Note"));
    b.addMessage(inbox, QStringLiteral("IPM.Note"), QStringLiteral("Hi"));
    b.addContact(inbox, contact(QStringLiteral("Filed"), QStringLiteral("Away")));
    b.write(path);
}

}  // namespace fixtures
