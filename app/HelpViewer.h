#pragma once
// The program's own viewer for its compiled HTML help (Help.chm): the pages
// come out of the archive (see ChmArchive) and are shown in a text browser,
// with the archive's table of contents beside them.

#include "app/ChmArchive.h"

#include <QString>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>

#include <memory>

class QAction;
class QTreeWidget;
class QTreeWidgetItem;

// A text browser whose pages, pictures and style sheets come from a help
// archive. Pages are addressed as help:/path/in/archive.html.
class HelpBrowser : public QTextBrowser {
    Q_OBJECT
public:
    HelpBrowser(const ChmArchive& archive, QWidget* parent = nullptr);

    static QUrl urlFor(const QString& archivePath);

    QVariant loadResource(int type, const QUrl& name) override;

protected:
    // Every page shown comes through here. A link to a page the archive does
    // not hold is not followed: the page shown stays as it is. Web and mail
    // addresses are handed to the desktop; no other address is opened.
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;

private:
    QUrl resolved(const QUrl& name) const;

    const ChmArchive& archive_;
};

// The help window: contents on the left, the page on the right, and Back,
// Forward and Home above. It is a window of its own, owned by the window
// that opened it, and deletes itself when closed.
class HelpViewer : public QWidget {
    Q_OBJECT
public:
    // Opens the help file `chmPath` in a viewer owned by `owner`, at `topic`
    // (a page of the archive, "sources.html") where given and held, else at
    // the default topic. When `owner` already has a viewer of that file, that
    // one turns to the page and is brought to the front. Returns null, and
    // shows nothing, when the file is missing, damaged or holds no page.
    static HelpViewer* showHelp(QWidget* owner, const QString& chmPath, const QString& topic = QString());

    QString filePath() const { return filePath_; }
    QUrl homeUrl() const { return homeUrl_; }
    HelpBrowser* browser() const { return browser_; }
    QTreeWidget* contents() const { return contents_; }

    void goHome();
    // Shows `topic` when the archive holds it, else the default topic.
    void showTopic(const QString& topic);

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
