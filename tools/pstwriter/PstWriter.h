// Writer for Outlook personal folders files (.pst), used to make test fixtures
// and benchmark files. It builds the whole file in memory from a description
// (store, folders, contacts, distribution lists, other items) and writes it in
// one go: Unicode (wVer 23) or ANSI (wVer 15), with any of the three block
// encodings, as a .pst or as an offline folders file (.ost).
//
// Typical use:
//     pstwriter::PstBuilder b;
//     b.setStoreDisplayName("Personal Folders");
//     auto contacts = b.addFolder(b.ipmSubtree(), "Contacts", "IPF.Contact");
//     pstwriter::ContactData c;  c.givenName = "Ada";  c.displayName = "Ada Lovelace";
//     auto ada = b.addContact(contacts, c);
//     pstwriter::DistListData l; l.name = "Friends";
//     l.members.push_back(pstwriter::DistListMember::reference(ada, 1));
//     b.addDistList(contacts, l);
//     b.write("/tmp/out.pst");           // throws std::runtime_error on failure
#pragma once

#include "FileFormat.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace pstwriter {

// Handles are small values naming a folder or an item of one builder.
struct FolderHandle {
    std::uint32_t nid = 0;  // node id of the folder in the file
    bool isValid() const { return nid != 0; }
    friend bool operator==(const FolderHandle&, const FolderHandle&) = default;
};

struct ItemHandle {
    std::uint32_t nid = 0;  // node id of the message in the file
    bool isValid() const { return nid != 0; }
    friend bool operator==(const ItemHandle&, const ItemHandle&) = default;
};

// Well-known property sets, for extra named properties.
QUuid psetidAddress();  // {00062004-0000-0000-C000-000000000046}
QUuid psetidCommon();  // {00062008-0000-0000-C000-000000000046}
QUuid psPublicStrings();  // {00020329-0000-0000-C000-000000000046}
QUuid psetidAppointment();  // {00062002-0000-0000-C000-000000000046}

// A property written in addition to the ones the builder writes itself.
// Either a tagged property (propertySet null, tag = id << 16 | type) or a
// named one (propertySet set, name empty -> numeric lid, name set -> string
// name; the builder maps it to a 0x8000+ id through the name-to-id map).
// Supported types: PT_SHORT 0x0002, PT_LONG 0x0003, PT_BOOLEAN 0x000B,
// PT_SYSTIME 0x0040, PT_STRING8 0x001E, PT_UNICODE 0x001F, PT_BINARY 0x0102,
// PT_MV_STRING8 0x101E, PT_MV_UNICODE 0x101F, PT_MV_BINARY 0x1102. 8-bit
// texts are stored in the builder's code page (setCodePage).
//
// An extra property of a contact or list with the tag or name of a value the
// builder writes itself replaces that value: the way to store a standard value
// with another type, as other writers do (e.g. "Keywords" as PT_LONG or as one
// PT_UNICODE text, PidTagChildrensNames as one text, a name as a list).
struct ExtraProperty {
    QUuid propertySet;  // null: a tagged property
    std::uint32_t lid = 0;  // numeric name, or the tag's property id for a tagged one
    QString name;  // string name (named properties only)
    std::uint16_t type = 0x001F;
    QString text;  // PT_UNICODE, PT_STRING8
    QStringList texts;  // PT_MV_UNICODE, PT_MV_STRING8
    QByteArray binary;  // PT_BINARY
    std::vector<QByteArray> binaries;  // PT_MV_BINARY
    std::int32_t integer = 0;  // PT_SHORT, PT_LONG, PT_BOOLEAN (0/1)
    QDateTime time;  // PT_SYSTIME (converted to UTC)

    static ExtraProperty tagged(std::uint16_t id, const QString& value);
    static ExtraProperty named(const QUuid& set, std::uint32_t lid, const QString& value);
    static ExtraProperty namedString(const QUuid& set, const QString& name, const QString& value);
};

// Every contact value the program reads. Empty texts and empty lists are not
// written at all (absent property); set writeEmptyStrings to store them as
// zero-length properties instead.
struct ContactData {
    QString messageClass = QStringLiteral("IPM.Contact");

    QString givenName;  // PidTagGivenName
    QString middleName;  // PidTagMiddleName
    QString surname;  // PidTagSurname
    QString generation;  // PidTagGeneration
    QString displayNamePrefix;  // PidTagDisplayNamePrefix
    QString displayName;  // PidTagDisplayName (also subject, file-under)

    QString email1Address;  // PSETID_Address 0x8083
    QString email1DisplayName;  // 0x8080
    QString email1AddressType = QStringLiteral("SMTP");  // 0x8082 (written when the address is)
    QString email2Address;  // 0x8093
    QString email2DisplayName;  // 0x8090
    QString email2AddressType = QStringLiteral("SMTP");  // 0x8092
    QString email3Address;  // 0x80A3
    QString email3DisplayName;  // 0x80A0
    QString email3AddressType = QStringLiteral("SMTP");  // 0x80A2

    QString companyName;  // PidTagCompanyName
    QString jobTitle;  // PidTagTitle
    QString workStreet;  // PSETID_Address 0x8045
    QString workCity;  // 0x8046
    QString workState;  // 0x8047
    QString workPostalCode;  // 0x8048
    QString workCountry;  // 0x8049
    QString officeLocation;  // PidTagOfficeLocation
    QString webPage;  // PidLidHtml (PSETID_Address 0x802B)
    QString department;  // PidTagDepartmentName
    QString managerName;  // PidTagManagerName
    QString assistantName;  // PidTagAssistant
    QString businessPhone;  // PidTagBusinessTelephoneNumber
    QString businessFax;  // PidTagBusinessFaxNumber
    QString mobilePhone;  // PidTagMobileTelephoneNumber
    QString pager;  // PidTagPagerTelephoneNumber
    QString homeStreet;  // PidTagHomeAddressStreet
    QString homeCity;  // PidTagHomeAddressCity
    QString homePostalCode;  // PidTagHomeAddressPostalCode
    QString homeState;  // PidTagHomeAddressStateOrProvince
    QString homeCountry;  // PidTagHomeAddressCountry
    QString spouse;  // PidTagSpouseName
    QStringList children;  // PidTagChildrensNames (multi-valued)
    QString homePhone;  // PidTagHomeTelephoneNumber
    QString homeFax;  // PidTagHomeFaxNumber
    std::optional<QDateTime> birthday;  // PidTagBirthday, stored in UTC
    std::optional<QDateTime> anniversary;  // PidTagWeddingAnniversary, stored in UTC
    QString body;  // PidTagBody
    bool bodyAsRtfOnly = false;  // store the body only as PidTagRtfCompressed
    QStringList categories;  // PS_PUBLIC_STRINGS "Keywords" (multi-valued)

    bool writeEmptyStrings = false;
    // Store this contact's texts and lists as PT_STRING8 / PT_MV_STRING8 in
    // the builder's code page (with PidTagMessageCodepage), as ANSI writers
    // do, also in a Unicode file. Texts of an ANSI file are always 8-bit.
    bool eightBitTexts = false;
    std::vector<ExtraProperty> extra;  // written last; see ExtraProperty
};

// One member of a distribution list.
struct DistListMember {
    enum class Kind {
        OneOff,  // a one-off address: displayName, addressType, address
        Reference,  // a contact (emailIndex 1..3) or list (emailIndex 0) of the same store
        Dangling,  // a reference to a node that does not exist in the file
    };
    Kind kind = Kind::OneOff;
    QString displayName;
    QString addressType = QStringLiteral("SMTP");
    QString address;
    ItemHandle item;  // Reference
    int emailIndex = 1;  // Reference/Dangling: 1..3 for a contact's e-mail, 0 for a list
    std::uint32_t danglingNid = 0;  // Dangling: the missing node id (0 = pick one that is free)

    static DistListMember oneOff(const QString& displayName, const QString& addressType, const QString& address);
    static DistListMember reference(ItemHandle item, int emailIndex = 1);
    static DistListMember dangling(std::uint32_t nid = 0, int emailIndex = 1);
};

// How a reference member's type byte names the contact's e-mail address
// (bits 4-6 of the WrappedEntryId's type byte, MS-OXOCNTC 2.2.2.2.4.1.1).
// Outlook: 4, 5, 6 for e-mail 1, 2, 3 (type bytes 0xC3, 0xD3, 0xE3), as the
// format says and Outlook writes. Legacy: 0, 1, 2 (0x83, 0x93, 0xA3), which
// this writer wrote before and the format reserves for the business, home
// and primary fax; kept for fixtures that look like files of that form.
enum class MemberAddressBits { Outlook, Legacy };

struct DistListData {
    QString messageClass = QStringLiteral("IPM.DistList");
    QString name;  // PidLidDistributionListName (PSETID_Address 0x8053)
    bool writeListName = true;  // false: only PidTagDisplayName carries the name
    QString displayName;  // PidTagDisplayName; empty = name
    QString body;  // PidTagBody (notes)
    QStringList categories;  // "Keywords"
    std::vector<DistListMember> members;
    std::vector<ExtraProperty> extra;
};

class PstBuilder {
public:
    PstBuilder();
    ~PstBuilder();
    PstBuilder(const PstBuilder&) = delete;
    PstBuilder& operator=(const PstBuilder&) = delete;

    // Layout of the file (default Unicode). ANSI files store every text as
    // PT_STRING8 in the code page, one-off addresses with 8-bit strings.
    // Set before adding items.
    void setFormat(PstFormat format);
    PstFormat format() const;
    void setEncoding(PstEncoding encoding);  // default None
    // Unicode4K only: stores each block zlib-compressed where that makes it
    // smaller, as Outlook 2013 and later may (default off).
    void setCompressBlocks(bool compress);
    void setKind(PstKind kind);  // default Pst
    // Windows code page of 8-bit texts (default 1252), written as
    // PidTagMessageCodepage on every item holding such texts. Characters the
    // code page lacks are stored as '?'. Set before adding items.
    void setCodePage(int codePage);
    // false: 8-bit texts do not name their code page (no PidTagMessageCodepage),
    // as in files whose items carry only a locale. Default true.
    void setWriteMessageCodepage(bool write);
    // The type byte of reference members (default Outlook, see MemberAddressBits).
    void setMemberAddressBits(MemberAddressBits bits);

    void setStoreDisplayName(const QString& name);  // default "Personal Folders"
    void setIpmSubtreeName(const QString& name);  // default "Top of Personal Folders"
    // Marks the file password protected (PidTagPstPassword = CRC of the text
    // in the code page).
    void setPassword(const QString& password);
    // false: the message store names none of its special folders (no
    // PidTagIpmSubTreeEntryId and the like), as an Exchange offline file's
    // does. Default true.
    void setStoreNamesSpecialFolders(bool names);
    // A property of the message store in addition to the writer's own (a
    // locale, say); replaces one of the same tag.
    void addStoreProperty(const ExtraProperty& property);
    // 16 bytes; the default is random. The store's record key and the provider
    // id inside every entry id of this store.
    void setRecordKey(const QByteArray& key);
    QByteArray recordKey() const;
    // When the store and the items added after this call were made; the
    // default is the time the builder was made.
    void setCreationTime(const QDateTime& time);

    FolderHandle rootFolder() const;  // the root node (holds the IPM subtree, search root, ...)
    FolderHandle ipmSubtree() const;  // "Top of Personal Folders"
    FolderHandle deletedItems() const;  // "Deleted Items" under the IPM subtree

    // Adds a folder at the end of parent's subfolders. containerClass empty:
    // no PidTagContainerClass property at all.
    FolderHandle addFolder(FolderHandle parent, const QString& name, const QString& containerClass = QString());
    void addFolderProperty(FolderHandle folder, const ExtraProperty& property);

    ItemHandle addContact(FolderHandle folder, const ContactData& contact);
    ItemHandle addDistList(FolderHandle folder, const DistListData& list);
    // Any other normal item (e.g. "IPM.Note").
    ItemHandle addMessage(FolderHandle folder, const QString& messageClass, const QString& subject = QString());
    // An associated (FAI) item; not counted among the folder's items.
    ItemHandle addAssociatedMessage(FolderHandle folder, const QString& messageClass,
                                    const QString& subject = QString());

    // Fixes the order of named properties in the map (ids 0x8000 upwards are
    // given in order of first use); registering first changes which id a name gets.
    std::uint16_t registerNamedProperty(const QUuid& set, std::uint32_t lid);
    std::uint16_t registerNamedProperty(const QUuid& set, const QString& name);

    // Node id that is not used by any folder or item (for dangling references).
    std::uint32_t unusedMessageNid() const;

    // Entry ids as stored in the file: 4 zero flag bytes, the record key, the node id.
    QByteArray entryId(FolderHandle folder) const;
    QByteArray entryId(ItemHandle item) const;
    QByteArray entryIdForNid(std::uint32_t nid) const;

    // Member entries as written into PidLidDistributionListMembers /
    // PidLidDistributionListOneOffMembers (for tests that check the bytes).
    QByteArray memberEntryId(const DistListMember& member) const;
    QByteArray oneOffEntryId(const QString& displayName, const QString& addressType, const QString& address) const;

    std::size_t folderCount() const;
    std::size_t itemCount(FolderHandle folder) const;  // normal items
    std::size_t associatedCount(FolderHandle folder) const;

    // Writes the file (replacing it). Throws std::runtime_error on failure.
    void write(const QString& path) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace pstwriter
