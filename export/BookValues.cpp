#include "export/BookValues.h"
#include "export/DateText.h"

#include <QRegularExpression>

#include <array>

namespace exporting {

std::optional<QDateTime> parseBookDate(const QString& text, const QLocale& locale)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    // Books are written with the short date form and a four-digit year;
    // older ones may hold the form's own two-digit year.
    const QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    const QString fullYear = FullYearDateFormat(locale);

    auto parseDate = [&](const QString& s) -> QDate {
        QDate d = locale.toDate(s, fullYear);
        if (d.isValid() || fullYear == dateFormat)
            return d;
        d = locale.toDate(s, dateFormat);
        if (!d.isValid()) {
            // Two-digit years are read in the 1900s, which has no 29 February
            // of year 00; 2000 had one.
            if (s == locale.toString(QDate(2000, 2, 29), dateFormat))
                return QDate(2000, 2, 29);
            return d;
        }
        // The latest century that does not put the date in the future.
        const QDate today = QDate::currentDate();
        while (d.addYears(100) <= today)
            d = d.addYears(100);
        return d;
    };

    auto parseTime = [&](const QString& s) -> QTime {
        const std::array<QString, 4> formats
            = {locale.timeFormat(QLocale::ShortFormat), locale.timeFormat(QLocale::LongFormat),
               QStringLiteral("H:mm:ss"), QStringLiteral("H:mm")};
        for (const QString& f : formats) {
            const QTime tm = locale.toTime(s, f);
            if (tm.isValid())
                return tm;
        }
        // The long form ends in a time zone name, which the parser does not
        // take back: drop it from both.
        QString longFormat = locale.timeFormat(QLocale::LongFormat);
        const qsizetype zone = s.lastIndexOf(u' ');
        if (longFormat.endsWith(QLatin1String(" t")) && zone > 0) {
            longFormat.chop(2);
            return locale.toTime(s.left(zone), longFormat);
        }
        return QTime();
    };

    const QDate dateOnly = parseDate(t);
    if (dateOnly.isValid())
        return QDateTime(dateOnly, QTime(0, 0));
    // Date, one blank, time. The date part may hold blanks itself.
    for (qsizetype i = t.lastIndexOf(u' '); i > 0; i = t.lastIndexOf(u' ', i - 1)) {
        const QDate d = parseDate(t.left(i));
        if (!d.isValid())
            continue;
        const QTime tm = parseTime(t.mid(i + 1));
        if (tm.isValid())
            return QDateTime(d, tm);
    }
    return std::nullopt;
}

BookDateReader::BookDateReader(QLocale locale)
    : locale_(std::move(locale))
{
    if (locale_.zeroDigit() != QLatin1String("0"))
        return;
    const QString form = FullYearDateFormat(locale_);
    for (qsizetype i = 0; i < form.size();) {
        const QChar c = form.at(i);
        qsizetype run = 1;
        while (i + run < form.size() && form.at(i + run) == c)
            ++run;
        if ((c == u'd' || c == u'M') && run <= 2) {
            parts_.push_back({c == u'd' ? Part::Day : Part::Month, run == 2, QString()});
        } else if (c == u'y' && run == 4) {
            parts_.push_back({Part::Year, false, QString()});
        } else if (c.isLetterOrNumber() || c == u'\'') {
            parts_.clear();  // names of months or days, quoted text: the locale reads these
            return;
        } else {
            if (parts_.empty() || parts_.back().kind != Part::Text)
                parts_.push_back({Part::Text, false, QString()});
            parts_.back().text += form.mid(i, run);
        }
        i += run;
    }
}

std::optional<QDate> BookDateReader::readNumeric(const QString& t) const
{
    if (parts_.empty())
        return std::nullopt;
    int day = 0, month = 0, year = 0;
    qsizetype at = 0;
    for (const Part& p : parts_) {
        if (p.kind == Part::Text) {
            if (!QStringView(t).mid(at).startsWith(p.text))
                return std::nullopt;
            at += p.text.size();
            continue;
        }
        const int minDigits = p.kind == Part::Year ? 4 : (p.twoDigits ? 2 : 1);
        const int maxDigits = p.kind == Part::Year ? 4 : 2;
        int value = 0, digits = 0;
        while (digits < maxDigits && at < t.size() && t[at] >= u'0' && t[at] <= u'9') {
            value = value * 10 + (t[at].unicode() - u'0');
            ++at;
            ++digits;
        }
        if (digits < minDigits)
            return std::nullopt;
        (p.kind == Part::Day ? day : p.kind == Part::Month ? month : year) = value;
    }
    if (at != t.size())
        return std::nullopt;
    const QDate d(year, month, day);
    return d.isValid() ? std::optional<QDate>(d) : std::nullopt;
}

std::optional<BookDate> BookDateReader::read(const QString& text)
{
    if (text == lastText_)
        return last_;
    lastText_ = text;
    if (const auto d = readNumeric(text)) {
        last_ = BookDate{*d, QTime(0, 0)};
    } else if (const auto when = parseBookDate(text, locale_)) {
        last_ = BookDate{when->date(), when->time()};
    } else {
        last_.reset();
    }
    return last_;
}

QStringList splitJoinedList(const QString& value)
{
    return value.split(QStringLiteral(", "));
}

std::optional<QStringList> splitMembers(const QString& members)
{
    if (members.isEmpty())
        return QStringList();
    if (members.size() < 3 || !members.startsWith(u'\'') || !members.endsWith(QLatin1String("' ")))
        return std::nullopt;
    return members.mid(1, members.size() - 3).split(QStringLiteral("' '"));
}

bool splitMembers(QStringView members, std::vector<QStringView>& parts)
{
    parts.clear();
    if (members.isEmpty())
        return true;
    if (members.size() < 3 || !members.startsWith(u'\'') || !members.endsWith(QLatin1String("' ")))
        return false;
    const QStringView body = members.mid(1, members.size() - 3);
    qsizetype from = 0;
    for (qsizetype at; (at = body.indexOf(QLatin1String("' '"), from)) >= 0; from = at + 3)
        parts.push_back(body.mid(from, at - from));
    parts.push_back(body.mid(from));
    return true;
}

QString Member::key() const
{
    return MemberParts{name, address}.keyText().toString().toCaseFolded();
}

MemberParts parseMemberParts(QStringView text)
{
    // "Name <address>", as the reader writes a member with both.
    if (text.endsWith(u'>')) {
        const qsizetype open = text.lastIndexOf(QLatin1String(" <"));
        if (open > 0)
            return {text.left(open), text.mid(open + 2, text.size() - open - 3)};
    }
    if (isMailAddress(text))
        return {QStringView(), text};
    return {text, QStringView()};
}

Member parseMember(const QString& text)
{
    const MemberParts parts = parseMemberParts(text);
    return {parts.name.toString(), parts.address.toString()};
}

bool isMailAddress(QStringView text)
{
    static const QRegularExpression address(QStringLiteral(R"(^[^\s@<>()\[\],;:"]+@[^\s@<>()\[\],;:"]+$)"));
    return address.match(text).hasMatch();
}

}  // namespace exporting
