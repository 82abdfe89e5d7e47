// Opens the input as a data file and reads everything the program reads:
// store values, the folder tree, every item's contact and list values.
// Any outcome but success or OutlookError is a finding.
#include "source/outlook/Outlook.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace outlook;

namespace {

// Keeps one input's work bounded; real files are read to the end.
constexpr int kMaxFolders = 200;
constexpr qint64 kMaxItemsPerFolder = 200;

int folders = 0;

void touch(const QString& s)
{
    (void)s.size();
}

void readItem(const RDOItem& i)
{
    // Every value the conversion reads.
    for (QString (RDOItem::*value)() const : {&RDOItem::MessageClass,
                                              &RDOItem::Body,
                                              &RDOItem::Categories,
                                              &RDOItem::FirstName,
                                              &RDOItem::MiddleName,
                                              &RDOItem::LastName,
                                              &RDOItem::Suffix,
                                              &RDOItem::Title,
                                              &RDOItem::Email1Address,
                                              &RDOItem::Email2Address,
                                              &RDOItem::Email3Address,
                                              &RDOItem::CompanyName,
                                              &RDOItem::JobTitle,
                                              &RDOItem::BusinessAddressStreet,
                                              &RDOItem::BusinessAddressCity,
                                              &RDOItem::BusinessAddressPostalCode,
                                              &RDOItem::BusinessAddressState,
                                              &RDOItem::BusinessAddressCountry,
                                              &RDOItem::OfficeLocation,
                                              &RDOItem::WebPage,
                                              &RDOItem::Department,
                                              &RDOItem::ManagerName,
                                              &RDOItem::AssistantName,
                                              &RDOItem::BusinessTelephoneNumber,
                                              &RDOItem::BusinessFaxNumber,
                                              &RDOItem::MobileTelephoneNumber,
                                              &RDOItem::PagerNumber,
                                              &RDOItem::HomeAddressStreet,
                                              &RDOItem::HomeAddressCity,
                                              &RDOItem::HomeAddressPostalCode,
                                              &RDOItem::HomeAddressState,
                                              &RDOItem::HomeAddressCountry,
                                              &RDOItem::Spouse,
                                              &RDOItem::Children,
                                              &RDOItem::HomeTelephoneNumber,
                                              &RDOItem::HomeFaxNumber,
                                              &RDOItem::DLName}) {
        try {
            touch((i.*value)());
        } catch (const OutlookError&) {
        }
    }
    i.Birthday();
    i.Anniversary();
    const int members = i.MemberCount();
    for (int m = 1; m <= members && m <= 100; ++m) {
        try {
            touch(i.MemberText(m));
        } catch (const OutlookError&) {
        }
    }
}

void walk(const RDOStore& store, const RDOFolder& f)
{
    if (++folders > kMaxFolders)
        return;
    touch(f.Name());
    touch(f.DefaultMessageClass());
    try {
        touch(store.GetFolderFromID(f.EntryID()).Name());
    } catch (const OutlookError&) {
    }
    try {
        const RDOItems items = f.Items();
        const qint64 n = items.Count();
        for (qint64 k = 1; k <= n && k <= kMaxItemsPerFolder; ++k) {
            try {
                readItem(items.Item(k));
            } catch (const OutlookError&) {
            }
        }
    } catch (const OutlookError&) {
    }
    const int subs = f.FolderCount();
    for (int s = 1; s <= subs; ++s) {
        try {
            walk(store, f.Folder(s));
        } catch (const OutlookError&) {
        }
    }
}

std::string inputPath()
{
    const char* dir = std::getenv("FUZZ_TMPDIR");
    return std::string(dir ? dir : "/dev/shm") + "/pellaro-fuzz-" + std::to_string(getpid()) + ".pst";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = inputPath();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
    // The seeds' protected file has this password: protected inputs go
    // through the password check, and those that pass it on to the rest.
    static const bool remembered = (RememberPassword(QString::fromStdString(path), QStringLiteral("secret")), true);
    (void)remembered;

    folders = 0;
    try {
        const RDOStore store = RDOSession::OpenPstFile(QString::fromStdString(path));
        touch(store.Name());
        touch(store.EntryID());
        walk(store, store.IPMRootFolder());
        for (const StrayItems& stray : store.ContactsInOtherFolders())
            touch(stray.folderPath);
    } catch (const OutlookError&) {
    }
    return 0;
}
