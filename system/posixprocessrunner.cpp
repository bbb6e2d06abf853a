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
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kKeptErrorBytes = 4096;

class PosixChild final : public IChildProcess
{
public:
    PosixChild(pid_t guard, pid_t group, int errorPipe, std::shared_ptr<std::map<pid_t, pid_t>> running)
        : m_pid(guard)
        , m_group(group)
        , m_errorPipe(errorPipe)
        , m_running(std::move(running))
    {
        m_running->emplace(guard, group);
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
        struct rusage usage {};
        pid_t r;
        do {
            r = ::wait4(m_pid, &status, WNOHANG, &usage);
        } while (r < 0 && errno == EINTR);
        if (r == m_pid) {
            m_running->erase(m_pid);
            m_peakMemory = qint64(usage.ru_maxrss) * 1024;
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

    qint64 PeakMemory() override { return m_peakMemory; }

    void Stop() override
    {
        if (ExitCode() != kStillActive)
            return;
        ::kill(-m_group, SIGKILL);
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

    pid_t m_pid; // the guard's
    pid_t m_group;
    int m_errorPipe;
    std::shared_ptr<std::map<pid_t, pid_t>> m_running;
    int m_exitCode = kStillActive;
    qint64 m_peakMemory = 0;
    QByteArray m_error;
};

// Writes errno, negated, where the parent reads why the child could not start, and ends.
[[noreturn]] void ReportAndExit(int report)
{
    const int failure = -errno;
    [[maybe_unused]] const ssize_t written = ::write(report, &failure, sizeof failure);
    ::_exit(127);
}

// The child's first process runs no program itself: it starts the program as the leader
// of a process group of its own, tells the parent the group (or why the program could not
// start), reaps what of the group is left to it, and ends with the program's exit code
// (128 + the signal that ended it). On SIGTERM (StopAll, or the end of the process that
// started it) it stops the whole group: SIGTERM, and SIGKILL when the group has not ended
// a second later. Async-signal-safe calls only.
[[noreturn]] void Guard(char *const argv[], int programDescriptor, int report)
{
    int started[2];
    if (::pipe2(started, O_CLOEXEC) != 0)
        ReportAndExit(report);
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    const pid_t guard = ::getpid();
    const pid_t program = ::_Fork();
    if (program < 0)
        ReportAndExit(report);
    if (program == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != guard)
            ::_exit(127);
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
        ReportAndExit(started[1]);
    }
    ::close(started[1]);
    int answer = program;
    ssize_t n;
    do {
        n = ::read(started[0], &answer, sizeof answer);
    } while (n < 0 && errno == EINTR);
    [[maybe_unused]] const ssize_t written = ::write(report, &answer, sizeof answer);
    ::close(report);
    if (answer < 0) {
        while (::waitpid(program, nullptr, 0) < 0 && errno == EINTR) {
        }
        ::_exit(127);
    }

    sigset_t watched;
    sigemptyset(&watched);
    sigaddset(&watched, SIGCHLD);
    sigaddset(&watched, SIGTERM);
    ::signal(SIGCHLD, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    int code = -1; // the program's, once it has ended
    bool stopping = false;
    bool killed = false;
    timespec deadline{};
    for (;;) {
        int status = 0;
        pid_t r;
        while ((r = ::waitpid(-1, &status, WNOHANG)) > 0) {
            if (r == program)
                code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        const bool none = r < 0 && errno == ECHILD;
        if (code >= 0 && (!stopping || killed || none))
            ::_exit(code);
        if (none)
            ::_exit(127);
        if (!stopping) {
            if (::sigwaitinfo(&watched, nullptr) == SIGTERM) {
                stopping = true;
                ::clock_gettime(CLOCK_MONOTONIC, &deadline);
                ++deadline.tv_sec;
                ::kill(-program, SIGTERM);
            }
            continue;
        }
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        timespec left{deadline.tv_sec - now.tv_sec, deadline.tv_nsec - now.tv_nsec};
        if (left.tv_nsec < 0) {
            left.tv_nsec += 1000000000;
            --left.tv_sec;
        }
        if (!killed && (left.tv_sec < 0 || (::sigtimedwait(&watched, nullptr, &left) < 0 && errno == EAGAIN))) {
            ::kill(-program, SIGKILL);
            killed = true;
        } else if (killed) {
            ::sigwaitinfo(&watched, nullptr);
        }
    }
}

// The words of a child's command as the system takes them, each as its bytes; throws when
// one holds a NUL (the program would see only what comes before it: another file, another
// option).
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

struct Started
{
    pid_t guard = -1;
    pid_t group = -1;
    int error = 0;
};

// Starts the child under its guard: from the open program when programDescriptor is one,
// else from argv[0]; with at most memoryLimit bytes of data for the program and each
// process it starts, when memoryLimit is not 0.
Started Spawn(char *const argv[], int programDescriptor, int errorOutput, qint64 memoryLimit)
{
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return {-1, -1, errno};
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
        const int input = ::open("/dev/null", O_RDONLY);
        const int output = ::open("/dev/null", O_WRONLY);
        if (input < 0 || output < 0 || ::dup2(input, STDIN_FILENO) < 0 || ::dup2(output, STDOUT_FILENO) < 0
            || ::dup2(errorOutput, STDERR_FILENO) < 0)
            ReportAndExit(report[1]);
        if (memoryLimit > 0) {
            const rlimit limit{static_cast<rlim_t>(memoryLimit), static_cast<rlim_t>(memoryLimit)};
            if (::setrlimit(RLIMIT_DATA, &limit) != 0)
                ReportAndExit(report[1]);
        }
        Guard(argv, programDescriptor, report[1]);
    }
    const int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        return {-1, -1, forkError};
    }
    int answer = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &answer, sizeof answer);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (n == sizeof answer && answer > 0)
        return {pid, answer, 0};
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return {-1, -1, n == sizeof answer ? -answer : ECHILD};
}

} // namespace

PosixProcessRunner::PosixProcessRunner(QString batchInterpreter)
    : m_batchInterpreter(std::move(batchInterpreter))
{
}

std::unique_ptr<IChildProcess> PosixProcessRunner::Run(const QString &commandLine)
{
    return Start(commandLine, -1, 0);
}

std::unique_ptr<IChildProcess> PosixProcessRunner::RunWithMemoryLimit(const QString &commandLine, qint64 memoryLimit)
{
    return Start(commandLine, -1, memoryLimit);
}

std::unique_ptr<IChildProcess> PosixProcessRunner::RunOpened(const FileSystem::File &program,
                                                             const QString &commandLine)
{
    if (!program.IsOpen())
        throw RuntimeError(u"The program to start is not open: "_s + commandLine, EBADF);
    return Start(commandLine, program.Descriptor(), 0);
}

std::unique_ptr<IChildProcess> PosixProcessRunner::Start(const QString &commandLine, int programDescriptor,
                                                         qint64 memoryLimit)
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

    std::vector<QByteArray> native = NativeArguments(arguments);
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
    const Started started = Spawn(argv.data(), programDescriptor, errorPipe[1], memoryLimit);
    ::close(errorPipe[1]);
    if (started.guard < 0) {
        ::close(errorPipe[0]);
        throw RuntimeError(QString::fromLocal8Bit(std::strerror(started.error)) + u": "_s + arguments.first(),
                           started.error);
    }
    return std::make_unique<PosixChild>(started.guard, started.group, errorPipe[0], m_running);
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
    std::vector<QByteArray> native = NativeArguments(QStringList{QCoreApplication::applicationFilePath()} + arguments);
    std::vector<char *> argv;
    for (QByteArray &a : native)
        argv.push_back(a.data());
    argv.push_back(nullptr);
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
    // Its input and output are the pipes; its errors go where ours go. It ends with its
    // input, and sees to its own end with ours.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toWorker[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromWorker[1], STDOUT_FILENO);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toWorker[0]);
    ::close(fromWorker[1]);
    if (error != 0) {
        ::close(toWorker[1]);
        ::close(fromWorker[0]);
        throw RuntimeError(u"No worker process can be started: "_s + QString::fromLocal8Bit(std::strerror(error)), error);
    }
    ::fcntl(fromWorker[0], F_SETFL, O_NONBLOCK);
    return std::make_unique<PosixWorker>(pid, toWorker[1], fromWorker[0]);
}

void PosixProcessRunner::StopAll()
{
    // Each guard stops its group: a second to end and clean up after themselves (the batch
    // interpreter removes its temporary file), then they are killed; the guards that are
    // still there after that are killed with their groups.
    for (const auto &[guard, group] : *m_running)
        ::kill(guard, SIGTERM);
    for (int waited = 0; waited < 150 && !m_running->empty(); ++waited) {
        for (auto it = m_running->begin(); it != m_running->end();) {
            const pid_t r = ::waitpid(it->first, nullptr, WNOHANG);
            it = r == it->first || (r < 0 && errno == ECHILD) ? m_running->erase(it) : std::next(it);
        }
        if (!m_running->empty())
            ::usleep(10000);
    }
    for (const auto &[guard, group] : *m_running) {
        ::kill(-group, SIGKILL);
        ::kill(guard, SIGKILL);
        ::waitpid(guard, nullptr, 0);
    }
    m_running->clear();
}
