#include "common/runtimeerror.h"
#include "platform/processes.h"

#include <QFile>
#include <QProcess>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace Qt::StringLiterals;

namespace {

class PosixChild final : public IChildProcess
{
public:
    explicit PosixChild(pid_t pid)
        : m_pid(pid)
    {
    }

    ~PosixChild() override
    {
        // A child still running is left to run; one that has ended is reaped.
        if (m_exitCode == kStillActive)
            ExitCode();
    }

    int ExitCode() override
    {
        if (m_exitCode != kStillActive)
            return m_exitCode;
        int status = 0;
        pid_t r;
        do {
            r = ::waitpid(m_pid, &status, WNOHANG);
        } while (r < 0 && errno == EINTR);
        if (r == m_pid) {
            if (WIFEXITED(status))
                m_exitCode = WEXITSTATUS(status);
            else if (WIFSIGNALED(status))
                m_exitCode = 128 + WTERMSIG(status);
        } else if (r < 0) {
            m_exitCode = 0; // nothing left to ask: treat as ended
        }
        return m_exitCode;
    }

private:
    pid_t m_pid;
    int m_exitCode = kStillActive;
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

    QList<QByteArray> native;
    for (const QString &argument : std::as_const(arguments))
        native.append(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &a : native)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // No window and no console: the child reads nothing and its output goes nowhere.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const bool searchPath = !native.first().contains('/');
    const int error = searchPath ? posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ)
                                 : posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw RuntimeError(QString::fromLocal8Bit(std::strerror(error)) + u": "_s + arguments.first(), error);
    return std::make_unique<PosixChild>(pid);
}
