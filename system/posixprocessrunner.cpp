#include "common/runtimeerror.h"
#include "system/posixprocessrunner.h"
#include "api/processes.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <cerrno>
#include <vector>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
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

// The words of a child's command as the system takes them, each as its bytes; throws when
// one holds a NUL (the program would see only what comes before it).
std::vector<QByteArray> NativeArguments(const QStringList &arguments)
{
    std::vector<QByteArray> native;
    for (const QString &argument : arguments) {
        if (argument.contains(QChar(0)))
            throw RuntimeError(u"An argument holds a NUL character: "_s + QString(argument).replace(QChar(0), u"\\0"_s),
                               EINVAL);
        native.push_back(FileSystem::NativeName(argument));
    }
    return native;
}

// Starts the child: from the open program when programDescriptor is one, else from
// argv[0], with its standard input, output and error on these descriptors (-1: /dev/null
// for input and output, ours for error). Answers its pid, or -1 with the errno value of
// what stopped it.
pid_t Spawn(const std::vector<QByteArray> &arguments, int programDescriptor, int inputFd, int outputFd,
            int errorOutput, int *error)
{
    std::vector<QByteArray> held = arguments;
    std::vector<char *> argvList;
    for (QByteArray &a : held)
        argvList.push_back(a.data());
    argvList.push_back(nullptr);
    char *const *argv = argvList.data();
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        *error = errno;
        return -1;
    }
    // No handler of ours may run in the child before it is replaced.
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &before);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The child: async-signal-safe calls only, until the program replaces it.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        for (int signal = 1; signal < NSIG; ++signal) {
            struct sigaction action {};
            if (signal == SIGKILL || signal == SIGSTOP || ::sigaction(signal, nullptr, &action) != 0)
                continue;
            if (action.sa_handler != SIG_DFL && (action.sa_handler != SIG_IGN || signal == SIGPIPE)) {
                action.sa_handler = SIG_DFL;
                action.sa_flags = 0;
                ::sigaction(signal, &action, nullptr);
            }
        }
        const int input = inputFd >= 0 ? inputFd : ::open("/dev/null", O_RDONLY);
        const int output = outputFd >= 0 ? outputFd : ::open("/dev/null", O_WRONLY);
        if (input < 0 || output < 0 || ::dup2(input, STDIN_FILENO) < 0 || ::dup2(output, STDOUT_FILENO) < 0
            || (errorOutput >= 0 && ::dup2(errorOutput, STDERR_FILENO) < 0)) {
            const int failure = errno;
            [[maybe_unused]] const ssize_t written = ::write(report[1], &failure, sizeof failure);
            ::_exit(127);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (programDescriptor >= 0) {
            // Kept open across the start, so that a program with an interpreter line finds it too.
            ::fcntl(programDescriptor, F_SETFD, 0);
            ::fexecve(programDescriptor, argv, environ);
        } else {
            ::execve(argv[0], argv, environ);
        }
        const int failure = errno;
        [[maybe_unused]] const ssize_t written = ::write(report[1], &failure, sizeof failure);
        ::_exit(127);
    }
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        *error = forkError;
        return -1;
    }
    int failure = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &failure, sizeof failure);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (n == sizeof failure) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        *error = failure;
        return -1;
    }
    return pid;
}

} // namespace

PosixProcessRunner::PosixProcessRunner(QString batchInterpreter)
    : m_batchInterpreter(std::move(batchInterpreter))
{
}

std::unique_ptr<IChildProcess> PosixProcessRunner::Run(const QString &commandLine)
{
    return Start(commandLine, -1);
}

std::unique_ptr<IChildProcess> PosixProcessRunner::RunOpened(const FileSystem::File &program,
                                                             const QString &commandLine)
{
    if (!program.IsOpen())
        throw RuntimeError(u"The program to start is not open: "_s + commandLine, EBADF);
    return Start(commandLine, program.Descriptor());
}

std::unique_ptr<IChildProcess> PosixProcessRunner::Start(const QString &commandLine, int programDescriptor)
{
    QStringList arguments = QProcess::splitCommand(commandLine);
    if (arguments.isEmpty())
        throw RuntimeError(u"File not found"_s, ENOENT);
    if (programDescriptor < 0 && arguments.first().endsWith(u".bat"_s, Qt::CaseInsensitive)) {
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

    const std::vector<QByteArray> native = NativeArguments(arguments);

    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0)
        throw RuntimeError(QString::fromLocal8Bit(std::strerror(errno)), errno);
    ::fcntl(errorPipe[0], F_SETFL, O_NONBLOCK);

    // No window and no console: the child reads nothing, its output goes nowhere and its
    // error output comes back to us.
    int error = 0;
    const pid_t pid = Spawn(native, programDescriptor, -1, -1, errorPipe[1], &error);
    ::close(errorPipe[1]);
    if (pid < 0) {
        ::close(errorPipe[0]);
        throw RuntimeError(QString::fromLocal8Bit(std::strerror(error)) + u": "_s + arguments.first(), error);
    }
    return std::make_unique<PosixChild>(pid, errorPipe[0], m_running);
}

namespace {

class PosixWorker final : public IWorkerProcess
{
public:
    PosixWorker(pid_t pid, int input, int output)
        : m_pid(pid)
        , m_input(input)
        , m_output(output)
    {
    }

    ~PosixWorker() override
    {
        // The end of its input ends it; it is waited for.
        CloseAll();
        if (m_pid > 0)
            Reap(0);
    }

    int AnswerDescriptor() const override { return m_output; }

    bool Send(const QByteArray &line) override
    {
        qsizetype sent = 0;
        while (m_input >= 0 && sent < line.size()) {
            const ssize_t n = ::write(m_input, line.constData() + sent, static_cast<size_t>(line.size() - sent));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false; // the worker is gone: its end is seen on its output
            sent += n;
        }
        return m_input >= 0;
    }

    QList<QByteArray> Answers(bool *ended) override
    {
        *ended = false;
        char buffer[4096];
        while (m_output >= 0) {
            const ssize_t n = ::read(m_output, buffer, sizeof buffer);
            if (n > 0) {
                m_pending.append(buffer, n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0) {
                *ended = true;
                CloseAll();
                Reap(0);
            }
            break;
        }
        // A long answer (the headings of a long document) comes in many reads: each byte
        // is looked at once.
        QList<QByteArray> lines;
        for (qsizetype end; (end = m_pending.indexOf('\n', m_scanned)) >= 0;) {
            lines.append(m_pending.left(end));
            m_pending.remove(0, end + 1);
            m_scanned = 0;
        }
        m_scanned = m_pending.size();
        if (m_output < 0)
            *ended = true;
        return lines;
    }

    void Kill() override
    {
        if (m_pid > 0)
            ::kill(m_pid, SIGKILL);
        CloseAll();
        Reap(0);
    }

    QString HowItEnded() override
    {
        if (m_pid > 0)
            return QString();
        return WIFSIGNALED(m_status) ? u"signal "_s + QString::number(WTERMSIG(m_status))
                                     : u"exit code "_s + QString::number(WEXITSTATUS(m_status));
    }

private:
    void CloseAll()
    {
        for (int *fd : {&m_input, &m_output}) {
            if (*fd >= 0)
                ::close(std::exchange(*fd, -1));
        }
    }

    void Reap(int flags)
    {
        if (m_pid <= 0)
            return;
        pid_t r;
        do {
            r = ::waitpid(m_pid, &m_status, flags);
        } while (r < 0 && errno == EINTR);
        if (r == m_pid || r < 0)
            m_pid = -1;
    }

    pid_t m_pid;
    int m_input;
    int m_output;
    int m_status = 0;
    QByteArray m_pending;
    qsizetype m_scanned = 0; // of m_pending, known to hold no line feed
};

} // namespace

std::unique_ptr<IWorkerProcess> PosixProcessRunner::StartWorker(const QStringList &arguments)
{
    const std::vector<QByteArray> native =
        NativeArguments(QStringList{QCoreApplication::applicationFilePath()} + arguments);
    int toWorker[2];
    int fromWorker[2];
    if (::pipe2(toWorker, O_CLOEXEC) != 0)
        throw RuntimeError(QString::fromLocal8Bit(std::strerror(errno)), errno);
    if (::pipe2(fromWorker, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(toWorker[0]);
        ::close(toWorker[1]);
        throw RuntimeError(QString::fromLocal8Bit(std::strerror(error)), error);
    }
    int error = 0;
    const pid_t pid = Spawn(native, -1, toWorker[0], fromWorker[1], -1, &error);
    ::close(toWorker[0]);
    ::close(fromWorker[1]);
    if (pid < 0) {
        ::close(toWorker[1]);
        ::close(fromWorker[0]);
        throw RuntimeError(u"No worker process can be started: "_s + QString::fromLocal8Bit(std::strerror(error)), error);
    }
    ::fcntl(fromWorker[0], F_SETFL, O_NONBLOCK);
    return std::make_unique<PosixWorker>(pid, toWorker[1], fromWorker[0]);
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
