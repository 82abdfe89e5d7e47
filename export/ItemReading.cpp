#include "export/ItemReading.h"

#include "export/DateText.h"

#include <QLocale>

#include <memory>
#include <vector>

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

namespace {

// The forms dates are written in for one locale, looked up and taken apart
// once rather than once per date: formatting through QLocale with a format
// string is the larger part of reading a contact otherwise.
struct DateForms {
    QLocale locale;
    QString date;  // the short date form with a four-digit year
    QString shortTime;
    QString timeWithSeconds;

    // The date form in parts, when it holds nothing but day, month and year
    // fields and punctuation, and the locale writes ASCII digits: then a
    // date is written here without QLocale. Empty otherwise.
    enum class Field { Text, Day, Day2, DayName, LongDayName, Month, Month2, MonthName, LongMonthName, Year4 };
    struct Part {
        Field field;
        QString text;
    };
    std::vector<Part> parts;
    QString monthNames[2][12];  // short and long, January first
    QString dayNames[2][7];  // short and long, Monday first

    explicit DateForms(const QLocale& l)
        : locale(l)
        , date(FullYearDateFormat(l))
        , shortTime(l.timeFormat(QLocale::ShortFormat))
        , timeWithSeconds(l.timeFormat(QLocale::LongFormat))
    {
        // The short form has no seconds; the long one has, plus a time zone
        // name, which a stored date does not carry.
        timeWithSeconds.remove(QLatin1Char('t'));
        timeWithSeconds = timeWithSeconds.trimmed();
        if (l.zeroDigit() == QLatin1String("0"))
            parts = split(date);
        for (int i = 0; i < 12; ++i) {
            monthNames[0][i] = l.monthName(i + 1, QLocale::ShortFormat);
            monthNames[1][i] = l.monthName(i + 1, QLocale::LongFormat);
        }
        for (int i = 0; i < 7; ++i) {
            dayNames[0][i] = l.dayName(i + 1, QLocale::ShortFormat);
            dayNames[1][i] = l.dayName(i + 1, QLocale::LongFormat);
        }
    }

    static std::vector<Part> split(const QString& form)
    {
        std::vector<Part> out;
        for (qsizetype i = 0; i < form.size();) {
            const QChar c = form.at(i);
            qsizetype run = 1;
            while (i + run < form.size() && form.at(i + run) == c)
                ++run;
            Field field = Field::Text;
            static constexpr Field days[] = {Field::Day, Field::Day2, Field::DayName, Field::LongDayName};
            static constexpr Field months[] = {Field::Month, Field::Month2, Field::MonthName, Field::LongMonthName};
            if (c == u'd' && run <= 4)
                field = days[run - 1];
            else if (c == u'M' && run <= 4)
                field = months[run - 1];
            else if (c == u'y' && run == 4)
                field = Field::Year4;
            else if (c.isLetter() || c == u'\'' || c.isDigit())
                return {};  // quoted text, other fields: QLocale writes these
            if (field == Field::Text) {
                if (out.empty() || out.back().field != Field::Text)
                    out.push_back({Field::Text, QString()});
                out.back().text += form.mid(i, run);
            } else {
                out.push_back({field, QString()});
            }
            i += run;
        }
        return out;
    }

    QString write(const QDate& d) const
    {
        if (parts.empty() || d.year() < 1000 || d.year() > 9999)
            return locale.toString(d, date);
        QString text;
        text.reserve(16);
        auto number = [&](int n, int width) {
            char digits[4];
            int count = 0;
            do {
                digits[count++] = char('0' + n % 10);
                n /= 10;
            } while (n > 0);
            for (int k = count; k < width; ++k)
                text += QLatin1Char('0');
            while (count > 0)
                text += QLatin1Char(digits[--count]);
        };
        for (const Part& p : parts) {
            switch (p.field) {
            case Field::Text:
                text += p.text;
                break;
            case Field::Day:
                number(d.day(), 1);
                break;
            case Field::Day2:
                number(d.day(), 2);
                break;
            case Field::DayName:
                text += dayNames[0][d.dayOfWeek() - 1];
                break;
            case Field::LongDayName:
                text += dayNames[1][d.dayOfWeek() - 1];
                break;
            case Field::MonthName:
                text += monthNames[0][d.month() - 1];
                break;
            case Field::LongMonthName:
                text += monthNames[1][d.month() - 1];
                break;
            case Field::Month:
                number(d.month(), 1);
                break;
            case Field::Month2:
                number(d.month(), 2);
                break;
            case Field::Year4:
                number(d.year(), 4);
                break;
            }
        }
        return text;
    }
};

const DateForms& dateFormsOf(const QLocale& locale)
{
    static std::unique_ptr<DateForms> forms;
    if (!forms || forms->locale != locale)
        forms = std::make_unique<DateForms>(locale);
    return *forms;
}

}  // namespace

QString DateToText(const QDateTime& value)
{
    // A contact without the date would otherwise get Outlook's placeholder
    // year 4501 written into its document as if it were a real date.
    if (!value.isValid() || outlook::IsNoDate(value))
        return QString();
    const DateForms& forms = dateFormsOf(QLocale());
    QString text = forms.write(value.date());
    const QTime time = value.time();
    if (time != QTime(0, 0)) {
        const bool seconds = time.second() != 0 || time.msec() != 0;
        text += QLatin1Char(' ') + forms.locale.toString(time, seconds ? forms.timeWithSeconds : forms.shortTime);
    }
    return text;
}
