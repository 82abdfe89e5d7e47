#include "app/HelpViewer.h"

#include <chm_lib.h>

#include <QAction>
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

// No page, picture or table of contents of a help file comes anywhere near
// this; a larger size recorded in the archive means the archive is damaged.
constexpr LONGUINT64 kMaxObjectSize = 32 * 1024 * 1024;

const QString kScheme = QStringLiteral("help");

// Codes of the #SYSTEM records used here.
enum : quint16 { SystemContentsFile = 0, SystemDefaultTopic = 2, SystemTitle = 3 };

quint16 readLe16(const QByteArray& data, qsizetype at)
{
    return quint16(quint8(data[at])) | quint16(quint16(quint8(data[at + 1])) << 8);
}

// A zero-terminated text inside a #SYSTEM record.
QString recordText(const QByteArray& record)
{
    const qsizetype end = record.indexOf('\0');
    return QString::fromUtf8(end < 0 ? record : record.left(end)).trimmed();
}

bool isPage(const QString& path)
{
    return path.endsWith(QLatin1String(".html"), Qt::CaseInsensitive)
        || path.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive);
}

int collectPath(chmFile*, chmUnitInfo* ui, void* context)
{
    static_cast<QStringList*>(context)->append(QString::fromUtf8(ui->path));
    return CHM_ENUMERATOR_CONTINUE;
}

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
    static const QRegularExpression token(
        QStringLiteral("<\\s*(/?)\\s*(ul|object)\\b([^>]*)>"), QRegularExpression::CaseInsensitiveOption);
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

} // namespace

// ---------------------------------------------------------------------------

ChmArchive::ChmArchive(chmFile* handle)
    : handle_(handle)
{
}

ChmArchive::~ChmArchive()
{
    chm_close(handle_);
}

std::unique_ptr<ChmArchive> ChmArchive::open(const QString& path)
{
    // Only hand chmlib a regular file that at least starts like an archive.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly) || file.read(4) != "ITSF")
        return nullptr;
    file.close();
    chmFile* handle = chm_open(QFile::encodeName(path).constData());
    if (!handle)
        return nullptr;
    std::unique_ptr<ChmArchive> archive(new ChmArchive(handle));
    archive->readSystemFile();
    return archive;
}

std::optional<QByteArray> ChmArchive::read(const QString& path) const
{
    const QByteArray name = archivePath(path).toUtf8();
    chmUnitInfo ui{};
    if (chm_resolve_object(handle_, name.constData(), &ui) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    if (ui.length > kMaxObjectSize)
        return std::nullopt;
    QByteArray data(qsizetype(ui.length), Qt::Uninitialized);
    if (ui.length == 0)
        return data;
    const LONGINT64 got = chm_retrieve_object(handle_, &ui, reinterpret_cast<unsigned char*>(data.data()), 0,
                                              LONGINT64(ui.length));
    if (got != LONGINT64(ui.length))
        return std::nullopt;
    return data;
}

void ChmArchive::readSystemFile()
{
    // #SYSTEM: a 4-byte version, then records of a 16-bit code, a 16-bit
    // length and that many bytes of data.
    const std::optional<QByteArray> system = read(QStringLiteral("/#SYSTEM"));
    if (!system)
        return;
    const QByteArray& data = *system;
    qsizetype at = 4;
    while (at + 4 <= data.size()) {
        const quint16 code = readLe16(data, at);
        const quint16 length = readLe16(data, at + 2);
        at += 4;
        if (at + length > data.size())
            break;
        const QString text = recordText(data.mid(at, length));
        at += length;
        switch (code) {
        case SystemContentsFile: contentsFile_ = text.isEmpty() ? QString() : archivePath(text); break;
        case SystemDefaultTopic: defaultTopic_ = text.isEmpty() ? QString() : archivePath(text); break;
        case SystemTitle: title_ = text; break;
        default: break;
        }
    }
}

QString ChmArchive::firstPage() const
{
    QStringList paths;
    chm_enumerate(handle_, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, collectPath, &paths);
    paths.removeIf([](const QString& p) { return !isPage(p); });
    std::sort(paths.begin(), paths.end());
    return paths.isEmpty() ? QString() : paths.first();
}

QString ChmArchive::archivePath(const QString& target)
{
    QString path = target;
    const qsizetype separator = path.indexOf(QLatin1String("::"));
    if (separator >= 0)
        path = path.mid(separator + 2);
    path.replace(u'\\', u'/');
    if (!path.startsWith(u'/'))
        path.prepend(u'/');
    return QDir::cleanPath(path);
}

// ---------------------------------------------------------------------------

HelpBrowser::HelpBrowser(const ChmArchive& archive, QWidget* parent)
    : QTextBrowser(parent)
    , archive_(archive)
{
    setOpenExternalLinks(true);
}

QUrl HelpBrowser::urlFor(const QString& archivePath)
{
    QUrl url;
    url.setScheme(kScheme);
    url.setPath(archivePath);
    return url;
}

QVariant HelpBrowser::loadResource(int, const QUrl& name)
{
    // Everything a page refers to comes from the archive; nothing outside it
    // is read.
    const QUrl url = name.isRelative() ? source().resolved(name) : name;
    if (url.scheme() != kScheme)
        return {};
    std::optional<QByteArray> data = archive_.read(url.path());
    if (!data)
        return {};
    return *data;
}

// ---------------------------------------------------------------------------

HelpViewer* HelpViewer::showHelp(QWidget* owner, const QString& chmPath)
{
    const QString path = QFileInfo(chmPath).absoluteFilePath();
    if (owner) {
        for (HelpViewer* open : owner->findChildren<HelpViewer*>(Qt::FindDirectChildrenOnly)) {
            if (open->filePath() == path) {
                open->goHome();
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

    // The default topic, else the first readable page of the contents, else
    // the first page stored.
    QString home;
    if (!archive->defaultTopic().isEmpty() && archive->read(archive->defaultTopic()))
        home = archive->defaultTopic();
    if (home.isEmpty() && !archive->contentsFile().isEmpty()) {
        if (const auto hhc = archive->read(archive->contentsFile())) {
            for (const ContentsEntry& e : parseSitemap(QString::fromUtf8(*hhc))) {
                const QUrl target = targetUrl(e.local);
                if (!e.local.isEmpty() && archive->read(target.path())) {
                    home = target.path();
                    break;
                }
            }
        }
    }
    if (home.isEmpty()) {
        const QString first = archive->firstPage();
        if (!first.isEmpty() && archive->read(first))
            home = first;
    }
    if (home.isEmpty())
        return nullptr;

    auto* viewer = new HelpViewer(owner, path, std::move(archive), HelpBrowser::urlFor(home));
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

    auto* toolBar = new QToolBar(this);
    toolBar->setIconSize(QSize(16, 16));
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QAction* back = toolBar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("&Back"));
    QAction* forward =
        toolBar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("&Forward"));
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
    QTreeWidgetItem* match = nullptr;
    for (QTreeWidgetItemIterator it(contents_); *it && !match; ++it) {
        const QUrl target = (*it)->data(0, Qt::UserRole).toUrl();
        if (!target.isEmpty() && pathOf(target) == page)
            match = *it;
    }
    const QSignalBlocker block(contents_);
    contents_->setCurrentItem(match);
}
