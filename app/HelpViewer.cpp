#include "app/HelpViewer.h"

#include "app/Look.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QTextDocument>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kScheme = QStringLiteral("help");

QString decodeEntities(QString text)
{
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text.replace(QLatin1String("&#39;"), QLatin1String("'"));
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text;
}

// One entry of a table of contents, with its nesting depth.
struct ContentsEntry {
    int depth;
    QString name;
    QString local;
};

// Reads the sitemap of a .hhc file: nested <UL> lists of <OBJECT
// type="text/sitemap"> entries, each with a "Name" and a "Local" parameter.
QList<ContentsEntry> parseSitemap(const QString& html)
{
    static const QRegularExpression token(QStringLiteral("<\\s*(/?)\\s*(ul|object)\\b([^>]*)>"),
                                          QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression objectEnd(QStringLiteral("<\\s*/\\s*object\\s*>"),
                                              QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression param(
        QStringLiteral("<\\s*param\\s+name\\s*=\\s*\"([^\"]*)\"\\s+value\\s*=\\s*\"([^\"]*)\""),
        QRegularExpression::CaseInsensitiveOption);

    QList<ContentsEntry> entries;
    int depth = 0;
    qsizetype at = 0;
    for (;;) {
        const QRegularExpressionMatch m = token.match(html, at);
        if (!m.hasMatch())
            break;
        at = m.capturedEnd();
        const bool closing = !m.captured(1).isEmpty();
        const QString tag = m.captured(2).toLower();
        if (tag == QLatin1String("ul")) {
            depth = closing ? std::max(0, depth - 1) : depth + 1;
            continue;
        }
        if (closing || !m.captured(3).contains(QLatin1String("text/sitemap"), Qt::CaseInsensitive))
            continue;
        const QRegularExpressionMatch end = objectEnd.match(html, at);
        const qsizetype bodyEnd = end.hasMatch() ? end.capturedStart() : html.size();
        const QString body = html.mid(at, bodyEnd - at);
        at = end.hasMatch() ? end.capturedEnd() : html.size();
        ContentsEntry entry{std::max(0, depth - 1), QString(), QString()};
        for (auto it = param.globalMatch(body); it.hasNext();) {
            const QRegularExpressionMatch p = it.next();
            const QString key = p.captured(1).toLower();
            if (key == QLatin1String("name") && entry.name.isEmpty())
                entry.name = decodeEntities(p.captured(2));
            else if (key == QLatin1String("local") && entry.local.isEmpty())
                entry.local = decodeEntities(p.captured(2));
        }
        if (!entry.name.isEmpty())
            entries.append(entry);
    }
    return entries;
}

// The archive path and fragment of a contents target ("page.html#part").
QUrl targetUrl(const QString& local)
{
    const qsizetype hash = local.indexOf(u'#');
    QUrl url = HelpBrowser::urlFor(ChmArchive::archivePath(hash < 0 ? local : local.left(hash)));
    if (hash >= 0)
        url.setFragment(local.mid(hash + 1));
    return url;
}

QString pathOf(const QUrl& url)
{
    return ChmArchive::archivePath(url.path()).toLower();
}

}  // namespace

// ---------------------------------------------------------------------------

HelpBrowser::HelpBrowser(const ChmArchive& archive, QWidget* parent)
    : QTextBrowser(parent)
    , archive_(archive)
{
    // Every link comes to doSetSource. (Qt's own handling of external links
    // would take the help: pages for external ones and hand them to the
    // desktop instead of showing them.)
    setOpenLinks(true);
    setOpenExternalLinks(false);
}

QUrl HelpBrowser::urlFor(const QString& archivePath)
{
    QUrl url;
    url.setScheme(kScheme);
    url.setPath(archivePath);
    return url;
}

QUrl HelpBrowser::resolved(const QUrl& name) const
{
    if (!name.isRelative())
        return name;
    // Before the first page is shown, links resolve from the archive's top.
    const QUrl base = source().isEmpty() ? urlFor(QStringLiteral("/")) : source();
    return base.resolved(name);
}

QVariant HelpBrowser::loadResource(int, const QUrl& name)
{
    // Everything a page refers to comes from the archive; nothing outside it
    // is read.
    const QUrl url = resolved(name);
    if (url.scheme() != kScheme)
        return {};
    std::optional<QByteArray> data = archive_.read(url.path());
    if (!data)
        return {};
    return *data;
}

void HelpBrowser::doSetSource(const QUrl& name, QTextDocument::ResourceType type)
{
    const QUrl url = resolved(name);
    if (url.scheme() != kScheme) {
        // Web and mail addresses go to the desktop's browser and mail
        // program; nothing else outside the archive is opened.
        const QString scheme = url.scheme().toLower();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("mailto"))
            QDesktopServices::openUrl(url);
        return;
    }
    if (!archive_.contains(url.path()))
        return;
    QTextBrowser::doSetSource(url, type);
}

// ---------------------------------------------------------------------------

HelpViewer* HelpViewer::showHelp(QWidget* owner, const QString& chmPath, const QString& topic)
{
    const QString path = QFileInfo(chmPath).absoluteFilePath();
    if (owner) {
        for (HelpViewer* open : owner->findChildren<HelpViewer*>(Qt::FindDirectChildrenOnly)) {
            if (open->filePath() == path) {
                open->showTopic(topic);
                open->show();
                open->raise();
                open->activateWindow();
                return open;
            }
        }
    }

    std::unique_ptr<ChmArchive> archive = ChmArchive::open(path);
    if (!archive)
        return nullptr;

    // A page to start at must show something: in a damaged archive a page
    // can be present and still come out blank (its bytes shifted round, say).
    const auto showsText = [&archive](const QString& path) {
        const std::optional<QByteArray> data = archive->read(path);
        if (!data)
            return false;
        QTextDocument page;
        page.setHtml(QString::fromUtf8(*data));
        return page.characterCount() > 1;
    };

    // The default topic, else the first readable page of the contents, else
    // the first page stored.
    QString home;
    if (!archive->defaultTopic().isEmpty() && showsText(archive->defaultTopic()))
        home = archive->defaultTopic();
    if (home.isEmpty() && !archive->contentsFile().isEmpty()) {
        if (const auto hhc = archive->read(archive->contentsFile())) {
            for (const ContentsEntry& e : parseSitemap(QString::fromUtf8(*hhc))) {
                const QUrl target = targetUrl(e.local);
                if (!e.local.isEmpty() && showsText(target.path())) {
                    home = target.path();
                    break;
                }
            }
        }
    }
    if (home.isEmpty()) {
        const QString first = archive->firstPage();
        if (!first.isEmpty() && showsText(first))
            home = first;
    }
    if (home.isEmpty())
        return nullptr;

    auto* viewer = new HelpViewer(owner, path, std::move(archive), HelpBrowser::urlFor(home));
    if (!topic.isEmpty())
        viewer->showTopic(topic);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    return viewer;
}

HelpViewer::HelpViewer(QWidget* owner, QString chmPath, std::unique_ptr<ChmArchive> archive, QUrl home)
    : QWidget(owner, Qt::Window)
    , filePath_(std::move(chmPath))
    , archive_(std::move(archive))
    , homeUrl_(std::move(home))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(archive_->title().isEmpty() ? QStringLiteral("Help") : archive_->title());
    look::apply(this);

    auto* toolBar = new QToolBar(this);
    toolBar->setIconSize(QSize(16, 16));
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QAction* back = toolBar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("&Back"));
    QAction* forward = toolBar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("&Forward"));
    QAction* homeAction = toolBar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), QStringLiteral("&Home"));
    back->setShortcut(QKeySequence::Back);
    forward->setShortcut(QKeySequence::Forward);
    back->setEnabled(false);
    forward->setEnabled(false);

    contents_ = new QTreeWidget;
    contents_->setObjectName(QStringLiteral("HelpContents"));
    contents_->setHeaderLabel(QStringLiteral("Contents"));
    contents_->header()->setSectionResizeMode(QHeaderView::Stretch);
    browser_ = new HelpBrowser(*archive_);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(contents_);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 620});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar);
    layout->addWidget(splitter);

    connect(back, &QAction::triggered, browser_, &QTextBrowser::backward);
    connect(forward, &QAction::triggered, browser_, &QTextBrowser::forward);
    connect(homeAction, &QAction::triggered, this, &HelpViewer::goHome);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    connect(browser_, &QTextBrowser::sourceChanged, this, &HelpViewer::pageChanged);
    connect(contents_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item, QTreeWidgetItem*) { contentsItemActivated(item); });

    fillContents();
    resize(860, 600);
    if (owner) {
        const QRect area = owner->frameGeometry();
        move(area.center() - rect().center());
    }
    browser_->setSource(homeUrl_);
}

void HelpViewer::goHome()
{
    browser_->setSource(homeUrl_);
}

void HelpViewer::showTopic(const QString& topic)
{
    const QUrl url = topic.isEmpty() ? QUrl() : HelpBrowser::urlFor(ChmArchive::archivePath(topic));
    if (!url.isEmpty() && archive_->contains(url.path()))
        browser_->setSource(url);
    else
        goHome();
}

void HelpViewer::fillContents()
{
    QString file = archive_->contentsFile();
    std::optional<QByteArray> hhc = file.isEmpty() ? std::nullopt : archive_->read(file);
    if (!hhc)
        return;
    QList<QTreeWidgetItem*> parents;
    for (const ContentsEntry& e : parseSitemap(QString::fromUtf8(*hhc))) {
        const int depth = std::min<int>(e.depth, int(parents.size()));
        parents.resize(depth);
        auto* item = depth == 0 ? new QTreeWidgetItem(contents_) : new QTreeWidgetItem(parents.last());
        item->setText(0, e.name);
        if (!e.local.isEmpty())
            item->setData(0, Qt::UserRole, targetUrl(e.local));
        parents.append(item);
    }
    contents_->expandAll();
}

void HelpViewer::contentsItemActivated(QTreeWidgetItem* item)
{
    if (!item)
        return;
    const QUrl target = item->data(0, Qt::UserRole).toUrl();
    if (target.isValid() && !target.isEmpty() && target != browser_->source())
        browser_->setSource(target);
}

void HelpViewer::pageChanged(const QUrl& url)
{
    // Show where the reader is in the contents, without navigating again.
    const QString page = pathOf(url);
    // Two entries may lead to the same page; the one chosen stays marked.
    QTreeWidgetItem* current = contents_->currentItem();
    if (current && pathOf(current->data(0, Qt::UserRole).toUrl()) == page)
        return;
    QTreeWidgetItem* match = nullptr;
    for (QTreeWidgetItemIterator it(contents_); *it && !match; ++it) {
        const QUrl target = (*it)->data(0, Qt::UserRole).toUrl();
        if (!target.isEmpty() && pathOf(target) == page)
            match = *it;
    }
    const QSignalBlocker block(contents_);
    contents_->setCurrentItem(match);
}
