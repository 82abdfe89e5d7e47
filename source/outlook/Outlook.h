#pragma once
// Access to Outlook data files (.pst, and .ost files of the same layout),
// shaped like the object model the program was designed against: a session
// over the default profile, its stores, their folders and items. The files
// are read by this layer's own reader; nothing of the file format is visible
// here. Every failure throws OutlookError, with its cause.
//
// All objects are cheap value handles that share the underlying open file;
// a handle stays valid as long as it exists, also after Logoff.

#include "common/cause/Cause.h"

#include <QDateTime>
#include <QString>

#include <memory>
#include <stdexcept>
#include <vector>

namespace outlook {

// A failure: its kind, and one line of text that names the file or the
// thing concerned. Callers decide by the kind.
class OutlookError : public std::runtime_error {
public:
    OutlookError(Cause cause, const std::string& what)
        : std::runtime_error(what)
        , cause_(cause)
    {
    }
    // A failure of no particular kind (Cause::Other).
    explicit OutlookError(const std::string& what)
        : OutlookError(Cause::Other, what)
    {
    }
    explicit OutlookError(const char* what)
        : OutlookError(Cause::Other, std::string(what))
    {
    }
    Cause cause() const noexcept { return cause_; }

private:
    Cause cause_;
};

// Passwords for protected .pst files, kept in memory for the rest of the
// program's run (never written anywhere), by the file's canonical path; any
// spelling of the path will do. Several may be given for one file: each is
// tried. Opening a protected file (OpenPstFile, AddPSTStore, a store of the
// profile) without one throws Cause::Protected; when none of those given is
// right, Cause::WrongPassword. No message ever holds a password.
void RememberPassword(const QString& dataFilePath, const QString& password);
void ForgetPasswords();

// The code page 8-bit text is read in when neither the item nor the store
// names one (see docs/OUTLOOK_LAYER.md); 0 = none. Throws OutlookError for a
// code page this layer cannot decode.
void SetUserCodepage(int codepage);
// "932", "cp932", "windows-1251", "shift_jis", "koi8-r"...: the Windows code
// page number. Throws OutlookError (Cause::NotFound) for an unknown one.
int ParseCodepage(const QString& name);

// Items of a kind that is read from contact folders, found elsewhere.
struct StrayItems {
    QString folderPath;  // names below the top of the tree, joined with "\\"
    qint64 count = 0;
};

class RDOStore;
class RDOFolder;
class RDOItems;
class RDOItem;

namespace detail {
struct SessionImpl;
struct StoreImpl;
struct FolderImpl;
struct ItemImpl;
}  // namespace detail

class RDOSession {
public:
    RDOSession();
    ~RDOSession();
    RDOSession(const RDOSession&) = delete;
    RDOSession& operator=(const RDOSession&) = delete;

    // Logs on to the default profile (see ProfilePath). No profile file is an
    // empty profile; an unreadable or malformed one throws.
    void Logon();
    void Logoff();

    // The profile's stores, in profile order, from 1. A store whose file is
    // missing or unreadable is still listed; reading its values throws.
    int StoreCount() const;
    RDOStore Store(int index) const;

    // The store of the profile with this entry identifier.
    RDOStore GetStoreFromID(const QString& entryId) const;

    // Adds a .pst file to the profile by path and returns its store. The
    // absolute path is appended to the profile once; adding the same file
    // again returns the same store.
    RDOStore AddPSTStore(const QString& path);

    // Opens a data file as a store without touching the profile.
    static RDOStore OpenPstFile(const QString& path);

    // $XDG_CONFIG_HOME/pellaro/profile (else ~/.config/pellaro/profile): one
    // data-file path per line.
    static QString ProfilePath();

private:
    std::unique_ptr<detail::SessionImpl> d;
};

class RDOStore {
public:
    // Display name of the message store; a store without one is named by its
    // file's base name.
    QString Name() const;
    QString EntryID() const;  // hex text, no "#", stable across sessions
    QString PstPath() const;  // full path of the data file
    RDOFolder IPMRootFolder() const;  // the top of the folder hierarchy
    RDOFolder GetFolderFromID(const QString& entryId) const;

    // Contacts and distribution lists (by message class) in folders that are
    // not contact folders, in tree order, folders holding none left out.
    // Counted from the contents tables, without reading the items.
    std::vector<StrayItems> ContactsInOtherFolders() const;

    explicit RDOStore(std::shared_ptr<detail::StoreImpl> impl);

private:
    std::shared_ptr<detail::StoreImpl> d;
};

class RDOFolder {
public:
    QString Name() const;
    QString EntryID() const;
    QString DefaultMessageClass() const;  // "IPM.Contact" for contact folders

    int FolderCount() const;  // direct subfolders
    RDOFolder Folder(int index) const;  // from 1, in store order

    RDOItems Items() const;

    explicit RDOFolder(std::shared_ptr<detail::FolderImpl> impl);

private:
    friend class RDOStore;  // counts in contents tables
    std::shared_ptr<detail::FolderImpl> d;
};

class RDOItems {
public:
    qint64 Count() const;  // normal items, associated ones excluded
    RDOItem Item(qint64 position) const;  // from 1 to Count()

    explicit RDOItems(std::shared_ptr<detail::FolderImpl> folder);

private:
    std::shared_ptr<detail::FolderImpl> d;
};

class RDOItem {
public:
    QString MessageClass() const;  // "IPM.Contact", "IPM.DistList", ...

    // Values every item has.
    QString Body() const;  // plain-text notes
    QString Categories() const;  // joined with ", "

    // Contact values. An absent value reads as empty text.
    QString FirstName() const;
    QString MiddleName() const;
    QString LastName() const;
    QString Suffix() const;
    QString Title() const;
    QString Email1Address() const;
    QString Email2Address() const;
    QString Email3Address() const;
    QString CompanyName() const;
    QString JobTitle() const;
    QString BusinessAddressStreet() const;
    QString BusinessAddressCity() const;
    QString BusinessAddressPostalCode() const;
    QString BusinessAddressState() const;
    QString BusinessAddressCountry() const;
    QString OfficeLocation() const;
    QString WebPage() const;
    QString Department() const;
    QString ManagerName() const;
    QString AssistantName() const;
    QString BusinessTelephoneNumber() const;
    QString BusinessFaxNumber() const;
    QString MobileTelephoneNumber() const;
    QString PagerNumber() const;
    QString HomeAddressStreet() const;
    QString HomeAddressCity() const;
    QString HomeAddressPostalCode() const;
    QString HomeAddressState() const;
    QString HomeAddressCountry() const;
    QString Spouse() const;
    QString Children() const;  // joined with ", "
    QString HomeTelephoneNumber() const;
    QString HomeFaxNumber() const;
    // In local time; an absent date reads as Outlook's "no date", 4501-01-01 00:00.
    QDateTime Birthday() const;
    QDateTime Anniversary() const;

    // Distribution-list values.
    QString DLName() const;
    int MemberCount() const;
    // The text of member `index` (from 1): "Display Name <address>" when both
    // are known and differ, else whichever is known. Throws for a member that
    // cannot be resolved.
    QString MemberText(int index) const;

    explicit RDOItem(std::shared_ptr<detail::ItemImpl> impl);

private:
    std::shared_ptr<detail::ItemImpl> d;
};

// Outlook's "no date" (4501-01-01), given for an absent date.
bool IsNoDate(const QDateTime& value);

}  // namespace outlook
