#pragma once
// The date form of Person documents: the user's short date form, with the
// year always in four digits ("M/d/yy" becomes "M/d/yyyy"), so that 1947 and
// 2047 stay apart.

#include <QLocale>
#include <QString>

inline QString FullYearDateFormat(const QLocale& locale)
{
    const QString form = locale.dateFormat(QLocale::ShortFormat);
    QString out;
    bool quoted = false;  // text between apostrophes is literal
    for (qsizetype i = 0; i < form.size();) {
        const QChar c = form.at(i);
        if (c == u'\'') {
            quoted = !quoted;
        } else if (!quoted && c == u'y') {
            while (i < form.size() && form.at(i) == u'y')
                ++i;
            out += QStringLiteral("yyyy");
            continue;
        }
        out += c;
        ++i;
    }
    return out;
}
