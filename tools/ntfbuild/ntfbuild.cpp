// ntfbuild: turns a design description (templates/*.design) into a template
// file of the address-book store.
//
//   ntfbuild DESIGN OUTPUT
//
// The template is built under a temporary name beside OUTPUT and renamed into
// place once complete, so an interrupted build never leaves half a template.

#include "export/notes/BookFile.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <stdexcept>
#include <vector>

namespace {

struct DesignNote {
    std::string_view noteClass;
    QString name;
    QStringList fields;  // form
    QString selection;  // view
    QStringList columns;  // view, "ITEM ascending|descending"
};

struct Design {
    QString title;
    QString templateName;
    std::vector<DesignNote> notes;
};

class DesignError : public std::runtime_error {
public:
    DesignError(const QString& file, int line, const QString& what)
        : std::runtime_error(QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(what).toStdString())
    {
    }
};

// "keyword rest-of-line"
std::pair<QString, QString> splitLine(const QString& line)
{
    const qsizetype blank = line.indexOf(u' ');
    if (blank < 0)
        return {line, QString()};
    return {line.left(blank), line.mid(blank + 1).trimmed()};
}

Design parse(const QString& file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text))
        throw std::runtime_error((file + QStringLiteral(": cannot read: ") + in.errorString()).toStdString());
    Design design;
    DesignNote* open = nullptr;
    int lineNo = 0;
    const QStringList lines = QString::fromUtf8(in.readAll()).split(u'\n');
    for (const QString& raw : lines) {
        ++lineNo;
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const auto [keyword, rest] = splitLine(line);
        if (!open) {
            if (keyword == QLatin1String("title")) {
                design.title = rest;
            } else if (keyword == QLatin1String("template-name")) {
                design.templateName = rest;
            } else if (keyword == QLatin1String("form") || keyword == QLatin1String("view")) {
                if (rest.isEmpty())
                    throw DesignError(file, lineNo, keyword + QStringLiteral(" needs a name"));
                for (const DesignNote& n : design.notes) {
                    if (n.name == rest
                        && (n.noteClass == notes::store::ClassForm) == (keyword == QLatin1String("form")))
                        throw DesignError(file, lineNo, QStringLiteral("%1 %2 defined twice").arg(keyword, rest));
                }
                DesignNote note;
                note.noteClass = keyword == QLatin1String("form") ? notes::store::ClassForm : notes::store::ClassView;
                note.name = rest;
                design.notes.push_back(note);
                open = &design.notes.back();
            } else {
                throw DesignError(file, lineNo, QStringLiteral("unknown keyword \"%1\"").arg(keyword));
            }
            continue;
        }
        const bool isForm = open->noteClass == notes::store::ClassForm;
        if (keyword == QLatin1String("end")) {
            if (isForm && open->fields.isEmpty())
                throw DesignError(file, lineNo, QStringLiteral("form %1 has no fields").arg(open->name));
            if (!isForm && open->columns.isEmpty())
                throw DesignError(file, lineNo, QStringLiteral("view %1 has no columns").arg(open->name));
            open = nullptr;
        } else if (isForm && keyword == QLatin1String("field") && !rest.isEmpty() && !rest.contains(u' ')) {
            if (open->fields.contains(rest, Qt::CaseInsensitive))
                throw DesignError(file, lineNo, QStringLiteral("field %1 listed twice").arg(rest));
            open->fields.append(rest);
        } else if (!isForm && keyword == QLatin1String("selection") && !rest.isEmpty()) {
            open->selection = rest;
        } else if (!isForm && keyword == QLatin1String("column")) {
            const auto [item, order] = splitLine(rest);
            if (item.isEmpty() || (order != QLatin1String("ascending") && order != QLatin1String("descending")))
                throw DesignError(file, lineNo, QStringLiteral("a column is \"column ITEM ascending|descending\""));
            open->columns.append(item + u' ' + order);
        } else {
            throw DesignError(file, lineNo, QStringLiteral("unexpected line \"%1\"").arg(line));
        }
    }
    if (open)
        throw DesignError(file, lineNo, QStringLiteral("%1 is missing its \"end\"").arg(open->name));
    if (design.title.isEmpty())
        throw DesignError(file, lineNo, QStringLiteral("the design has no title"));
    return design;
}

void build(const Design& design, const QString& output)
{
    using notes::store::Connection;
    const QString temporary = output + QStringLiteral(".building");
    QFile::remove(temporary);
    {
        std::unique_ptr<Connection> c = Connection::createNew(temporary, notes::store::KindTemplate);
        c->setBookValue("title", design.title);
        if (!design.templateName.isEmpty())
            c->setBookValue("template_name", design.templateName);
        for (const DesignNote& n : design.notes) {
            std::vector<std::pair<QString, QString>> items;
            items.emplace_back(QStringLiteral("$TITLE"), n.name);
            if (n.noteClass == notes::store::ClassForm) {
                items.emplace_back(QStringLiteral("$Fields"), n.fields.join(u','));
            } else {
                items.emplace_back(QStringLiteral("$Selection"), n.selection);
                items.emplace_back(QStringLiteral("$Columns"), n.columns.join(u','));
            }
            c->insertNote(n.noteClass, Connection::newUnid(), items);
        }
        c->commitNew();
    }
    QFile::remove(output);
    if (!QFile::rename(temporary, output))
        throw std::runtime_error(
            (output + QStringLiteral(": cannot move the built template into place")).toStdString());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: ntfbuild DESIGN OUTPUT\n", stderr);
        return 2;
    }
    try {
        build(parse(QFile::decodeName(argv[1])), QFile::decodeName(argv[2]));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ntfbuild: %s\n", e.what());
        return 1;
    }
    return 0;
}
