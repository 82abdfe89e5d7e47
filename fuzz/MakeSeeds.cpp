// Writes the seed files of the fuzzer: small data files from the PST writer
// covering folders, contacts with every value, RTF bodies, lists of every
// kind of member, large values in subnodes, a protected file, and files with
// 4 KiB pages in each encoding, with and without compressed blocks.
#include "PstWriter.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <stdexcept>

using namespace pstwriter;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    try {
        {
            PstBuilder b;
            auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
            auto sub = b.addFolder(contacts, QStringLiteral("Sub"), QStringLiteral("IPF.Contact"));
            b.addFolder(sub, QStringLiteral("Deeper"));
            b.addFolder(b.ipmSubtree(), QStringLiteral("Inbox"), QStringLiteral("IPF.Note"));
            ContactData c;
            c.givenName = QStringLiteral("Ann");
            c.surname = QStringLiteral("Lee");
            c.displayName = QStringLiteral("Ann Lee");
            c.email1Address = QStringLiteral("ann@example.org");
            c.email2Address = QStringLiteral("ann2@example.org");
            c.workCity = QStringLiteral("Oslo");
            c.webPage = QStringLiteral("http://x");
            c.children = QStringList{QStringLiteral("A"), QStringLiteral("B")};
            c.categories = QStringList{QStringLiteral("K")};
            c.birthday = QDateTime(QDate(1980, 1, 2), QTime(0, 0), Qt::UTC);
            c.body = QStringLiteral("notes");
            auto ann = b.addContact(contacts, c);
            c.bodyAsRtfOnly = true;
            b.addContact(sub, c);
            DistListData l;
            l.name = QStringLiteral("List");
            l.members = {DistListMember::reference(ann, 1), DistListMember::reference(ann, 2),
                         DistListMember::oneOff(QStringLiteral("Bob"), QStringLiteral("SMTP"), QStringLiteral("b@x")),
                         DistListMember::dangling()};
            auto list = b.addDistList(contacts, l);
            DistListData outer;
            outer.name = QStringLiteral("Outer");
            outer.members = {DistListMember::reference(list)};
            b.addDistList(contacts, outer);
            b.addAssociatedMessage(contacts, QStringLiteral("IPM.Hidden"));
            b.write(dir + QStringLiteral("/folders-and-lists.pst"));
        }
        {
            PstBuilder b;
            auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
            ContactData c;
            c.givenName = QStringLiteral("Big");
            c.body = QString(12000, QLatin1Char('x'));  // in a subnode over two blocks
            b.addContact(contacts, c);
            for (int i = 0; i < 30; ++i) {
                ContactData s;
                s.givenName = QStringLiteral("N%1").arg(i);
                s.email1Address = QStringLiteral("n%1@x").arg(i);
                b.addContact(contacts, s);
            }
            b.write(dir + QStringLiteral("/large-values.pst"));
        }
        // Files with 4 KiB pages: one in each encoding, two with compressed
        // blocks (a data tree and a sub-node tree among them). Their last
        // allocation interval, empty, is cut off to keep the seeds small.
        for (PstEncoding encoding : {PstEncoding::None, PstEncoding::Compressible, PstEncoding::Cyclic}) {
            for (bool compress : {false, true}) {
                if (encoding == PstEncoding::None && compress)
                    continue;
                PstBuilder b;
                b.setFormat(PstFormat::Unicode4K);
                b.setKind(PstKind::Ost);
                b.setEncoding(encoding);
                b.setCompressBlocks(compress);
                auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
                ContactData big;
                big.givenName = QStringLiteral("Big");
                big.body = QString(70000, QLatin1Char('y'));  // over two blocks of 64 KiB
                auto first = b.addContact(contacts, big);
                for (int i = 0; i < 40; ++i) {
                    ContactData c;
                    c.givenName = QStringLiteral("N%1").arg(i);
                    c.email1Address = QStringLiteral("n%1@example.org").arg(i);
                    c.categories = QStringList{QStringLiteral("K")};
                    b.addContact(contacts, c);
                }
                DistListData l;
                l.name = QStringLiteral("List");
                l.members = {DistListMember::reference(first, 1), DistListMember::dangling()};
                b.addDistList(contacts, l);
                const QString path
                    = dir + QStringLiteral("/pages4k-%1%2.ost").arg(int(encoding)).arg(compress ? "-compressed" : "");
                b.write(path);
                QFile f(path);
                if (!f.open(QIODevice::ReadOnly))
                    throw std::runtime_error("cannot read " + path.toStdString());
                QByteArray bytes = f.readAll();
                f.close();
                qsizetype used = bytes.size();
                while (used > 0 && bytes[used - 1] == '\0')
                    --used;
                if (!f.resize((used + 4095) / 4096 * 4096))
                    throw std::runtime_error("cannot cut " + path.toStdString());
            }
        }
        {
            PstBuilder b;
            b.setPassword(QStringLiteral("secret"));
            b.registerNamedProperty(psetidAddress(), 0x8083);
            b.write(dir + QStringLiteral("/protected.pst"));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
