#pragma once
// Read-only access to the files inside a compiled HTML help archive (.chm).
//
// chmlib is not safe on damaged archives: some make it crash or run away.
// So the archive is never parsed in this process. A child process opens it
// with chmlib and sends every file over a pipe; this process keeps them in
// memory. A child that crashes, fails, takes too long or sends more than the
// limits allow makes the archive count as unreadable.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class ChmArchive {
public:
    // Bounds on what an archive may hold and on how long reading it may take.
    // The program's own help is a few hundred kilobytes; an archive beyond
    // these is not a help file this program can use.
    struct Limits {
        qint64 maxFileSize = 16 * 1024 * 1024;  // larger files are left out
        qint64 maxTotalSize = 64 * 1024 * 1024;  // more in all: unreadable
        int maxFiles = 4096;  // more files: unreadable
        int timeoutMs = 5000;  // slower: unreadable
    };

    // Reads the archive at `path`; null when the file is missing, is not a
    // readable help archive or goes beyond `limits`.
    static std::unique_ptr<ChmArchive> open(const QString& path, const Limits& limits);
    static std::unique_ptr<ChmArchive> open(const QString& path) { return open(path, Limits{}); }

    // The file at `path` inside the archive ("/index.html"; names compare
    // without regard to case); nothing when it is absent or was left out.
    std::optional<QByteArray> read(const QString& path) const;
    bool contains(const QString& path) const;

    // Every file read, as archive paths beginning with "/", sorted.
    QStringList paths() const;

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
    ChmArchive() = default;
    void readSystemFile();

    struct Entry {
        QString path;
        QByteArray data;
    };
    QHash<QString, Entry> files_;  // by lower-case archive path
    QString defaultTopic_;
    QString title_;
    QString contentsFile_;
};
