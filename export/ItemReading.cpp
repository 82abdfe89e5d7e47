#include "export/ItemReading.h"

#include "export/DateText.h"

#include <QLocale>

PersonFields ReadPersonFields(const outlook::RDOItem& contact)
{
    PersonFields f;
    f.elotus_FirstName = contact.FirstName();
    f.elotus_MiddleName = contact.MiddleName();
    f.elotus_LastName = contact.LastName();
    f.elotus_Suffix = contact.Suffix();
    f.elotus_Title = contact.Title();
    f.elotus_Email = contact.Email1Address();
    f.elotus_Company = contact.CompanyName();
    f.elotus_JobTitle = contact.JobTitle();
    f.elotus_BusinessStreet = contact.BusinessAddressStreet();
    f.elotus_BusinessCity = contact.BusinessAddressCity();
    f.elotus_BusinessZip = contact.BusinessAddressPostalCode();
    f.elotus_BusinessState = contact.BusinessAddressState();
    f.elotus_BusinessCountry = contact.BusinessAddressCountry();
    f.elotus_Location = contact.OfficeLocation();
    f.elotus_WebPage = contact.WebPage();
    f.elotus_Department = contact.Department();
    f.elotus_Manager = contact.ManagerName();
    f.elotus_Assistant = contact.AssistantName();
    f.elotus_OfficePhone = contact.BusinessTelephoneNumber();
    f.elotus_OfficeFax = contact.BusinessFaxNumber();
    f.elotus_CellPhone = contact.MobileTelephoneNumber();
    f.elotus_Pager = contact.PagerNumber();
    f.elotus_OtherEmail1 = contact.Email1Address();
    f.elotus_OtherEmail2 = contact.Email2Address();
    f.elotus_OtherEmail3 = contact.Email3Address();
    f.elotus_PersonalStreet = contact.HomeAddressStreet();
    f.elotus_PersonalCity = contact.HomeAddressCity();
    f.elotus_PersonalZip = contact.HomeAddressPostalCode();
    f.elotus_PersonalState = contact.HomeAddressState();
    f.elotus_PersonalCountry = contact.HomeAddressCountry();
    f.elotus_Spouse = contact.Spouse();
    f.elotus_Childern = contact.Children();
    f.elotus_HomePhone = contact.HomeTelephoneNumber();
    f.elotus_HomeFax = contact.HomeFaxNumber();
    f.elotus_BirthDay = DateToText(contact.Birthday());
    f.elotus_Anniversary = DateToText(contact.Anniversary());
    f.elotus_Comments = contact.Body();
    f.elotus_Categories = contact.Categories();
    return f;
}

QString ReadMemberText(const outlook::RDOItem& list)
{
    QString text;
    const int count = list.MemberCount();
    for (int k = 1; k <= count; ++k) {
        try {
            const QString member = list.MemberText(k);
            text += QLatin1Char('\'') + member + QStringLiteral("' ");
        } catch (const outlook::OutlookError&) {
            // A member that cannot be read is left out; the next one follows.
        }
    }
    return text;
}

QString DateToText(const QDateTime& value)
{
    // A contact without the date would otherwise get Outlook's placeholder
    // year 4501 written into its document as if it were a real date.
    if (!value.isValid() || outlook::IsNoDate(value))
        return QString();
    const QLocale locale;
    QString text = locale.toString(value.date(), FullYearDateFormat(locale));
    const QTime time = value.time();
    if (time != QTime(0, 0)) {
        QString format = locale.timeFormat(QLocale::ShortFormat);
        if (time.second() != 0 || time.msec() != 0) {
            // The short form has no seconds; the long one has, plus a time
            // zone name, which a stored date does not carry.
            format = locale.timeFormat(QLocale::LongFormat);
            format.remove(QLatin1Char('t'));
            format = format.trimmed();
        }
        text += QLatin1Char(' ') + locale.toString(time, format);
    }
    return text;
}
