// The help archive reader and the help viewer, on the program's own
// Help.chm and on damaged copies of it.

#include "app/ChmArchive.h"
#include "app/HelpViewer.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTreeWidget>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <sys/wait.h>

namespace {

const QString kBuiltHelp = QStringLiteral(PELLARO_BIN_DIR "/Help.chm");
const QString kHelpSources = QStringLiteral(PELLARO_SOURCE_DIR "/app/help");

QUrl page(const char* path)
{
    return HelpBrowser::urlFor(QString::fromLatin1(path));
}

// Clicks the link whose text is `text` on the page shown, as a reader would.
bool clickLink(HelpBrowser* browser, const QString& text, QString* href = nullptr)
{
    const QTextCursor found = browser->document()->find(text);
    if (found.isNull())
        return false;
    QTextCursor at(browser->document());
    at.setPosition((found.selectionStart() + found.selectionEnd()) / 2);
    if (!at.charFormat().isAnchor())
        return false;
    if (href)
        *href = at.charFormat().anchorHref();
    browser->setTextCursor(at);
    browser->ensureCursorVisible();
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, browser->cursorRect(at).center());
    return true;
}

bool anyMessageBox()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(w) && w->isVisible())
            return true;
    return false;
}

// The stored size of the LZX window and the reset interval, in units of
// 32 KiB, follow the "LZXC" signature of the compression control data.
QByteArray withLzxWindow(QByteArray chm, quint32 resetInterval, quint32 windowSize)
{
    const qsizetype at = chm.indexOf("LZXC");
    if (at < 0)
        return {};
    std::memcpy(chm.data() + at + 8, &resetInterval, 4);
    std::memcpy(chm.data() + at + 12, &windowSize, 4);
    return chm;
}

}  // namespace

class HelpViewerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void archiveHoldsEveryFileOfTheHelpAsCompiled();
    void archivePathsAreNormalised();
    void limitsLeaveOutLargeFilesAndRefuseLargeArchives();
    void somethingElseThanAFileIsNotOpened();
    void viewerOpensAtTheDefaultTopicWithItsContents();
    void linksBetweenTopicsAreFollowed();
    void picturesAndStyleAreLoadedFromTheArchive();
    void linksToMissingPagesAreNotFollowed();
    void contentsEntriesOpenTheirPages();
    void damagedArchivesGiveNoCrashAndNoMessage();
    void archiveThatCrashesChmlibCountsAsUnreadable();
    void renderViewer();

private:
    QByteArray help_;
};

void HelpViewerTest::initTestCase()
{
    help_ = readAll(kBuiltHelp);
    QVERIFY2(help_.startsWith("ITSF"), qPrintable(kBuiltHelp));
}

void HelpViewerTest::archiveHoldsEveryFileOfTheHelpAsCompiled()
{
    const auto archive = ChmArchive::open(kBuiltHelp);
    QVERIFY(archive);
    QCOMPARE(archive->defaultTopic(), QStringLiteral("/index.html"));
    QCOMPARE(archive->contentsFile(), QStringLiteral("/contents.hhc"));
    QCOMPARE(archive->title(), QStringLiteral("Pellaro Help"));
    QCOMPARE(archive->firstPage(), QStringLiteral("/commandline.html"));

    // Every file the project lists is in it, byte for byte.
    const QString project = QString::fromUtf8(readAll(kHelpSources + QStringLiteral("/pellaro.hhp")));
    const QString files = project.mid(project.indexOf(QLatin1String("[FILES]")) + 7);
    int listed = 0;
    for (const QString& line : files.split(u'\n')) {
        const QString name = line.trimmed();
        if (name.isEmpty() || name.startsWith(u'['))
            continue;
        ++listed;
        const std::optional<QByteArray> data = archive->read(name);
        QVERIFY2(data, qPrintable(name));
        QCOMPARE(*data, readAll(kHelpSources + u'/' + name));
    }
    QVERIFY(listed >= 9);
    QVERIFY(archive->paths().contains(QStringLiteral("/#SYSTEM")));
    QVERIFY(archive->paths().contains(QStringLiteral("/contents.hhc")));
    // Names compare as the archive format does, without regard to case.
    QCOMPARE(archive->read(QStringLiteral("/IMAGES/Workflow.PNG")),
             archive->read(QStringLiteral("images/workflow.png")));
    QVERIFY(!archive->read(QStringLiteral("/missing.html")));
    QVERIFY(!archive->contains(QStringLiteral("/images")));
}

void HelpViewerTest::archivePathsAreNormalised()
{
    QCOMPARE(ChmArchive::archivePath(QStringLiteral("page.html")), QStringLiteral("/page.html"));
    QCOMPARE(ChmArchive::archivePath(QStringLiteral("/page.html")), QStringLiteral("/page.html"));
    QCOMPARE(ChmArchive::archivePath(QStringLiteral("ms-its:Help.chm::/page.html")), QStringLiteral("/page.html"));
    QCOMPARE(ChmArchive::archivePath(QStringLiteral("images\\a.png")), QStringLiteral("/images/a.png"));
    QCOMPARE(ChmArchive::archivePath(QStringLiteral("a/../../b.html")), QStringLiteral("/b.html"));
}

void HelpViewerTest::limitsLeaveOutLargeFilesAndRefuseLargeArchives()
{
    ChmArchive::Limits small;
    small.maxFileSize = 10000;  // the picture is about 22 kB, the pages less
    const auto withoutPicture = ChmArchive::open(kBuiltHelp, small);
    QVERIFY(withoutPicture);
    QVERIFY(!withoutPicture->read(QStringLiteral("/images/workflow.png")));
    QVERIFY(withoutPicture->read(QStringLiteral("/index.html")));

    ChmArchive::Limits tiny;
    tiny.maxTotalSize = 5000;
    QVERIFY(!ChmArchive::open(kBuiltHelp, tiny));
    ChmArchive::Limits few;
    few.maxFiles = 3;
    QVERIFY(!ChmArchive::open(kBuiltHelp, few));

    // Out of time: the reader is stopped, and no process of it is left over.
    ChmArchive::Limits noTime;
    noTime.timeoutMs = 0;
    QVERIFY(!ChmArchive::open(kBuiltHelp, noTime));
    errno = 0;
    QCOMPARE(waitpid(-1, nullptr, WNOHANG), pid_t(-1));
    QCOMPARE(errno, ECHILD);
}

void HelpViewerTest::somethingElseThanAFileIsNotOpened()
{
    // A named pipe would block whoever opens it for reading.
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("Help.chm")));
    QCOMPARE(mkfifo(fifo.constData(), 0600), 0);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!ChmArchive::open(QFile::decodeName(fifo)));
    QWidget owner;
    QVERIFY(!HelpViewer::showHelp(&owner, QFile::decodeName(fifo)));
    QVERIFY(clock.elapsed() < 2000);
    QVERIFY(!ChmArchive::open(dir.path()));
    QVERIFY(!ChmArchive::open(dir.filePath(QStringLiteral("absent.chm"))));
    QVERIFY(!ChmArchive::open(QStringLiteral("/dev/zero")));
}

void HelpViewerTest::viewerOpensAtTheDefaultTopicWithItsContents()
{
    QWidget owner;
    owner.show();
    HelpViewer* viewer = HelpViewer::showHelp(&owner, kBuiltHelp);
    QVERIFY(viewer);
    QVERIFY(viewer->isVisible());
    QCOMPARE(viewer->homeUrl(), page("/index.html"));
    QCOMPARE(viewer->browser()->source(), page("/index.html"));
    QVERIFY(viewer->browser()->toPlainText().contains(QLatin1String("Pellaro copies the contacts")));

    QStringList titles;
    for (QTreeWidgetItemIterator it(viewer->contents()); *it; ++it)
        titles << (*it)->text(0);
    // These entries in this order; pages added later may come between them.
    const QStringList expected{
        QStringLiteral("Welcome to Pellaro"),        QStringLiteral("Converting contacts"),
        QStringLiteral("Choosing the source"),       QStringLiteral("Choosing the folders"),
        QStringLiteral("Choosing the destination"),  QStringLiteral("Messages"),
        QStringLiteral("Where your files are"),      QStringLiteral("The command line: pellaro-cli"),
        QStringLiteral("Menus and the About window")};
    qsizetype at = 0;
    for (const QString& title : expected) {
        at = titles.indexOf(title, at);
        QVERIFY2(at >= 0, qPrintable(title + QStringLiteral(" in ") + titles.join(u'|')));
    }
    QCOMPARE(titles.first(), expected.first());
    QCOMPARE(viewer->contents()->topLevelItem(1)->text(0), QStringLiteral("Converting contacts"));
    QVERIFY(viewer->contents()->topLevelItem(1)->childCount() >= 3);
    QCOMPARE(viewer->contents()->currentItem()->text(0), QStringLiteral("Welcome to Pellaro"));
}

void HelpViewerTest::linksBetweenTopicsAreFollowed()
{
    QWidget owner;
    HelpViewer* viewer = HelpViewer::showHelp(&owner, kBuiltHelp);
    QVERIFY(viewer);
    QVERIFY(QTest::qWaitForWindowExposed(viewer));
    HelpBrowser* b = viewer->browser();

    QString href;
    QVERIFY(clickLink(b, QStringLiteral("Choose the destination"), &href));
    QCOMPARE(href, QStringLiteral("destinations.html"));
    QTRY_COMPARE(b->source(), page("/destinations.html"));
    QCOMPARE(b->documentTitle(), QStringLiteral("Choosing the destination"));
    QCOMPARE(viewer->contents()->currentItem()->text(0), QStringLiteral("Choosing the destination"));

    // A link to a named place on another page.
    QVERIFY(clickLink(b, QStringLiteral("Where your files are"), &href));
    QCOMPARE(href, QStringLiteral("files.html#data"));
    QTRY_COMPARE(b->source().path(), QStringLiteral("/files.html"));
    QCOMPARE(b->source().fragment(), QStringLiteral("data"));
    QTRY_VERIFY(b->verticalScrollBar()->value() > 0);  // scrolled down to it

    // Back returns, Home goes to the default topic.
    b->backward();
    QCOMPARE(b->source(), page("/destinations.html"));
    viewer->goHome();
    QCOMPARE(b->source(), page("/index.html"));
    delete viewer;
}

void HelpViewerTest::picturesAndStyleAreLoadedFromTheArchive()
{
    QWidget owner;
    HelpViewer* viewer = HelpViewer::showHelp(&owner, kBuiltHelp);
    QVERIFY(viewer);
    viewer->show();
    QVERIFY(QTest::qWaitForWindowExposed(viewer));
    QTextDocument* doc = viewer->browser()->document();

    // The page's picture, laid out at its own size.
    QString imageName;
    for (QTextBlock block = doc->begin(); block.isValid() && imageName.isEmpty(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                imageName = it.fragment().charFormat().toImageFormat().name();
    QCOMPARE(imageName, QStringLiteral("images/workflow.png"));
    const QVariant image = doc->resource(QTextDocument::ImageResource, QUrl(imageName));
    QImage loaded;
    QVERIFY(loaded.loadFromData(image.toByteArray()) || !(loaded = image.value<QImage>()).isNull());
    const QImage expected(kHelpSources + QStringLiteral("/images/workflow.png"));
    QVERIFY(!expected.isNull());
    QCOMPARE(loaded.size(), expected.size());
    QVERIFY(doc->size().width() >= expected.width());

    // The style sheet of the pages applies: headings in the help's blue.
    const QTextCursor heading = doc->find(QStringLiteral("Welcome to Pellaro"));
    QVERIFY(!heading.isNull());
    QCOMPARE(heading.charFormat().foreground().color(), QColor(0x1f, 0x4e, 0x8c));
    delete viewer;
}

void HelpViewerTest::linksToMissingPagesAreNotFollowed()
{
    QWidget owner;
    HelpViewer* viewer = HelpViewer::showHelp(&owner, kBuiltHelp);
    QVERIFY(viewer);
    HelpBrowser* b = viewer->browser();
    const QString before = b->toHtml();
    b->setSource(QUrl(QStringLiteral("no-such-page.html")));
    QCOMPARE(b->source(), page("/index.html"));
    QCOMPARE(b->toHtml(), before);
    // Nothing outside the archive is read either.
    QVERIFY(!b->loadResource(QTextDocument::HtmlResource, QUrl::fromLocalFile(kBuiltHelp)).isValid());
    QVERIFY(!b->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("../../etc/passwd"))).isValid());
    QVERIFY(b->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("images/workflow.png"))).isValid());
    delete viewer;
}

void HelpViewerTest::contentsEntriesOpenTheirPages()
{
    QWidget owner;
    HelpViewer* viewer = HelpViewer::showHelp(&owner, kBuiltHelp);
    QVERIFY(viewer);
    const QList<QTreeWidgetItem*> found
        = viewer->contents()->findItems(QStringLiteral("Messages"), Qt::MatchExactly | Qt::MatchRecursive);
    QCOMPARE(found.size(), 1);
    QTreeWidgetItem* messages = found[0];
    viewer->contents()->setCurrentItem(messages);
    QCOMPARE(viewer->browser()->source(), page("/messages.html"));
    QCOMPARE(viewer->browser()->documentTitle(), QStringLiteral("Messages"));

    // "Converting contacts" and "Choosing the source" lead to the same page;
    // the entry chosen is the one that stays marked.
    QTreeWidgetItem* source = viewer->contents()->topLevelItem(1)->child(0);
    QCOMPARE(source->text(0), QStringLiteral("Choosing the source"));
    viewer->contents()->setCurrentItem(source);
    QCOMPARE(viewer->browser()->source(), page("/sources.html"));
    QCOMPARE(viewer->contents()->currentItem(), source);
    viewer->browser()->backward();
    QCOMPARE(viewer->contents()->currentItem(), messages);
    delete viewer;
}

void HelpViewerTest::damagedArchivesGiveNoCrashAndNoMessage()
{
    QTemporaryDir dir;
    QList<std::pair<QString, QByteArray>> damaged{{QStringLiteral("empty"), QByteArray()},
                                                  {QStringLiteral("signature only"), QByteArray("ITSF")}};
    QRandomGenerator random(20261207);
    QByteArray noise(8192, Qt::Uninitialized);
    for (char& c : noise)
        c = char(random.bounded(256));
    damaged.append({QStringLiteral("random bytes"), noise});
    damaged.append({QStringLiteral("random bytes behind the signature"), "ITSF" + noise});
    damaged.append({QStringLiteral("header of the help, then random bytes"), help_.left(0x60) + noise});
    for (qsizetype length : {qsizetype(0x58), qsizetype(0x60), qsizetype(600), qsizetype(4096), help_.size() / 4,
                             help_.size() / 2, help_.size() - 1})
        damaged.append({QStringLiteral("cut at %1").arg(length), help_.left(length)});
    {
        // Directory offsets and lengths far beyond the file.
        QByteArray far = help_;
        const quint64 huge = Q_UINT64_C(0x7fffffff00000000);
        std::memcpy(far.data() + 0x48, &huge, 8);
        damaged.append({QStringLiteral("directory beyond the end"), far});
        QByteArray longDir = help_;
        std::memcpy(longDir.data() + 0x50, &huge, 8);
        damaged.append({QStringLiteral("directory too long"), longDir});
    }
    for (int i = 0; i < 24; ++i) {
        QByteArray flipped = help_;
        for (int k = 0; k < 6; ++k)
            flipped[random.bounded(int(flipped.size()))] = char(random.bounded(256));
        damaged.append({QStringLiteral("bytes changed %1").arg(i), flipped});
    }

    QWidget owner;
    owner.show();
    for (const auto& [what, bytes] : damaged) {
        const QString path = dir.filePath(QStringLiteral("Help.chm"));
        QVERIFY(writeAll(path, bytes));
        QElapsedTimer clock;
        clock.start();
        HelpViewer* viewer = HelpViewer::showHelp(&owner, path);
        QVERIFY2(clock.elapsed() < 8000, qPrintable(what));
        QVERIFY2(!anyMessageBox(), qPrintable(what));
        if (viewer) {
            // Whatever could still be read is shown, starting at a real page.
            QVERIFY2(viewer->browser()->document()->characterCount() > 1, qPrintable(what));
            delete viewer;
        }
        QVERIFY(QFile::remove(path));
    }
    // The parts that are plainly broken are refused.
    for (int i = 0; i < 6; ++i) {
        QVERIFY(writeAll(dir.filePath(QStringLiteral("x.chm")), damaged[i].second));
        QVERIFY2(!ChmArchive::open(dir.filePath(QStringLiteral("x.chm"))), qPrintable(damaged[i].first));
    }
}

void HelpViewerTest::archiveThatCrashesChmlibCountsAsUnreadable()
{
    // A window of 2^22 bytes, with a reset interval that passes chmlib's own
    // check: chmlib cannot set up its decompressor for it and crashes on the
    // first compressed page.
    const QByteArray crafted = withLzxWindow(help_, 0x40, 0x80);
    QVERIFY(!crafted.isEmpty());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Help.chm"));
    QVERIFY(writeAll(path, crafted));
    QVERIFY(!ChmArchive::open(path));
    QWidget owner;
    QVERIFY(!HelpViewer::showHelp(&owner, path));
    QVERIFY(!anyMessageBox());
    QVERIFY(owner.findChildren<HelpViewer*>().isEmpty());

    // The same archive with the window it was made with reads well.
    QVERIFY(writeAll(path, withLzxWindow(help_, 2, 2)));
    QVERIFY(ChmArchive::open(path));
}

void HelpViewerTest::renderViewer()
{
    // Pictures for a person to look at, in the build tree.
    const QDir out(QCoreApplication::applicationDirPath());
    QWidget owner;
    HelpViewer* viewer = HelpViewer::showHelp(&owner, kBuiltHelp);
    QVERIFY(viewer);
    QVERIFY(QTest::qWaitForWindowExposed(viewer));
    QVERIFY(viewer->grab().save(out.filePath(QStringLiteral("help-viewer.png"))));
    viewer->browser()->setSource(page("/messages.html"));
    QVERIFY(viewer->grab().save(out.filePath(QStringLiteral("help-messages.png"))));
    viewer->browser()->setSource(page("/commandline.html"));
    QVERIFY(viewer->grab().save(out.filePath(QStringLiteral("help-commandline.png"))));
    delete viewer;
}

QTEST_MAIN(HelpViewerTest)
#include "HelpViewerTest.moc"
