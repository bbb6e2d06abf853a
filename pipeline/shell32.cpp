#include "pipeline/shell32.h"

#include "common/eventloop.h"
#include "common/runtimeerror.h"
#include "api/processes.h"

using namespace Qt::StringLiterals;

namespace {

int SettleWindowStyle(std::optional<int> style)
{
    return style && *style >= 0 && *style <= 6 ? *style : 6;
}

// Starts the command; null with the failure's result (and why) when it cannot start.
std::unique_ptr<IChildProcess> Start(IProcessRunner &processes, const QString &commandLine,
                                     std::optional<int> windowStyle, qint32 *failure, QString *errorOutput,
                                     const FileSystem::File *program = nullptr)
{
    try {
        if (program)
            return processes.RunOpened(*program, commandLine, SettleWindowStyle(windowStyle));
        return processes.Run(commandLine, SettleWindowStyle(windowStyle));
    } catch (const RuntimeError &e) {
        *failure = kStartFailureBase + e.number();
        if (errorOutput)
            *errorOutput = e.description();
        return nullptr;
    }
}

} // namespace

qint32 ShellAndWait(IProcessRunner &processes, IEventLoop &events, const QString &commandLine,
                    std::optional<int> windowStyle, const std::function<void()> &onPoll, QString *errorOutput,
                    const FileSystem::File *program)
{
    qint32 failure = 0;
    const std::unique_ptr<IChildProcess> child =
        Start(processes, commandLine, windowStyle, &failure, errorOutput, program);
    if (!child)
        return failure;
    int exitCode = kStillActive;
    do {
        exitCode = child->ExitCode();
        events.Yield();
        events.Sleep(100);
        if (onPoll)
            onPoll();
    } while (exitCode == kStillActive);
    if (errorOutput)
        *errorOutput = child->ErrorOutput();
    return exitCode;
}

qint32 ShellAndWaitProgress(IProcessRunner &processes, IEventLoop &events, const QString &commandLine,
                            std::optional<int> windowStyle, IWaitProgress *progress, QString *errorOutput)
{
    qint32 failure = 0;
    const std::unique_ptr<IChildProcess> child = Start(processes, commandLine, windowStyle, &failure, errorOutput);
    if (!child)
        return failure;
    qint32 polls = 0;
    int exitCode = kStillActive;
    do {
        exitCode = child->ExitCode();
        events.Yield();
        events.Sleep(100);
        if (progress) {
            events.Yield();
            ++polls;
            if (polls >= 50) {
                events.Yield();
                progress->Polled(polls);
                events.Yield();
            }
            events.Yield();
        }
        events.Yield();
    } while (exitCode == kStillActive);
    if (progress)
        progress->Ended();
    if (errorOutput)
        *errorOutput = child->ErrorOutput();
    return exitCode;
}
