#include "common/runtimeerror.h"
#include "system/posixprocessrunner.h"
#include "api/processes.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kKeptErrorBytes = 4096;

class PosixChild final : public IChildProcess
{
public:
    PosixChild(pid_t pid, int errorPipe, std::shared_ptr<std::set<pid_t>> running)
        : m_pid(pid)
        , m_errorPipe(errorPipe)
        , m_running(std::move(running))
    {
        m_running->insert(pid);
    }

    ~PosixChild() override
    {
        // A child still running is left to run; one that has ended is reaped.
        if (m_exitCode == kStillActive)
            ExitCode();
        if (m_errorPipe >= 0)
            ::close(m_errorPipe);
    }

    int ExitCode() override
    {
        if (m_exitCode != kStillActive)
            return m_exitCode;
        // The pipe is emptied on every poll, so a talkative child never blocks on it.
        Drain();
        int status = 0;
        pid_t r;
        do {
            r = ::waitpid(m_pid, &status, WNOHANG);
        } while (r < 0 && errno == EINTR);
        if (r == m_pid) {
            m_running->erase(m_pid);
            if (WIFEXITED(status))
                m_exitCode = WEXITSTATUS(status);
            else if (WIFSIGNALED(status))
                m_exitCode = 128 + WTERMSIG(status);
            Drain();
        } else if (r < 0) {
            m_running->erase(m_pid);
            m_exitCode = 0; // nothing left to ask: treat as ended
        }
        return m_exitCode;
    }

    QString ErrorOutput() override
    {
        Drain();
        return QString::fromLocal8Bit(m_error);
    }

    void Stop() override
    {
        if (ExitCode() != kStillActive)
            return;
        ::kill(m_pid, SIGKILL);
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_running->erase(m_pid);
        m_exitCode = 128 + SIGKILL;
        Drain();
    }

private:
    void Drain()
    {
        if (m_errorPipe < 0)
            return;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(m_errorPipe, buffer, sizeof buffer);
            if (n > 0) {
                m_error.append(buffer, n);
                if (m_error.size() > kKeptErrorBytes)
                    m_error.remove(0, m_error.size() - kKeptErrorBytes);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0) { // the child and everything it started closed their end
                ::close(m_errorPipe);
                m_errorPipe = -1;
            }
            return;
        }
    }

    pid_t m_pid;
    int m_errorPipe;
    std::shared_ptr<std::set<pid_t>> m_running;
    int m_exitCode = kStillActive;
    QByteArray m_error;
};

} // namespace

PosixProcessRunner::PosixProcessRunner(QString batchInterpreter)
    : m_batchInterpreter(std::move(batchInterpreter))
{
}

std::unique_ptr<IChildProcess> PosixProcessRunner::Run(const QString &commandLine, int /*windowStyle*/)
{
    QStringList arguments = QProcess::splitCommand(commandLine);
    if (arguments.isEmpty())
        throw RuntimeError(u"File not found"_s, ENOENT);
    if (arguments.first().endsWith(u".bat"_s, Qt::CaseInsensitive)) {
        const QString batchFile = arguments.first();
        arguments = {m_batchInterpreter, u"/c"_s, batchFile};
    }
    // Never looked up in PATH: a program named by anything but its absolute path (an empty
    // encoder path, a word that slipped into its place) could be one that someone planted
    // in the current folder or in an empty entry of PATH.
    if (!arguments.first().startsWith(u'/'))
        throw RuntimeError(u"A program is started by its absolute path only, and this is none: "_s
                               + arguments.first(),
                           ENOENT);

    QList<QByteArray> native;
    for (const QString &argument : std::as_const(arguments))
        native.append(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &a : native)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0)
        throw RuntimeError(QString::fromLocal8Bit(std::strerror(errno)), errno);
    ::fcntl(errorPipe[0], F_SETFL, O_NONBLOCK);

    // No window and no console: the child reads nothing, its output goes nowhere and its
    // error output comes back to us.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errorPipe[1], STDERR_FILENO);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(errorPipe[1]);
    if (error != 0) {
        ::close(errorPipe[0]);
        throw RuntimeError(QString::fromLocal8Bit(std::strerror(error)) + u": "_s + arguments.first(), error);
    }
    return std::make_unique<PosixChild>(pid, errorPipe[0], m_running);
}

void PosixProcessRunner::StopAll()
{
    for (const pid_t pid : *m_running)
        ::kill(pid, SIGTERM);
    // A second to end and clean up after themselves (the batch interpreter removes its
    // temporary file), then they are killed.
    for (int waited = 0; waited < 100 && !m_running->empty(); ++waited) {
        for (auto it = m_running->begin(); it != m_running->end();) {
            const pid_t r = ::waitpid(*it, nullptr, WNOHANG);
            it = r == *it || (r < 0 && errno == ECHILD) ? m_running->erase(it) : std::next(it);
        }
        if (!m_running->empty())
            ::usleep(10000);
    }
    for (const pid_t pid : *m_running) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    m_running->clear();
}
