#pragma once
// The 38 texts of one contact, in the order the Person writer takes them.

#include <QString>

#include <array>
#include <string_view>

struct PersonFields {
    QString elotus_FirstName;
    QString elotus_MiddleName;
    QString elotus_LastName;
    QString elotus_Suffix;
    QString elotus_Title;
    QString elotus_Email;
    QString elotus_Company;
    QString elotus_JobTitle;
    QString elotus_BusinessStreet;
    QString elotus_BusinessCity;
    QString elotus_BusinessZip;
    QString elotus_BusinessState;
    QString elotus_BusinessCountry;
    QString elotus_Location;
    QString elotus_WebPage;
    QString elotus_Department;
    QString elotus_Manager;
    QString elotus_Assistant;
    QString elotus_OfficePhone;
    QString elotus_OfficeFax;
    QString elotus_CellPhone;
    QString elotus_Pager;
    QString elotus_OtherEmail1;
    QString elotus_OtherEmail2;
    QString elotus_OtherEmail3;
    QString elotus_PersonalStreet;
    QString elotus_PersonalCity;
    QString elotus_PersonalZip;
    QString elotus_PersonalState;
    QString elotus_PersonalCountry;
    QString elotus_Spouse;
    QString elotus_Childern;
    QString elotus_HomePhone;
    QString elotus_HomeFax;
    QString elotus_BirthDay;
    QString elotus_Anniversary;
    QString elotus_Comments;
    QString elotus_Categories;
};

// One item of a Person document: the Notes item and the value it holds.
struct PersonItem {
    std::u16string_view name;
    QString PersonFields::*field;
};

// The 38 items of a Person document in the order they are written, between
// "Form" and "Type". The writer, the exports and the tests read this table.
inline constexpr std::array<PersonItem, 38> PersonItems = {{
    {u"FirstName", &PersonFields::elotus_FirstName},
    {u"MiddleName", &PersonFields::elotus_MiddleName},
    {u"LastName", &PersonFields::elotus_LastName},
    {u"Suffix", &PersonFields::elotus_Suffix},
    {u"Title", &PersonFields::elotus_Title},
    {u"MailAddress", &PersonFields::elotus_Email},
    {u"CompanyName", &PersonFields::elotus_Company},
    {u"JobTitle", &PersonFields::elotus_JobTitle},
    {u"OfficeStreetAddress", &PersonFields::elotus_BusinessStreet},
    {u"OfficeCity", &PersonFields::elotus_BusinessCity},
    {u"OfficeZIP", &PersonFields::elotus_BusinessZip},
    {u"OfficeState", &PersonFields::elotus_BusinessState},
    {u"OfficeCountry", &PersonFields::elotus_BusinessCountry},
    {u"Location", &PersonFields::elotus_Location},
    {u"WebSite", &PersonFields::elotus_WebPage},
    {u"Department", &PersonFields::elotus_Department},
    {u"Manager", &PersonFields::elotus_Manager},
    {u"Assistant", &PersonFields::elotus_Assistant},
    {u"OfficePhoneNumber", &PersonFields::elotus_OfficePhone},
    {u"OfficeFAXPhoneNumber", &PersonFields::elotus_OfficeFax},
    {u"CellPhoneNumber", &PersonFields::elotus_CellPhone},
    {u"PhoneNumber_6", &PersonFields::elotus_Pager},
    {u"MiscPhone1", &PersonFields::elotus_OtherEmail1},
    {u"MiscPhone2", &PersonFields::elotus_OtherEmail2},
    {u"MiscPhone3", &PersonFields::elotus_OtherEmail3},
    {u"StreetAddress", &PersonFields::elotus_PersonalStreet},
    {u"City", &PersonFields::elotus_PersonalCity},
    {u"Zip", &PersonFields::elotus_PersonalZip},
    {u"State", &PersonFields::elotus_PersonalState},
    {u"Country", &PersonFields::elotus_PersonalCountry},
    {u"Spouse", &PersonFields::elotus_Spouse},
    {u"Children", &PersonFields::elotus_Childern},
    {u"PhoneNumber", &PersonFields::elotus_HomePhone},
    {u"HomeFAXPhoneNumber", &PersonFields::elotus_HomeFax},
    {u"Birthday", &PersonFields::elotus_BirthDay},
    {u"Anniversary", &PersonFields::elotus_Anniversary},
    {u"Comment", &PersonFields::elotus_Comments},
    {u"Categories", &PersonFields::elotus_Categories},
}};

// The item name as text, without copying it.
inline QString PersonItemName(const PersonItem& item)
{
    return QString::fromRawData(reinterpret_cast<const QChar*>(item.name.data()), qsizetype(item.name.size()));
}

// The three texts of one distribution list.
struct GroupValues {
    QString DLName;
    QString Members;  // "'member' " for each member, in order
    QString Desc;
};
