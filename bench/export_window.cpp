// The export run as the export window makes it: the window (offscreen), its
// labels, its yield after every item, with a data file added to the profile
// and every contact folder ticked, as the main window leaves things. Prints
// the time from the folder pick to the closing message, and the new book.
//
//   export_window FILE.pst FOLDER
//
// The profile and the data directory are pointed at temporary folders, so
// the user's own play no part. Run with QT_QPA_PLATFORM=offscreen;
// bench/export_window.sh compares it with pellaro-cli convert on the same
// file.

#include "app/frmSave.h"
#include "common/values/ProgramValues.h"
#include "source/FolderTree.h"
#include "source/outlook/Outlook.h"

#include "bench/BenchSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

// The folder pick answered with the folder given; the closing message
// stops the clock.
class WindowDialogs : public BenchDialogs {
public:
    QString folder;
    QElapsedTimer clock;
    double seconds = 0;
    QString message;

    MsgAnswer MsgBox(QObject*, const QString& text, MsgButtons, MsgIcon, const QString&, MsgAnswer) override
    {
        seconds = double(clock.nsecsElapsed()) / 1e9;
        message = text;
        return MsgAnswer::Ok;
    }
    QString BrowseForFolder(QObject*, const QString&) override
    {
        clock.start();
        return folder;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fputs("usage: export_window FILE.pst FOLDER\n", stderr);
        return 2;
    }
    QTemporaryDir scratch;
    qputenv("XDG_DATA_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("config"))));
    QApplication app(argc, argv);
    const QString pst = QString::fromLocal8Bit(argv[1]);

    WindowDialogs dialogs;
    dialogs.folder = QString::fromLocal8Bit(argv[2]);
    setDialogs(&dialogs);

    // The main window's part: the file in the profile, every folder ticked.
    try {
        outlook::RDOSession session;
        session.Logon();
        const outlook::RDOStore store = session.AddPSTStore(pst);
        Global::SelectedStoreID = store.EntryID();
        for (const source::FolderNode& n : source::FolderTreeNodes(store))
            if (!n.reference.isEmpty())
                Global::SelectedFolders.append(n.reference);
        session.Logoff();
    } catch (const outlook::OutlookError& e) {
        std::fprintf(stderr, "export_window: %s: %s\n", argv[1], e.what());
        return 2;
    }

    frmSave& window = frmSave::instance();
    window.OptNewNSF_Click();
    window.show();
    window.CmdNewNSF_Click();
    std::printf("%s\n", QFile::encodeName(Global::NewBookPath).constData());
    std::fprintf(stderr, "export window: %.2f s to the closing message\n", dialogs.seconds);
    return dialogs.message.startsWith(QStringLiteral("Outlook Contacts Exported Successfully")) ? 0 : 1;
}
