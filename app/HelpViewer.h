#pragma once
// The program's own viewer for its compiled HTML help (Help.chm): the pages
// are read straight out of the archive with chmlib and shown in a text
// browser, with the archive's table of contents beside them.

#include <QByteArray>
#include <QString>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>

#include <memory>
#include <optional>

struct chmFile;
class QAction;
class QTreeWidget;
class QTreeWidgetItem;

// Read-only access to the files inside a compiled HTML help archive.
class ChmArchive {
public:
    ~ChmArchive();
    ChmArchive(const ChmArchive&) = delete;
    ChmArchive& operator=(const ChmArchive&) = delete;

    // Opens the archive at `path`; null when the file is missing or is not a
    // readable help archive.
    static std::unique_ptr<ChmArchive> open(const QString& path);

    // The file at `path` inside the archive ("/index.html"); nothing when it
    // is absent, unreasonably large or cannot be read completely.
    std::optional<QByteArray> read(const QString& path) const;

    // Values from the archive's #SYSTEM file; empty when not recorded.
    // Paths are archive paths beginning with "/".
    QString defaultTopic() const { return defaultTopic_; }
    QString title() const { return title_; }
    QString contentsFile() const { return contentsFile_; }

    // The first page (.htm or .html) stored in the archive, for archives that
    // name no default topic and have no usable contents.
    QString firstPage() const;

    // Normalises a link target inside the archive: "page.html",
    // "ms-its:Help.chm::/page.html" and "/page.html" all give "/page.html".
    static QString archivePath(const QString& target);

private:
    explicit ChmArchive(chmFile* handle);
    void readSystemFile();

    chmFile* handle_;
    QString defaultTopic_;
    QString title_;
    QString contentsFile_;
};

// A text browser whose pages, pictures and style sheets come from a help
// archive. Pages are addressed as help:/path/in/archive.html.
class HelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    HelpBrowser(const ChmArchive& archive, QWidget* parent = nullptr);

    static QUrl urlFor(const QString& archivePath);

    QVariant loadResource(int type, const QUrl& name) override;

private:
    const ChmArchive& archive_;
};

// The help window: contents on the left, the page on the right, and Back,
// Forward and Home above. It is a window of its own, owned by the window
// that opened it, and deletes itself when closed.
class HelpViewer : public QWidget {
    Q_OBJECT
public:
    // Opens the help file `chmPath` at its default topic in a viewer owned by
    // `owner`. When `owner` already has a viewer of that file, that one shows
    // the default topic again and is brought to the front. Returns null, and
    // shows nothing, when the file is missing, damaged or holds no page.
    static HelpViewer* showHelp(QWidget* owner, const QString& chmPath);

    QString filePath() const { return filePath_; }
    QUrl homeUrl() const { return homeUrl_; }
    HelpBrowser* browser() const { return browser_; }
    QTreeWidget* contents() const { return contents_; }

    void goHome();

private:
    HelpViewer(QWidget* owner, QString chmPath, std::unique_ptr<ChmArchive> archive, QUrl home);
    void fillContents();
    void contentsItemActivated(QTreeWidgetItem* item);
    void pageChanged(const QUrl& url);

    QString filePath_;
    std::unique_ptr<ChmArchive> archive_;
    QUrl homeUrl_;
    HelpBrowser* browser_ = nullptr;
    QTreeWidget* contents_ = nullptr;
};
