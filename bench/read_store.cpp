// Reading speed of the store layer: every value the conversion reads of
// every item of every folder (contacts: the 38 values; lists: name, notes and
// every member's text), nothing written. Not a test; run by hand or through
// bench/read_store.sh:
//   storeread FILE.pst
#include "source/outlook/Outlook.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <ctime>
#include <functional>

using namespace outlook;

namespace {

// Keeps the compiler from dropping the reads.
std::size_t sink = 0;
void use(const QString& s)
{
    sink += std::size_t(s.size());
}
void use(const QDateTime& d)
{
    sink += std::size_t(d.isValid());
}

void readContact(const RDOItem& i)
{
    use(i.FirstName()), use(i.MiddleName()), use(i.LastName()), use(i.Suffix()), use(i.Title());
    use(i.Email1Address()), use(i.CompanyName()), use(i.JobTitle()), use(i.BusinessAddressStreet());
    use(i.BusinessAddressCity()), use(i.BusinessAddressPostalCode()), use(i.BusinessAddressState());
    use(i.BusinessAddressCountry()), use(i.OfficeLocation()), use(i.WebPage()), use(i.Department());
    use(i.ManagerName()), use(i.AssistantName()), use(i.BusinessTelephoneNumber()), use(i.BusinessFaxNumber());
    use(i.MobileTelephoneNumber()), use(i.PagerNumber()), use(i.Email1Address()), use(i.Email2Address());
    use(i.Email3Address()), use(i.HomeAddressStreet()), use(i.HomeAddressCity()), use(i.HomeAddressPostalCode());
    use(i.HomeAddressState()), use(i.HomeAddressCountry()), use(i.Spouse()), use(i.Children());
    use(i.HomeTelephoneNumber()), use(i.HomeFaxNumber()), use(i.Birthday()), use(i.Anniversary());
    use(i.Body()), use(i.Categories());
}

void readList(const RDOItem& i)
{
    for (int m = 1; m <= i.MemberCount(); ++m)
        use(i.MemberText(m));
    use(i.DLName()), use(i.Body());
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: storeread FILE.pst\n");
        return 2;
    }
    try {
        QElapsedTimer t;
        t.start();
        const std::clock_t cpu = std::clock();
        const RDOStore store = RDOSession::OpenPstFile(QString::fromLocal8Bit(argv[1]));
        qint64 items = 0, failed = 0;
        std::function<void(const RDOFolder&)> walk = [&](const RDOFolder& f) {
            const RDOItems list = f.Items();
            const qint64 n = list.Count();
            for (qint64 k = 1; k <= n; ++k) {
                try {
                    const RDOItem item = list.Item(k);
                    if (item.MessageClass() == QStringLiteral("IPM.DistList"))
                        readList(item);
                    else
                        readContact(item);
                    ++items;
                } catch (const OutlookError&) {
                    ++failed;
                }
            }
            for (int i = 1; i <= f.FolderCount(); ++i)
                walk(f.Folder(i));
        };
        walk(store.IPMRootFolder());
        const double seconds = double(t.elapsed()) / 1000.0;
        const double cpuSeconds = double(std::clock() - cpu) / CLOCKS_PER_SEC;
        std::printf("%lld items read (%lld failed) in %.3f s: %.0f items/s (%.0f items/s of CPU time)\n",
                    static_cast<long long>(items), static_cast<long long>(failed), seconds,
                    double(items) / qMax(seconds, 1e-3), double(items) / qMax(cpuSeconds, 1e-3));
    } catch (const OutlookError& e) {
        std::fprintf(stderr, "storeread: %s\n", e.what());
        return 2;
    }
    return sink == 0 ? 1 : 0;
}
