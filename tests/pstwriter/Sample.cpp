#include "Sample.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

namespace sample {

using namespace pstwriter;

namespace {

QDateTime utc(int y, int m, int d, int h = 0, int min = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min), Qt::UTC);
}

ContactData named(const QString& given, const QString& surname, const QString& email)
{
    ContactData c;
    c.givenName = given;
    c.surname = surname;
    c.displayName = given + QLatin1Char(' ') + surname;
    c.email1Address = email;
    return c;
}

}  // namespace

Sample build(PstBuilder& b)
{
    Sample s;
    b.setStoreDisplayName(QStringLiteral("Pellaro Sample Ünïcode"));
    s.contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    s.friends = b.addFolder(s.contacts, QStringLiteral("Friends"), QStringLiteral("IPF.Contact"));
    s.close = b.addFolder(s.friends, QStringLiteral("Close – Ströme"), QStringLiteral("IPF.Contact"));
    s.quick = b.addFolder(b.ipmSubtree(), QStringLiteral("Quick Contacts"),
                          QStringLiteral("IPF.Contact.MOC.QuickContacts"));
    s.noClass = b.addFolder(b.ipmSubtree(), QStringLiteral("Misc"));
    s.inbox = b.addFolder(b.ipmSubtree(), QStringLiteral("Inbox"), QStringLiteral("IPF.Note"));

    ContactData& a = s.ada;
    a.givenName = QStringLiteral("Ada Ζωή");
    a.middleName = QStringLiteral("King");
    a.surname = QStringLiteral("Lovelace-Łukasiewicz");
    a.generation = QStringLiteral("Jr.");
    a.displayNamePrefix = QStringLiteral("Countess");
    a.displayName = QStringLiteral("Ada Ζωή Lovelace-Łukasiewicz 漢字 😀");
    a.email1Address = QStringLiteral("ada@example.com");
    a.email1DisplayName = QStringLiteral("Ada (work)");
    a.email2Address = QStringLiteral("ada.lovelace@example.org");
    a.email3Address = QStringLiteral("countess@example.net");
    a.email3DisplayName = QStringLiteral("The Countess");
    a.companyName = QStringLiteral("O'Reilly & Söhne ");
    a.jobTitle = QStringLiteral("Analyst");
    a.workStreet = QStringLiteral("12 St James's Square");
    a.workCity = QStringLiteral("London");
    a.workState = QStringLiteral("Greater London");
    a.workPostalCode = QStringLiteral("SW1Y 4JH");
    a.workCountry = QStringLiteral("United Kingdom");
    a.officeLocation = QStringLiteral("Room 1");
    a.webPage = QStringLiteral("https://example.com/ada");
    a.department = QStringLiteral("Engines");
    a.managerName = QStringLiteral("Charles Babbage");
    a.assistantName = QStringLiteral("Mary Somerville");
    a.businessPhone = QStringLiteral("+44 20 7946 0001");
    a.businessFax = QStringLiteral("+44 20 7946 0002");
    a.mobilePhone = QStringLiteral("+44 7700 900001");
    a.pager = QStringLiteral("0001");
    a.homeStreet = QStringLiteral("Ockham Park");
    a.homeCity = QStringLiteral("Ockham");
    a.homePostalCode = QStringLiteral("GU23 6NU");
    a.homeState = QStringLiteral("Surrey");
    a.homeCountry = QStringLiteral("England");
    a.spouse = QStringLiteral("William King");
    a.children = {QStringLiteral("Byron"), QStringLiteral("Anne Isabella"), QStringLiteral("Ralph")};
    a.homePhone = QStringLiteral("+44 1483 000001");
    a.homeFax = QStringLiteral("+44 1483 000002");
    a.birthday = utc(1815, 12, 10);
    a.anniversary = utc(1835, 7, 8, 23, 30);
    a.body = QStringLiteral("First line\r\nSecond — line with \"quotes\", {braces} and \\ backslash.");
    a.categories = {QStringLiteral("Mathematics"), QStringLiteral("Friends 😀")};
    s.adaItem = b.addContact(s.contacts, a);

    s.rtfOnly = named(QStringLiteral("Rita"), QStringLiteral("Rich"), QStringLiteral("rita@example.com"));
    s.rtfOnly.body = QStringLiteral("Only in RTF: Grüße {x} \\ y\nSecond line");
    s.rtfOnly.bodyAsRtfOnly = true;
    s.rtfItem = b.addContact(s.contacts, s.rtfOnly);

    s.empty.displayName = QStringLiteral("Nobody");
    s.empty.givenName = QStringLiteral("");
    s.empty.companyName = QStringLiteral("");
    s.empty.writeEmptyStrings = true;
    s.emptyItem = b.addContact(s.contacts, s.empty);

    s.plain = named(QStringLiteral("Pat"), QStringLiteral("O'Neil"), QStringLiteral("pat@example.com"));
    s.plainItem = b.addContact(s.contacts, s.plain);

    s.innerList.name = QStringLiteral("Inner");
    s.innerList.members.push_back(
        DistListMember::oneOff(QStringLiteral("Ivy Inner"), QStringLiteral("SMTP"), QStringLiteral("ivy@example.com")));
    s.innerListItem = b.addDistList(s.contacts, s.innerList);

    s.danglingNid = b.unusedMessageNid();
    s.list.name = QStringLiteral("Team ✓");
    s.list.body = QStringLiteral("The team list");
    s.list.categories = {QStringLiteral("Work")};
    s.list.members.push_back(DistListMember::oneOff(QStringLiteral("Guest Ünö"), QStringLiteral("SMTP"),
                                                    QStringLiteral("guest@example.com")));
    s.list.members.push_back(DistListMember::reference(s.adaItem, 1));
    s.list.members.push_back(DistListMember::reference(s.adaItem, 2));
    s.list.members.push_back(DistListMember::reference(s.adaItem, 3));
    s.list.members.push_back(DistListMember::reference(s.innerListItem, 0));
    s.list.members.push_back(DistListMember::dangling(s.danglingNid, 1));
    s.listItem = b.addDistList(s.contacts, s.list);

    for (int i = 0; i < s.assocInContacts; ++i)
        b.addAssociatedMessage(s.contacts, QStringLiteral("IPM.Microsoft.FolderDesign.NamedView"),
                               QStringLiteral("View %1").arg(i + 1));
    for (int i = 0; i < s.friendsCount; ++i)
        b.addContact(
            s.friends,
            named(QStringLiteral("Friend"), QString::number(i + 1), QStringLiteral("friend%1@example.com").arg(i + 1)));
    b.addContact(s.close, named(QStringLiteral("Clara"), QStringLiteral("Close"), QStringLiteral("clara@example.com")));
    b.addContact(s.quick, named(QStringLiteral("Quinn"), QStringLiteral("Quick"), QStringLiteral("q@example.com")));
    b.addMessage(s.noClass, QStringLiteral("IPM.Note"), QStringLiteral("A note"));
    b.addMessage(s.inbox, QStringLiteral("IPM.Note"), QStringLiteral("Hello"));
    b.addMessage(s.inbox, QStringLiteral("IPM.Note"), QStringLiteral("World"));
    return s;
}

ToolRun run(const QString& program, const QStringList& args, int timeoutMs)
{
    ToolRun r;
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000))
        return r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QStringList complaints(const ToolRun& r)
{
    static const QRegularExpression bad(QStringLiteral("error|unable|invalid|corrupt|missing|unsupported|warning"),
                                        QRegularExpression::CaseInsensitiveOption);
    QStringList lines;
    for (const QString& line : r.err.split(QLatin1Char('\n')))
        if (bad.match(line).hasMatch())
            lines << line;
    return lines;
}

QStringList exportedFiles(const QString& dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(dir).relativeFilePath(it.next());
    files.sort();
    return files;
}

QString readText(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

}  // namespace sample
