#include "pipeline/shell32.h"

#include "api/processes.h"
#include "common/eventloop.h"
#include "common/runtimeerror.h"

Started StartChild(IProcessRunner &processes, const QString &commandLine, const FileSystem::File *program)
{
    try {
        return {program ? processes.RunOpened(*program, commandLine) : processes.Run(commandLine), {}};
    } catch (const RuntimeError &e) {
        return {nullptr, {e.number() != 0 ? e.number() : -1, 0, e.description()}};
    }
}

ChildEnd EndOf(IChildProcess &child, int exitCode)
{
    return {0, exitCode, child.ErrorOutput()};
}

ChildEnd ShellAndWait(IEventLoop &events, Started started, const std::function<void(qint32 polls)> &onPoll)
{
    if (!started.child)
        return started.failure;
    qint32 polls = 0;
    int exitCode = kStillActive;
    do {
        exitCode = started.child->ExitCode();
        events.Yield();
        events.Sleep(100);
        if (onPoll)
            onPoll(++polls);
    } while (exitCode == kStillActive);
    return EndOf(*started.child, exitCode);
}
