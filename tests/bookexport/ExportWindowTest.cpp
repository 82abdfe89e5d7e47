// File > Export Address Book... driven offscreen: the book and the output
// chosen in file dialogs, the same file as `book export` writes, progress
// with a Stop that leaves nothing, and the outcome in a message box.

#include "app/MainMenu.h"
#include "tests/bookexport/ExportFixture.h"
#include "tests/support/ScriptedDialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMenuBar>
#include <QProgressDialog>
#include <QTimer>
#include <QVBoxLayout>

namespace {

class ExportWindow : public ExportFixture {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "test_bookexport_window";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance())
            new QApplication(argc, argv);
    }

    void SetUp() override
    {
        ExportFixture::SetUp();
        auto* layout = new QVBoxLayout(&window);
        auto* bar = new QMenuBar(&window);
        layout->setMenuBar(bar);
        menu = new MainMenu(bar, &window);
    }

    // The output dialog's answer.
    void answerOutput(const QString& path, ExportFormat format)
    {
        menu->exportBook.chooseOutput
            = [this, path, format](QWidget* owner, const QString& suggestion, ExportFormat* chosen) {
                  outputOwner = owner;
                  suggested = suggestion;
                  *chosen = format;
                  return path;
              };
    }

    QWidget window;
    MainMenu* menu = nullptr;
    QWidget* outputOwner = nullptr;
    QString suggested;
};

}  // namespace

TEST_F(ExportWindow, ExportsTheChosenBookAsTheCommandLineDoes)
{
    for (int i = 0; i < 3; ++i)
        addPerson(awkwardPerson(i));
    addGroup(QStringLiteral("Team"), QStringLiteral("'a@example.com' "), QString());
    FinishDocumentWrites();

    for (const ExportFormat format : {ExportFormat::Dxl, ExportFormat::VCard}) {
        SCOPED_TRACE(int(format));
        ScriptedDialogs dialogs;
        const QString out = home.file(format == ExportFormat::Dxl ? QStringLiteral("w.dxl") : QStringLiteral("w.vcf"));
        dialogs.openFiles = {book};
        answerOutput(out, format);
        menu->mnuExportBook->trigger();

        ASSERT_EQ(dialogs.openFileRequests.size(), 1);
        EXPECT_EQ(dialogs.openFileRequests[0].owner, &window);
        EXPECT_EQ(dialogs.openFileRequests[0].filterOrTitle, QStringLiteral("Address books (*.nsf)|*.nsf"));
        EXPECT_EQ(outputOwner, &window);
        EXPECT_EQ(suggested, home.file(QStringLiteral("book.dxl")));
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Information);
        EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Export Complete"));
        EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("4 documents exported to %1.").arg(out));

        // The same bytes as the command line's export.
        const QString cli = home.file(QStringLiteral("cli.out"));
        BookExportOptions o;
        o.book = book;
        o.out = cli;
        o.format = format;
        o.force = true;
        ExportBook(o);
        EXPECT_EQ(readAll(out), readAll(cli));
        if (format == ExportFormat::Dxl)
            expectValidDxl(out);
    }
}

TEST_F(ExportWindow, ProgressShowsForALongBookAndStopLeavesNothing)
{
    for (int i = 0; i < 400; ++i) {
        PersonFields f;
        f.elotus_LastName = QStringLiteral("Person %1").arg(i);
        addPerson(f);
    }
    FinishDocumentWrites();
    ScriptedDialogs dialogs;
    const QString out = home.file(QStringLiteral("stopped.dxl"));
    ASSERT_TRUE(writeAll(out, "the previous export"));
    dialogs.openFiles = {book};
    answerOutput(out, ExportFormat::Dxl);
    menu->exportBook.progressDelayMs = 0;
    bool progressSeen = false;
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* progress = qobject_cast<QProgressDialog*>(w); progress && progress->isVisible()) {
                progressSeen = true;
                EXPECT_EQ(progress->windowTitle(), QStringLiteral("Export Address Book"));
                progress->findChild<QAbstractButton*>()->click();
            }
        }
    });
    stopper.start(0);
    menu->mnuExportBook->trigger();
    stopper.stop();

    EXPECT_TRUE(progressSeen);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Export Stopped"));
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("The export was stopped. Nothing was written."));
    EXPECT_EQ(readAll(out), QByteArray("the previous export"));
    EXPECT_EQ(strayFiles(), QStringList{QStringLiteral("stopped.dxl")});
}

TEST_F(ExportWindow, CancelledDialogsDoNothingAndFailuresAreTold)
{
    ScriptedDialogs dialogs;
    // No book chosen: the output is not even asked for.
    bool outputAsked = false;
    menu->exportBook.chooseOutput = [&](QWidget*, const QString&, ExportFormat*) {
        outputAsked = true;
        return QString();
    };
    menu->mnuExportBook->trigger();
    EXPECT_FALSE(outputAsked);
    // A book but no output file.
    dialogs.openFiles = {book};
    menu->mnuExportBook->trigger();
    EXPECT_TRUE(outputAsked);
    EXPECT_TRUE(dialogs.messages.isEmpty());

    // A file that is no address book of ours.
    const QString text = home.file(QStringLiteral("notes.txt"));
    ASSERT_TRUE(writeAll(text, "not an address book\n"));
    dialogs.openFiles = {text};
    answerOutput(home.file(QStringLiteral("x.vcf")), ExportFormat::VCard);
    menu->mnuExportBook->trigger();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Critical);
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Export Failed"));
    EXPECT_TRUE(dialogs.messages[0].text.contains(QLatin1String("not an address book")))
        << qPrintable(dialogs.messages[0].text);
    EXPECT_FALSE(QFileInfo::exists(home.file(QStringLiteral("x.vcf"))));
}
