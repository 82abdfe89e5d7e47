#pragma once
// A file written whole or not at all: the bytes go to an unnamed file in the
// target's folder (O_TMPFILE), which is given the target's name only by
// commit(). A write that fails, is interrupted or is killed leaves nothing
// behind. Where the file system has no unnamed files, a hidden temporary file
// beside the target stands in, removed again unless committed.

#include <QByteArray>
#include <QString>

#include <stdexcept>

class OutputFileError : public std::runtime_error {
public:
    enum Kind {
        CannotCreate,  // the folder takes no new file; nothing was done
        Failed,  // writing or naming failed on the way; nothing left behind
        NameTaken,  // commit without replacing: a file of that name appeared meanwhile
    };
    OutputFileError(Kind kind, const QString& message);
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

class OutputFile {
public:
    // Throws OutputFileError (CannotCreate).
    explicit OutputFile(const QString& target);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Throws OutputFileError (Failed).
    void write(const QByteArray& bytes);

    // Makes the file durable and gives it the target's name: replacing what
    // is there only when `replace`. Throws OutputFileError.
    void commit(bool replace);

private:
    void linkTo(const QByteArray& name);
    void rename(const QByteArray& from, const QByteArray& to, bool replace);
    [[noreturn]] void failNaming(int err);
    QByteArray hiddenName() const;
    void syncFolder();

    QString target_;
    QByteArray path_;  // the named temporary file, when there is one
    int fd_ = -1;
    qint64 written_ = 0;
    qint64 handedToDisk_ = 0;  // bytes whose writing to the disk was started
};
