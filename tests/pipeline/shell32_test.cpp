#include "pipeline/shell32.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class ShellTest : public ::testing::Test, protected FakeServices
{
protected:
    ShellTest()
    {
        program = dir.filePath(u"prog"_s);
        WriteBytes(program, "x");
    }

    qint32 Wait(const QString &command, std::optional<int> style = std::nullopt, QString *errorOutput = nullptr)
    {
        return ShellAndWait(processes, events, command, style, [this] { ++polls; }, errorOutput);
    }

    // Counts what a long wait tells its progress.
    struct Counting final : IWaitProgress
    {
        void Polled(qint32 poll) override { told.append(poll); }
        void Ended() override { ended = true; }
        QList<qint32> told;
        bool ended = false;
    };

    QTemporaryDir dir;
    QString program;
    int polls = 0;
};

} // namespace

TEST_F(ShellTest, ShellAndWaitPollsEvery100MsAndTellsOfEveryPoll)
{
    processes.pollsToFinish = 3;
    processes.exitCode = 4;
    EXPECT_EQ(Wait(program), 4);
    EXPECT_EQ(processes.windowStyles, QList<int>{6}); // a missing style is 6
    EXPECT_EQ(events.sleptMs, 300);
    EXPECT_EQ(polls, 3);

    processes.pollsToFinish = 0; // ends at once: still one poll
    Wait(program, 0);
    EXPECT_EQ(events.sleptMs, 400);
    EXPECT_EQ(polls, 4);
    EXPECT_EQ(processes.windowStyles.last(), 0);
    Wait(program, 9);
    EXPECT_EQ(processes.windowStyles.last(), 6);
}

TEST_F(ShellTest, ALongWaitTellsItsProgressFromThe50thPollAndItsEnd)
{
    Counting progress;
    processes.pollsToFinish = 49;
    ShellAndWaitProgress(processes, events, program, 0, &progress);
    EXPECT_TRUE(progress.told.isEmpty());
    EXPECT_TRUE(progress.ended);

    processes.pollsToFinish = 52;
    Counting longer;
    ShellAndWaitProgress(processes, events, program, 0, &longer);
    EXPECT_EQ(longer.told, (QList<qint32>{50, 51, 52}));

    processes.pollsToFinish = 60;
    events.sleptMs = 0;
    EXPECT_EQ(ShellAndWaitProgress(processes, events, program, std::nullopt, nullptr), 0);
    EXPECT_EQ(events.sleptMs, 6000);
}

TEST_F(ShellTest, TheWaitsHandBackTheCommandsErrorOutputOrWhyItDidNotStart)
{
    processes.errorOutput = u"Could not find \"x.wav\".\n"_s;
    processes.fails = [](const QString &) { return true; };
    QString errorOutput;
    EXPECT_EQ(Wait(program, 0, &errorOutput), 1);
    EXPECT_EQ(errorOutput, u"Could not find \"x.wav\".\n"_s);
    errorOutput.clear();
    EXPECT_EQ(ShellAndWaitProgress(processes, events, program, 0, nullptr, &errorOutput), 1);
    EXPECT_EQ(errorOutput, u"Could not find \"x.wav\".\n"_s);

    // A command that cannot start answers negative at once, without waiting.
    events.sleptMs = 0;
    Counting progress;
    EXPECT_EQ(Wait(dir.filePath(u"missing"_s), 0, &errorOutput), -2147221504 + 2);
    EXPECT_EQ(errorOutput, u"No such file or directory"_s);
    EXPECT_EQ(ShellAndWaitProgress(processes, events, dir.filePath(u"missing"_s), 0, &progress), -2147221504 + 2);
    EXPECT_EQ(events.sleptMs, 0);
    EXPECT_FALSE(progress.ended);
}
