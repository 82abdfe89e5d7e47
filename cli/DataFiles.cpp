#include "cli/DataFiles.h"

#include "common/cause/Cause.h"

#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace cli {

namespace {

// A password file larger than this is not one.
constexpr qint64 PasswordFileLimit = 1 << 20;
// Tries at the terminal before a wrong password is the end.
constexpr int TerminalTries = 3;

// The terminal's settings while echo is off, put back by a signal that ends
// the program at the prompt.
struct termios g_echoing;
volatile std::sig_atomic_t g_quiet = 0;
constexpr int PromptSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

extern "C" void restoreEchoAndRaise(int sig)
{
    if (g_quiet)
        ::tcsetattr(STDIN_FILENO, TCSANOW, &g_echoing);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// Echo off for the life of the object, back on however it ends.
class QuietTerminal {
public:
    QuietTerminal()
    {
        if (::tcgetattr(STDIN_FILENO, &g_echoing) != 0)
            return;
        struct sigaction on = {};
        on.sa_handler = restoreEchoAndRaise;
        sigemptyset(&on.sa_mask);
        for (std::size_t i = 0; i < std::size(PromptSignals); ++i)
            ::sigaction(PromptSignals[i], &on, &previous_[i]);
        installed_ = true;
        struct termios quiet = g_echoing;
        quiet.c_lflag &= tcflag_t(~ECHO);
        quiet.c_lflag |= ECHONL;  // the line end still shows: the next output starts on a line of its own
        g_quiet = 1;
        ok_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~QuietTerminal()
    {
        if (g_quiet)
            ::tcsetattr(STDIN_FILENO, TCSANOW, &g_echoing);
        g_quiet = 0;
        if (!installed_)
            return;
        for (std::size_t i = 0; i < std::size(PromptSignals); ++i)
            ::sigaction(PromptSignals[i], &previous_[i], nullptr);
    }
    QuietTerminal(const QuietTerminal&) = delete;
    QuietTerminal& operator=(const QuietTerminal&) = delete;

    bool ok() const { return ok_; }

private:
    struct sigaction previous_[std::size(PromptSignals)] = {};
    bool installed_ = false;
    bool ok_ = false;
};

}  // namespace

bool ReadPasswordFile(const QString& path, QStringList& passwords, QString& problem)
{
    // A pipe will do (a shell's <(...)); a folder will not.
    if (QFileInfo(path).isDir()) {
        problem = QStringLiteral("%1: is a folder, not a password file").arg(path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("%1: cannot read the password file (%2)").arg(path, file.errorString());
        return false;
    }
    QByteArray bytes;
    while (bytes.size() <= PasswordFileLimit) {
        const QByteArray piece = file.read(64 * 1024);
        if (piece.isEmpty())
            break;
        bytes += piece;
    }
    if (bytes.size() > PasswordFileLimit) {
        problem = QStringLiteral("%1: too large for a password file").arg(path);
        return false;
    }
    // A file saved by a Windows editor may begin with a byte-order mark; it
    // is no part of the first password.
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            passwords.append(QString::fromUtf8(line));
    }
    bytes.fill('\0');
    return true;
}

std::optional<QString> AskTerminalPassword(const QString& prompt)
{
    if (::isatty(STDIN_FILENO) != 1)
        return std::nullopt;
    // Echo off before the prompt shows: nothing typed after it is echoed.
    QuietTerminal quiet;
    if (!quiet.ok())
        return std::nullopt;
    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    std::string typed;
    bool ended = false;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ended = typed.empty();
            break;
        }
        if (c == '\n')
            break;
        if (typed.size() < 4096)
            typed.push_back(c);
    }
    if (ended)
        return std::nullopt;
    if (!typed.empty() && typed.back() == '\r')
        typed.pop_back();
    QString password = QString::fromLocal8Bit(typed.data(), qsizetype(typed.size()));
    std::memset(typed.data(), 0, typed.size());
    return password;
}

bool UseCodepage(const QString& text, QString& problem)
{
    try {
        outlook::SetUserCodepage(outlook::ParseCodepage(text));
        return true;
    } catch (const outlook::OutlookError& e) {
        problem = QString::fromUtf8(e.what());
        return false;
    }
}

bool IsPasswordProblem(const outlook::OutlookError& error)
{
    return error.cause() == Cause::Protected || error.cause() == Cause::WrongPassword;
}

DataFileOpener::DataFileOpener(QString passwordFile, QStringList passwords)
    : passwordFile_(std::move(passwordFile))
    , passwords_(std::move(passwords))
{
}

outlook::RDOStore DataFileOpener::Open(const QString& path)
{
    for (const QString& password : passwords_)
        outlook::RememberPassword(path, password);
    int tries = 0;
    for (;;) {
        try {
            const outlook::RDOStore store = outlook::RDOSession::OpenPstFile(path);
            store.IPMRootFolder();
            return store;
        } catch (const outlook::OutlookError& e) {
            if (!IsPasswordProblem(e) || !passwordFile_.isEmpty() || tries == TerminalTries)
                throw;
            const QString prompt = (tries > 0 ? QStringLiteral("Wrong password. ") : QString())
                + QStringLiteral("Password for %1: ").arg(path);
            const std::optional<QString> typed = AskTerminalPassword(prompt);
            if (!typed || typed->isEmpty())
                throw;
            ++tries;
            passwords_.append(*typed);
            outlook::RememberPassword(path, *typed);
        }
    }
}

QString DataFileOpener::PasswordProblem(const QString& path, const outlook::OutlookError& error) const
{
    if (error.cause() == Cause::WrongPassword) {
        if (!passwordFile_.isEmpty())
            return QStringLiteral("%1: wrong password (none of the passwords in %2 opens it)").arg(path, passwordFile_);
        return QStringLiteral("%1: wrong password").arg(path);
    }
    return QStringLiteral("%1: password protected, and no password was given (--password-file FILE)").arg(path);
}

}  // namespace cli
