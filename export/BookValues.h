#pragma once
// Reading the values of a book's documents back into what they stand for,
// for the exports: dates written as text, lists joined into one text, and the
// members of a Group's "Members" text.

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <vector>

namespace exporting {

// A date as a Person document holds it: the short date form of `locale` with
// a four-digit year (see DateText.h), optionally followed by one blank and a
// time of day. Books written before held the form's own two-digit year; such
// a year is taken as the latest one with those digits that is not in the
// future. Empty when the text is no such date.
std::optional<QDateTime> parseBookDate(const QString& text, const QLocale& locale);

// A day and a time of day as the book holds them: no time zone.
struct BookDate {
    QDate date;
    QTime time;
};

// parseBookDate for many texts under one locale: a date in a numeric short
// form (M/d/yyyy, dd.MM.yyyy, ...) is read without the locale's parser, and
// no time zone is looked up.
class BookDateReader {
public:
    explicit BookDateReader(QLocale locale);
    std::optional<BookDate> read(const QString& text);

private:
    struct Part {
        enum Kind { Text, Day, Month, Year } kind;
        bool twoDigits = false;  // dd, MM
        QString text;
    };
    std::optional<QDate> readNumeric(const QString& text) const;

    QLocale locale_;
    std::vector<Part> parts_;  // empty: the form is not numeric
    QString lastText_;
    std::optional<BookDate> last_;
};

// The parts of a value the book joined from a list ("Business, Customers"):
// split at ", ". A value without the separator is one part.
QStringList splitJoinedList(const QString& value);

// The members of a Group's "Members" text ("'member' " for each member), in
// order. Empty optional when the text does not have that form.
std::optional<QStringList> splitMembers(const QString& members);

// splitMembers without copies: the members as parts of `members`, into
// `parts` (cleared first). False when the text does not have that form.
bool splitMembers(QStringView members, std::vector<QStringView>& parts);

// One member as the list holds it: "Name <address>", a bare address or a
// bare name.
struct Member {
    QString name;  // empty for a bare address
    QString address;  // empty for a bare name
    // What identifies the member: the address in lower case, else the name.
    QString key() const;
};
Member parseMember(const QString& text);

// parseMember without copies: the name and the address as parts of the text.
struct MemberParts {
    QStringView name;
    QStringView address;
    // Member::key() before its case is folded.
    QStringView keyText() const { return address.isEmpty() ? name.trimmed() : address.trimmed(); }
};
MemberParts parseMemberParts(QStringView text);

// Whether `text` is a plain internet mail address (local@domain).
bool isMailAddress(QStringView text);

}  // namespace exporting
