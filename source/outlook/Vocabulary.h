#pragma once
// The names of the format's numbers, in one place: property types, the
// property tags and named properties this layer reads, node ids and their
// types, the name-to-id map's streams, message and container classes, and the
// pieces of entry ids. Tags and named properties carry their canonical names.

#include <QUuid>

#include <cstdint>

namespace outlook::pst {

// Property types as stored in the file.
enum : std::uint16_t {
    PT_SHORT = 0x0002,
    PT_LONG = 0x0003,
    PT_FLOAT = 0x0004,
    PT_DOUBLE = 0x0005,
    PT_CURRENCY = 0x0006,
    PT_APPTIME = 0x0007,
    PT_ERROR = 0x000A,
    PT_BOOLEAN = 0x000B,
    PT_I8 = 0x0014,
    PT_STRING8 = 0x001E,
    PT_UNICODE = 0x001F,
    PT_SYSTIME = 0x0040,
    PT_CLSID = 0x0048,
    PT_BINARY = 0x0102,
    PT_MV_STRING8 = 0x101E,
    PT_MV_UNICODE = 0x101F,
    PT_MV_BINARY = 0x1102,
};

// Tagged properties (their ids).
enum : std::uint16_t {
    PidTagMessageClass = 0x001A,
    PidTagBody = 0x1000,
    PidTagRtfCompressed = 0x1009,
    PidTagRecordKey = 0x0FF9,
    PidTagDisplayName = 0x3001,
    PidTagIpmSubTreeEntryId = 0x35E0,
    PidTagContainerClass = 0x3613,
    PidTagGeneration = 0x3A05,
    PidTagGivenName = 0x3A06,
    PidTagBusinessTelephoneNumber = 0x3A08,
    PidTagHomeTelephoneNumber = 0x3A09,
    PidTagSurname = 0x3A11,
    PidTagCompanyName = 0x3A16,
    PidTagTitle = 0x3A17,
    PidTagDepartmentName = 0x3A18,
    PidTagOfficeLocation = 0x3A19,
    PidTagMobileTelephoneNumber = 0x3A1C,
    PidTagPagerTelephoneNumber = 0x3A21,
    PidTagBusinessFaxNumber = 0x3A24,
    PidTagHomeFaxNumber = 0x3A25,
    PidTagAssistant = 0x3A30,
    PidTagWeddingAnniversary = 0x3A41,
    PidTagBirthday = 0x3A42,
    PidTagMiddleName = 0x3A44,
    PidTagDisplayNamePrefix = 0x3A45,
    PidTagSpouseName = 0x3A48,
    PidTagManagerName = 0x3A4E,
    PidTagChildrensNames = 0x3A58,
    PidTagHomeAddressCity = 0x3A59,
    PidTagHomeAddressCountry = 0x3A5A,
    PidTagHomeAddressPostalCode = 0x3A5B,
    PidTagHomeAddressStateOrProvince = 0x3A5C,
    PidTagHomeAddressStreet = 0x3A5D,
    PidTagInternetCodepage = 0x3FDE,
    PidTagMessageLocaleId = 0x3FF1,
    PidTagMessageCodepage = 0x3FFD,
    PidTagLocaleId = 0x66A1,
    PidTagLtpRowId = 0x67F2,
    PidTagPstPassword = 0x67FF,
};

// The streams of the name-to-id map's property context.
enum : std::uint16_t {
    PidTagNameidStreamGuid = 0x0002,
    PidTagNameidStreamEntry = 0x0003,
    PidTagNameidStreamString = 0x0004,
};

// Property sets of named properties, and the name-to-id map's own numbers
// for the two sets it does not list in its GUID stream.
const QUuid kPsMapi(0x00020328, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
const QUuid kPsPublicStrings(0x00020329, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
const QUuid kPsetidAddress(0x00062004, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
constexpr std::size_t kNameMapGuidPsMapi = 1;
constexpr std::size_t kNameMapGuidPublicStrings = 2;
constexpr std::size_t kNameMapGuidFirstListed = 3;
// The ids named properties get in a file.
constexpr std::uint16_t kFirstNamedId = 0x8000;
constexpr std::uint16_t kLastNamedId = 0xFFFE;

// Named properties of PSETID_Address (their numbers). E-mail 2 and 3 and the
// fax entries follow e-mail 1 in steps of kEmailStep.
enum : std::uint32_t {
    PidLidEmail1EmailAddress = 0x8083,
    PidLidEmail1OriginalDisplayName = 0x8084,
    PidLidFax1EmailAddress = 0x80C3,
    PidLidFax1OriginalDisplayName = 0x80C4,
    PidLidWorkAddressStreet = 0x8045,
    PidLidWorkAddressCity = 0x8046,
    PidLidWorkAddressState = 0x8047,
    PidLidWorkAddressPostalCode = 0x8048,
    PidLidWorkAddressCountry = 0x8049,
    PidLidHtml = 0x802B,
    PidLidDistributionListName = 0x8053,
    PidLidDistributionListOneOffMembers = 0x8054,
    PidLidDistributionListMembers = 0x8055,
};
constexpr std::uint32_t kEmailStep = 0x10;
// PS_PUBLIC_STRINGS, by name: a contact's categories.
constexpr char16_t kNameKeywords[] = u"Keywords";

// Node ids: the type in the low five bits, an index above it.
constexpr std::uint32_t kNidTypeMask = 0x1F;
constexpr std::uint32_t kNidTypeNormalFolder = 0x02;
constexpr std::uint32_t kNidTypeNormalMessage = 0x04;
constexpr std::uint32_t kNidTypeHierarchyTable = 0x0D;
constexpr std::uint32_t kNidTypeContentsTable = 0x0E;
// Nodes every file has.
constexpr std::uint32_t kNidMessageStore = 0x21;
constexpr std::uint32_t kNidNameToIdMap = 0x61;
constexpr std::uint32_t kNidRootFolder = 0x122;
// Where a personal folders file keeps the top of its folder tree.
constexpr std::uint32_t kNidIpmSubtree = 0x8022;

inline std::uint32_t nidType(std::uint32_t nid)
{
    return nid & kNidTypeMask;
}
// The node of another type with the same index (a folder's tables).
inline std::uint32_t withNidType(std::uint32_t nid, std::uint32_t type)
{
    return (nid & ~kNidTypeMask) | type;
}

// The folders an Exchange offline file holds above the mailbox's own tree:
// the root folder, "Root - Mailbox" in it, the mailbox's IPM_SUBTREE in that.
constexpr char16_t kNameRootMailbox[] = u"Root - Mailbox";
constexpr char16_t kNameIpmSubtree[] = u"IPM_SUBTREE";

// Message and container classes.
constexpr char kClassNote[] = "IPM.Note";
constexpr char kClassContact[] = "IPM.Contact";
constexpr char kClassDistList[] = "IPM.DistList";
constexpr char kMessageClassPrefix[] = "IPM.";
constexpr char kContainerClassPrefix[] = "IPF.";

// Entry ids: 4 flag bytes, then the provider's 16-byte id, then what the
// provider makes of the rest.
constexpr int kEntryIdFlagsSize = 4;
constexpr int kEntryIdProviderSize = 16;
constexpr int kEntryIdHeaderSize = kEntryIdFlagsSize + kEntryIdProviderSize;
// This file's own entry ids: the header (provider = the store's record key)
// and a node id.
constexpr int kOwnEntryIdSize = kEntryIdHeaderSize + 4;
// One-off entry ids (an address of its own): the header, a 16-bit version and
// 16-bit flags, then display name, address type and address, each
// terminated; Unicode when the flags have kOneOffUnicode.
constexpr std::uint8_t kOneOffProvider[kEntryIdProviderSize]
    = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19, 0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
constexpr int kOneOffFlagsAt = kEntryIdHeaderSize + 2;
constexpr int kOneOffTextsAt = kEntryIdHeaderSize + 4;
constexpr std::uint16_t kOneOffUnicode = 0x8000;
// Wrapped entry ids (a list member that refers to an entry): the header, one
// type byte, the entry id wrapped. The type's low four bits say what the
// entry is, bit 7 that it is a message of a store, bits 4-6 which address of a
// contact is meant.
constexpr std::uint8_t kWrappedProvider[kEntryIdProviderSize]
    = {0xC0, 0x91, 0xAD, 0xD3, 0x51, 0x9D, 0xCF, 0x11, 0xA4, 0xA9, 0x00, 0xAA, 0x00, 0x47, 0xFA, 0xA4};
constexpr int kWrappedTypeAt = kEntryIdHeaderSize;
constexpr int kWrappedEntryAt = kEntryIdHeaderSize + 1;
constexpr std::uint8_t kWrappedKindMask = 0x0F;
constexpr std::uint8_t kWrappedKindOneOff = 0x00;
constexpr std::uint8_t kWrappedKindContact = 0x03;
constexpr std::uint8_t kWrappedKindDistList = 0x04;
constexpr std::uint8_t kWrappedInStore = 0x80;
constexpr int kWrappedAddressShift = 4;
constexpr std::uint8_t kWrappedAddressMask = 0x07;
// The address a contact reference selects: business, home and primary fax
// (Fax2, Fax3, Fax1: fax entries 1, 2, 0), none, e-mail 1-3.
constexpr int kWrappedAddressFaxLast = 2;
constexpr int kWrappedAddressEmailFirst = 4;
constexpr int kWrappedAddressEmailLast = 6;
constexpr int kWrappedAddressFaxEntry[3] = {1, 2, 0};

}  // namespace outlook::pst
