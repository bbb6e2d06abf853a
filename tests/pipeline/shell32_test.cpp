#include "pipeline/shell32.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(ShellAndWait, PollsEvery100MsTellsOfEveryPollAndHandsBackHowTheChildEnded)
{
    FakeServices fakes;
    QTemporaryDir dir;
    const QString program = dir.filePath(u"prog"_s);
    WriteBytes(program, "x");
    QList<qint32> polls;
    auto wait = [&](const QString &command) {
        return ShellAndWait(fakes.events, StartChild(fakes.processes, command), [&](qint32 poll) { polls.append(poll); });
    };

    fakes.processes.pollsToFinish = 3;
    fakes.processes.exitCode = 4;
    EXPECT_EQ(wait(program).exitCode, 4);
    EXPECT_EQ(fakes.events.sleptMs, 300);
    EXPECT_EQ(polls, (QList<qint32>{1, 2, 3}));

    fakes.processes.pollsToFinish = 0; // ends at once: still one poll
    wait(program);
    EXPECT_EQ(fakes.events.sleptMs, 400);

    fakes.processes.errorOutput = u"Could not find \"x.wav\".\n"_s;
    fakes.processes.fails = [](const QString &) { return true; };
    const ChildEnd failed = wait(program);
    EXPECT_TRUE(failed.Started());
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.errorOutput, u"Could not find \"x.wav\".\n"_s);

    // A command that cannot start ends at once, with the errno and why, without waiting.
    fakes.events.sleptMs = 0;
    const ChildEnd missing = wait(dir.filePath(u"missing"_s));
    EXPECT_FALSE(missing.Started());
    EXPECT_EQ(missing.startError, 2);
    EXPECT_EQ(missing.errorOutput, u"No such file or directory"_s);
    EXPECT_EQ(fakes.events.sleptMs, 0);
}
