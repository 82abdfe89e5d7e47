#pragma once
// The 38 texts of one contact, in the order the Person writer takes them.

#include <QString>

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

// The three texts of one distribution list.
struct GroupValues {
    QString DLName;
    QString Members;  // "'member' " for each member, in order
    QString Desc;
};
