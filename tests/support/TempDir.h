#pragma once
// A temporary folder for one test, with XDG_DATA_HOME and XDG_CONFIG_HOME
// pointed inside it, so no test reads or writes the user's own files.

#include <QString>
#include <QTemporaryDir>

class TestHome {
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    QString path() const { return dir_.path(); }
    QString file(const QString& relative) const { return dir_.filePath(relative); }

private:
    QTemporaryDir dir_;
    QByteArray oldData_, oldConfig_;
    bool hadData_, hadConfig_;
};

// Reads a whole file; empty when it cannot be read.
QByteArray readAll(const QString& path);
// Writes a whole file, creating missing folders; false on failure.
bool writeAll(const QString& path, const QByteArray& bytes);
