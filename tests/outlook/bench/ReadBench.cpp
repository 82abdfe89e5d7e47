// Reading speed of the store layer: every item of every contact folder read
// into the export's values, as the conversion does. Not a test; run by hand:
//   bench_outlook_read FILE.pst          (e.g. a file from pstgen)
//   bench_outlook_read --make N          (writes N contacts to a temporary file first)
#include "export/ItemReading.h"
#include "PstWriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <functional>

using namespace outlook;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTemporaryDir dir;
    QString path;
    if (args.size() == 3 && args[1] == QStringLiteral("--make")) {
        pstwriter::PstBuilder b;
        auto folder = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
        for (int i = 0; i < args[2].toInt(); ++i) {
            pstwriter::ContactData c;
            c.givenName = QStringLiteral("Given%1").arg(i);
            c.surname = QStringLiteral("Surname%1").arg(i);
            c.displayName = c.givenName + QLatin1Char(' ') + c.surname;
            c.email1Address = QStringLiteral("p%1@example.org").arg(i);
            c.companyName = QStringLiteral("Company");
            c.businessPhone = QStringLiteral("+1 555 0100");
            c.workCity = QStringLiteral("City");
            c.body = QStringLiteral("Some notes about this contact.");
            c.categories = QStringList{QStringLiteral("Business")};
            c.birthday = QDateTime(QDate(1970 + i % 40, 1 + i % 12, 1 + i % 28), QTime(0, 0), Qt::UTC);
            b.addContact(folder, c);
        }
        path = dir.filePath(QStringLiteral("bench.pst"));
        b.write(path);
    } else if (args.size() == 2) {
        path = args[1];
    } else {
        std::fprintf(stderr, "usage: bench_outlook_read FILE.pst | --make N\n");
        return 2;
    }
    try {
        QElapsedTimer t;
        t.start();
        RDOStore store = RDOSession::OpenPstFile(path);
        RDOFolder top = store.IPMRootFolder();
        const qint64 openMs = t.elapsed();
        qint64 items = 0, failed = 0;
        t.restart();
        const std::clock_t cpu = std::clock();
        std::function<void(const RDOFolder&)> walk = [&](const RDOFolder& f) {
            if (f.DefaultMessageClass() == QStringLiteral("IPM.Contact")) {
                const RDOItems list = f.Items();
                const qint64 n = list.Count();
                for (qint64 k = 1; k <= n; ++k) {
                    try {
                        const RDOItem item = list.Item(k);
                        if (item.MessageClass() == QStringLiteral("IPM.DistList"))
                            ReadMemberText(item);
                        else
                            ReadPersonFields(item);
                        ++items;
                    } catch (const OutlookError&) {
                        ++failed;
                    }
                }
            }
            for (int i = 1; i <= f.FolderCount(); ++i)
                walk(f.Folder(i));
        };
        walk(top);
        const double seconds = double(t.elapsed()) / 1000.0;
        const double cpuSeconds = double(std::clock() - cpu) / CLOCKS_PER_SEC;
        std::printf("open %lld ms; %lld items read (%lld failed) in %.2f s: %.0f items/s (%.0f items/s of CPU time)\n",
                    static_cast<long long>(openMs), static_cast<long long>(items), static_cast<long long>(failed),
                    seconds, items / qMax(seconds, 1e-3), items / qMax(cpuSeconds, 1e-3));
    } catch (const OutlookError& e) {
        std::fprintf(stderr, "bench_outlook_read: %s\n", e.what());
        return 2;
    }
    return 0;
}
