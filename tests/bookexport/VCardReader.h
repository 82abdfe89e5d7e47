#pragma once
// A strict reader of vCard 3.0 files for the tests: it refuses what a
// careless writer gets wrong instead of guessing. Checked: CRLF at the end of
// every physical line and no other CR or LF; no physical line over 75 octets;
// every physical line valid UTF-8 on its own (so folds fall between
// characters); continuation lines start with one blank; the content line
// grammar (name, parameters, value); BEGIN/END pairs, VERSION 3.0 first, N
// and FN exactly once. Values are unescaped by the helpers below, which
// refuse unknown escapes and unescaped separators.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

struct VProperty {
    QString name;  // upper case
    QHash<QString, QStringList> params;  // names upper case, values lower case
    QByteArray value;  // unfolded, still escaped

    bool hasType(const QString& type) const { return params.value(QStringLiteral("TYPE")).contains(type); }
};

struct VCard {
    std::vector<VProperty> properties;

    std::vector<const VProperty*> all(const QString& name) const;
    // The only property of that name; null when there is none (a second one
    // is reported as an error by the reader for N and FN only).
    const VProperty* first(const QString& name) const;
};

struct VCardFile {
    std::vector<VCard> cards;
    QString error;  // empty when the file is well formed
    int foldedLines = 0;  // continuation lines seen
};

VCardFile readVCardFile(const QByteArray& bytes);

// A single text value: escapes \\ \, \; \n \N; an unescaped comma or
// semicolon is an error.
QString unescapeText(const QByteArray& raw, QString* error);
// A value of parts separated by `separator` (';' for structured values, ','
// for lists); each part unescaped as a single text value.
QStringList splitValue(const QByteArray& raw, char separator, QString* error);
