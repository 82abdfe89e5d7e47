// pstgen: writes a synthetic .pst file with a given folder layout and counts.
#include "PstWriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QRandomGenerator>
#include <QStringList>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <exception>
#include <vector>

namespace {

const char* kUsage = "Usage: pstgen OUT.pst [options]\n"
                     "Writes a synthetic Outlook data file (.pst, Unicode unless --ansi).\n"
                     "\n"
                     "  --folder PATH:COUNT[:CLASS]  a folder under the top of the store holding COUNT\n"
                     "                               contacts; PATH uses '\\' or '/' between levels,\n"
                     "                               CLASS is the container class (default IPF.Contact,\n"
                     "                               '-' for none). Repeatable; parents are created.\n"
                     "  --lists N                    distribution lists, written to the first folder\n"
                     "  --members M                  members per list (default 10): contacts of the\n"
                     "                               first folder, every fifth a one-off address\n"
                     "  --lists-folder PATH          put the lists in this folder instead\n"
                     "  --notes N                    also N \"IPM.Note\" items in every folder\n"
                     "  --fai N                      also N associated items in every folder\n"
                     "  --all-values                 fill every contact value (else names and e-mail 1)\n"
                     "  --seed N                     seed for the generated values (default 1)\n"
                     "  --name TEXT                  store display name (default \"Personal Folders\")\n"
                     "  --password TEXT              mark the file password protected\n"
                     "  --encoding none|compressible|cyclic\n"
                     "                               how data blocks are stored (default none;\n"
                     "                               Outlook's default is compressible)\n"
                     "  --ansi                       the older ANSI layout, texts in Windows-1252\n"
                     "  --ost                        an offline folders file (.ost) of the same layout\n"
                     "  --4k                         the Unicode layout with 4 KiB pages (Outlook 2013\n"
                     "                               and later offline folder files)\n"
                     "  --compress                   with --4k: blocks stored zlib-compressed where that\n"
                     "                               makes them smaller\n"
                     "  -q                           print nothing on success\n"
                     "  --help                       this text\n";

const char* kGiven[] = {"Anna",   "Bernd", "Chloé", "Dmitri", "Eva",    "François", "Grete", "Hans",    "Ingrid",
                        "Jürgen", "Karin", "Lars",  "Marta",  "Nils",   "Olga",     "Paul",  "Quentin", "Rosa",
                        "Sven",   "Tanja", "Ulf",   "Vera",   "Walter", "Xenia",    "Yusuf", "Zoë"};
const char* kSurname[] = {"Adler",   "Bauer",   "Cramer",  "Dietrich", "Engel",   "Fischer",   "Günther", "Hoffmann",
                          "Jansen",  "Keller",  "Lehmann", "Müller",   "Neumann", "O'Brien",   "Peters",  "Richter",
                          "Schäfer", "Schmidt", "Thomas",  "Vogel",    "Wagner",  "Zimmermann"};
const char* kCity[] = {"Berlin", "Hamburg", "München", "Köln", "Wien", "Zürich", "Paris", "Lyon"};

struct FolderSpec {
    QStringList path;
    int count = 0;
    QString cls = QStringLiteral("IPF.Contact");
};

[[noreturn]] void fail(const QString& message)
{
    std::fprintf(stderr, "pstgen: %s\n", qPrintable(message));
    std::exit(2);
}

int toInt(const QString& s, const char* what)
{
    bool ok = false;
    int v = s.toInt(&ok);
    if (!ok || v < 0)
        fail(QStringLiteral("bad %1: %2").arg(QLatin1String(what), s));
    return v;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString out;
    std::vector<FolderSpec> specs;
    int lists = 0, members = 10, notes = 0, fai = 0;
    bool allValues = false, quiet = false, ansi = false, ost = false, large = false, compress = false;
    pstwriter::PstEncoding encoding = pstwriter::PstEncoding::None;
    quint32 seed = 1;
    QString name, password, listsFolder;
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args[i];
        auto value = [&]() {
            if (i + 1 >= args.size())
                fail(QStringLiteral("%1 needs a value").arg(a));
            return args[++i];
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == QLatin1String("--folder")) {
            QStringList parts = value().split(QLatin1Char(':'));
            if (parts.size() < 2 || parts.size() > 3 || parts[0].isEmpty())
                fail(QStringLiteral("--folder takes PATH:COUNT[:CLASS]"));
            FolderSpec s;
            s.path = QString(parts[0])
                         .replace(QLatin1Char('/'), QLatin1Char('\\'))
                         .split(QLatin1Char('\\'), Qt::SkipEmptyParts);
            s.count = toInt(parts[1], "count");
            if (parts.size() == 3)
                s.cls = parts[2] == QLatin1String("-") ? QString() : parts[2];
            specs.push_back(s);
        } else if (a == QLatin1String("--lists")) {
            lists = toInt(value(), "list count");
        } else if (a == QLatin1String("--members")) {
            members = toInt(value(), "member count");
        } else if (a == QLatin1String("--lists-folder")) {
            listsFolder = value();
        } else if (a == QLatin1String("--notes")) {
            notes = toInt(value(), "note count");
        } else if (a == QLatin1String("--fai")) {
            fai = toInt(value(), "associated item count");
        } else if (a == QLatin1String("--all-values")) {
            allValues = true;
        } else if (a == QLatin1String("--seed")) {
            seed = quint32(toInt(value(), "seed"));
        } else if (a == QLatin1String("--name")) {
            name = value();
        } else if (a == QLatin1String("--password")) {
            password = value();
        } else if (a == QLatin1String("--encoding")) {
            const QString e = value();
            if (e == QLatin1String("none"))
                encoding = pstwriter::PstEncoding::None;
            else if (e == QLatin1String("compressible"))
                encoding = pstwriter::PstEncoding::Compressible;
            else if (e == QLatin1String("cyclic"))
                encoding = pstwriter::PstEncoding::Cyclic;
            else
                fail(QStringLiteral("--encoding takes none, compressible or cyclic, not %1").arg(e));
        } else if (a == QLatin1String("--ansi")) {
            ansi = true;
        } else if (a == QLatin1String("--4k")) {
            large = true;
        } else if (a == QLatin1String("--compress")) {
            compress = true;
        } else if (a == QLatin1String("--ost")) {
            ost = true;
        } else if (a == QLatin1String("-q")) {
            quiet = true;
        } else if (a.startsWith(QLatin1Char('-'))) {
            fail(QStringLiteral("unknown option %1 (see --help)").arg(a));
        } else if (out.isEmpty()) {
            out = a;
        } else {
            fail(QStringLiteral("more than one output file given"));
        }
    }
    if (out.isEmpty())
        fail(QStringLiteral("no output file given (see --help)"));
    if (ansi && large)
        fail(QStringLiteral("--ansi and --4k exclude each other"));
    if (compress && !large)
        fail(QStringLiteral("--compress needs --4k"));
    if (specs.empty())
        specs.push_back({{QStringLiteral("Contacts")}, lists > 0 ? members : 10, QStringLiteral("IPF.Contact")});

    QElapsedTimer timer;
    timer.start();
    try {
        QRandomGenerator rng(seed);
        pstwriter::PstBuilder b;
        b.setEncoding(encoding);
        if (ansi)
            b.setFormat(pstwriter::PstFormat::Ansi);
        if (large)
            b.setFormat(pstwriter::PstFormat::Unicode4K);
        b.setCompressBlocks(compress);
        if (ost)
            b.setKind(pstwriter::PstKind::Ost);
        QByteArray key(16, '\0');
        for (char& c : key)
            c = char(rng.bounded(256));
        b.setRecordKey(key);
        if (!name.isEmpty())
            b.setStoreDisplayName(name);
        if (!password.isEmpty())
            b.setPassword(password);

        // Folders first, in the order given (that is the order readers list
        // them in), then their items folder by folder in reverse pre-order of
        // the tree: a folder's items then never get lower node ids than those
        // of a folder listed before it, which keeps libpff's parent search at
        // open from walking through full folders (see docs/PST_WRITER.md).
        struct Made {
            pstwriter::FolderHandle handle;
            int parent;
            std::vector<int> children;
        };
        std::vector<Made> made;
        QHash<QString, int> byPath;
        auto folderFor = [&](const QStringList& path, const QString& cls) {
            int parent = -1;
            QString key;
            for (int k = 0; k < path.size(); ++k) {
                key += QLatin1Char('\\') + path[k];
                auto it = byPath.find(key);
                if (it == byPath.end()) {
                    const pstwriter::FolderHandle under
                        = parent < 0 ? b.ipmSubtree() : made[std::size_t(parent)].handle;
                    made.push_back({b.addFolder(under, path[k], cls), parent, {}});
                    const int index = int(made.size()) - 1;
                    if (parent >= 0)
                        made[std::size_t(parent)].children.push_back(index);
                    it = byPath.insert(key, index);
                }
                parent = *it;
            }
            return parent;
        };
        std::vector<int> specFolder;
        for (const FolderSpec& spec : specs)
            specFolder.push_back(folderFor(spec.path, spec.cls));
        int listFolder = specFolder.front();
        if (!listsFolder.isEmpty())
            listFolder = folderFor(QString(listsFolder)
                                       .replace(QLatin1Char('/'), QLatin1Char('\\'))
                                       .split(QLatin1Char('\\'), Qt::SkipEmptyParts),
                                   QStringLiteral("IPF.Contact"));
        std::vector<int> preorder;
        std::function<void(int)> visit = [&](int f) {
            preorder.push_back(f);
            for (int c : made[std::size_t(f)].children)
                visit(c);
        };
        for (int f = 0; f < int(made.size()); ++f)
            if (made[std::size_t(f)].parent < 0)
                visit(f);

        // Contacts are numbered in the order of the --folder options.
        std::vector<long long> firstNumber(specs.size(), 1);
        for (std::size_t k = 1; k < specs.size(); ++k)
            firstNumber[k] = firstNumber[k - 1] + specs[k - 1].count;
        auto makeContact = [&](long long number) {
            pstwriter::ContactData c;
            const QString given = QString::fromUtf8(kGiven[rng.bounded(int(std::size(kGiven)))]);
            const QString sur = QString::fromUtf8(kSurname[rng.bounded(int(std::size(kSurname)))]);
            const QString tag = QString::number(number);
            c.givenName = given;
            c.surname = sur;
            c.displayName = given + QLatin1Char(' ') + sur + QLatin1Char(' ') + tag;
            c.email1Address = given.toLower() + QLatin1Char('.') + tag + QStringLiteral("@example.com");
            c.email1DisplayName = c.displayName + QStringLiteral(" (") + c.email1Address + QLatin1Char(')');
            if (allValues) {
                const QString city = QString::fromUtf8(kCity[rng.bounded(int(std::size(kCity)))]);
                c.middleName = QStringLiteral("M.");
                c.generation = QStringLiteral("Jr.");
                c.displayNamePrefix = QStringLiteral("Dr.");
                c.email2Address = sur.toLower() + tag + QStringLiteral("@example.org");
                c.email2DisplayName = c.email2Address;
                c.email3Address = QStringLiteral("x") + tag + QStringLiteral("@example.net");
                c.email3DisplayName = c.email3Address;
                c.companyName = sur + QStringLiteral(" GmbH");
                c.jobTitle = QStringLiteral("Engineer");
                c.workStreet = QStringLiteral("Hauptstraße ") + QString::number(rng.bounded(200) + 1);
                c.workCity = city;
                c.workPostalCode = QString::number(10000 + rng.bounded(89999));
                c.workState = QStringLiteral("BE");
                c.workCountry = QStringLiteral("Germany");
                c.officeLocation = QStringLiteral("Room ") + QString::number(rng.bounded(500));
                c.webPage = QStringLiteral("https://example.com/") + tag;
                c.department = QStringLiteral("Research");
                c.managerName = QStringLiteral("Ms. Boss");
                c.assistantName = QStringLiteral("Mr. Helper");
                c.businessPhone = QStringLiteral("+49 30 ") + QString::number(1000000 + rng.bounded(8999999));
                c.businessFax = QStringLiteral("+49 30 5550");
                c.mobilePhone = QStringLiteral("+49 170 ") + QString::number(1000000 + rng.bounded(8999999));
                c.pager = QStringLiteral("1234");
                c.homeStreet = QStringLiteral("Gartenweg ") + QString::number(rng.bounded(90) + 1);
                c.homeCity = city;
                c.homePostalCode = QString::number(10000 + rng.bounded(89999));
                c.homeState = QStringLiteral("BE");
                c.homeCountry = QStringLiteral("Germany");
                c.spouse = QStringLiteral("Alex");
                c.children = {QStringLiteral("Kim"), QStringLiteral("Lou")};
                c.homePhone = QStringLiteral("+49 30 7770");
                c.homeFax = QStringLiteral("+49 30 7771");
                c.birthday = QDateTime(QDate(1950 + rng.bounded(50), 1 + rng.bounded(12), 1 + rng.bounded(28)),
                                       QTime(0, 0), Qt::UTC);
                c.anniversary = QDateTime(QDate(1980 + rng.bounded(30), 1 + rng.bounded(12), 1 + rng.bounded(28)),
                                          QTime(0, 0), Qt::UTC);
                c.body = QStringLiteral("Notes for contact ") + tag + QStringLiteral(".\nSecond line.");
                c.categories = {QStringLiteral("Business"), QStringLiteral("Customers")};
            }
            return c;
        };
        std::vector<pstwriter::ItemHandle> firstContacts;
        long long contacts = 0;
        for (auto f = preorder.rbegin(); f != preorder.rend(); ++f) {
            const pstwriter::FolderHandle folder = made[std::size_t(*f)].handle;
            for (std::size_t k = 0; k < specs.size(); ++k) {
                if (specFolder[k] != *f)
                    continue;
                for (int n = 0; n < specs[k].count; ++n) {
                    const pstwriter::ItemHandle h = b.addContact(folder, makeContact(firstNumber[k] + n));
                    if (k == 0)
                        firstContacts.push_back(h);
                    ++contacts;
                }
            }
            const bool used
                = *f == listFolder || std::find(specFolder.begin(), specFolder.end(), *f) != specFolder.end();
            if (!used)
                continue;
            for (int n = 0; n < notes; ++n)
                b.addMessage(folder, QStringLiteral("IPM.Note"), QStringLiteral("Note ") + QString::number(n + 1));
            for (int n = 0; n < fai; ++n)
                b.addAssociatedMessage(folder, QStringLiteral("IPM.Microsoft.FolderDesign.NamedView"));
        }
        // The lists last: their members refer to contacts of the first folder.
        const pstwriter::FolderHandle listTarget = made[std::size_t(listFolder)].handle;
        for (int l = 0; l < lists; ++l) {
            pstwriter::DistListData d;
            d.name = QStringLiteral("List ") + QString::number(l + 1);
            for (int k = 0; k < members; ++k) {
                if (firstContacts.empty() || k % 5 == 4) {
                    const QString n = QStringLiteral("Guest %1.%2").arg(l + 1).arg(k + 1);
                    d.members.push_back(pstwriter::DistListMember::oneOff(
                        n, QStringLiteral("SMTP"), QStringLiteral("guest%1.%2@example.com").arg(l + 1).arg(k + 1)));
                } else {
                    pstwriter::ItemHandle target = firstContacts[rng.bounded(int(firstContacts.size()))];
                    d.members.push_back(pstwriter::DistListMember::reference(target, 1));
                }
            }
            b.addDistList(listTarget, d);
        }
        b.write(out);
        if (!quiet)
            std::printf("%s: %lld contacts, %d lists of %d members, %zu folders, %.2f s\n", qPrintable(out), contacts,
                        lists, members, b.folderCount(), double(timer.elapsed()) / 1000.0);
    } catch (const std::exception& e) {
        fail(QString::fromUtf8(e.what()));
    }
    return 0;
}
