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
        window.list.Append(u"a.odt"_s);
        window.list.Append(u"b.odt"_s);
        window.state.CurrentFileNumber = 2;
        window.state.StepCounter = 6;
    }

    QTemporaryDir dir;
    FakeMainWindow window;
    QString program;
};

} // namespace

TEST_F(ShellTest, ShellAndWaitPollsEvery100MsAndRefreshesTheProgressText)
{
    processes.pollsToFinish = 3;
    processes.exitCode = 4;
    EXPECT_EQ(ShellAndWait(services, window, program), 4);
    EXPECT_EQ(processes.windowStyles, QList<int>{6}); // a missing style is 6
    EXPECT_EQ(events.sleptMs, 300);
    EXPECT_EQ(window.state.StepCounter, 9);
    EXPECT_EQ(window.progress.texts.last(),
              u"Processing file 2 of 2.. please wait patiently.. Please do not click on anything..9"_s);

    processes.pollsToFinish = 0; // ends at once: still one poll and one refresh
    ShellAndWait(services, window, program, 0);
    EXPECT_EQ(events.sleptMs, 400);
    EXPECT_EQ(window.state.StepCounter, 10);
    EXPECT_EQ(processes.windowStyles.last(), 0);
    ShellAndWait(services, window, program, 9);
    EXPECT_EQ(processes.windowStyles.last(), 6);
}

TEST_F(ShellTest, ACommandThatCannotStartAnswersNegativeWithoutWaiting)
{
    EXPECT_EQ(ShellAndWait(services, window, dir.filePath(u"missing"_s)), -2147221504 + 2);
    EXPECT_EQ(events.sleptMs, 0);
    EXPECT_TRUE(window.progress.texts.isEmpty());
    FakeProgressBar bar;
    EXPECT_EQ(ShellAndWaitProgress(services, dir.filePath(u"missing"_s), 0, &bar, u"x"_s, 0, 1), -2147221504 + 2);
    EXPECT_TRUE(bar.texts.isEmpty());
}

TEST_F(ShellTest, AShortWaitLeavesTheBarAndSetsItsTextBack)
{
    FakeProgressBar bar;
    processes.pollsToFinish = 49;
    ShellAndWaitProgress(services, program, 0, &bar, u"Base"_s, 50, 2);
    EXPECT_EQ(bar.texts, QStringList{u"Base"_s});
    EXPECT_TRUE(bar.values.isEmpty());

    FakeProgressBar empty;
    processes.pollsToFinish = 1;
    ShellAndWaitProgress(services, program, 0, &empty, QString(), 50, 2);
    EXPECT_EQ(empty.texts, QStringList{u"Progress Bar"_s});
}

TEST_F(ShellTest, ALongWaitCountsPollsAndCreepsTheValueUpToItsCap)
{
    FakeProgressBar bar;
    processes.pollsToFinish = 57;
    ShellAndWaitProgress(services, program, 0, &bar, u"Processing file 1"_s, 100, 1);
    EXPECT_EQ(bar.texts[7], u"Processing file 1, Please wait.. 7"_s);
    EXPECT_EQ(bar.texts.last(), u"Processing file 1"_s);

    FakeProgressBar creeping;
    processes.pollsToFinish = 50 + 150 * 12;
    ShellAndWaitProgress(services, program, 0, &creeping, QString(), 100, 1);
    EXPECT_EQ(creeping.values, (QList<double>{100, 110, 120, 130, 140, 150, 160, 170, 180, 190, 190, 190, 190}));
    EXPECT_TRUE(creeping.texts[1].startsWith(u"Please wait.. 1"_s)); // no leading ", "
}

TEST_F(ShellTest, WaitingWithoutABarOnlyPolls)
{
    processes.pollsToFinish = 60;
    EXPECT_EQ(ShellAndWaitProgress(services, program, std::nullopt, nullptr, u"x"_s, 0, 1), 0);
    EXPECT_EQ(events.sleptMs, 6000);
}

TEST_F(ShellTest, TheWaitsHandBackTheCommandsErrorOutputOrWhyItDidNotStart)
{
    processes.errorOutput = u"Could not find \"x.wav\".\n"_s;
    processes.fails = [](const QString &) { return true; };
    QString errorOutput;
    EXPECT_EQ(ShellAndWait(services, window, program, 0, &errorOutput), 1);
    EXPECT_EQ(errorOutput, u"Could not find \"x.wav\".\n"_s);
    FakeProgressBar bar;
    errorOutput.clear();
    EXPECT_EQ(ShellAndWaitProgress(services, program, 0, &bar, u"x"_s, 0, 1, &errorOutput), 1);
    EXPECT_EQ(errorOutput, u"Could not find \"x.wav\".\n"_s);

    EXPECT_EQ(ShellAndWait(services, window, dir.filePath(u"missing"_s), 0, &errorOutput), -2147221504 + 2);
    EXPECT_EQ(errorOutput, u"No such file or directory"_s);
}
