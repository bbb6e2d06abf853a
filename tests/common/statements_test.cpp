#include "common/buildconfig.h"
#include "common/runtimeerror.h"
#include "common/statements.h"
#include "pipeline/outcome.h"
#include "tests/fakes/fakes.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace Qt::StringLiterals;

TEST(ErrorReport, TextIsJoinedExactly)
{
    const QString tag = SiteTag(u"Form1"_s, u"PushButton1_Click"_s);
    EXPECT_EQ(tag, u"in Lectorn2021/08/31.Form1.PushButton1_Click "_s);
    EXPECT_EQ(SiteTag(u"AddFolder"_s, u"GetSubDirectories2016"_s, QString::fromUtf16(kFolderWalkProjectTag)),
              u"in Brindle2021/08/31.AddFolder.GetSubDirectories2016 "_s);
    EXPECT_EQ(ErrorReportText(u"Path not found"_s, tag, 138),
              u"Path not found\r\nin Lectorn2021/08/31.Form1.PushButton1_Click at line 138\r\r"
              u"Please email screenshot of this message to "_s
                  + QString::fromUtf8(kSupportAddress));
}

TEST(Statements, AFailingStatementIsReportedAndTheNextOneRuns)
{
    FakeMessageBoxes boxes;
    BoxReports reports(boxes);
    Statements run(reports, SiteTag(u"Speak"_s, u"WAVToMP3"_s));
    QStringList done;
    run(100, [&] { done << u"a"_s; });
    run(102, [&] { throw RuntimeError(u"Disk full"_s, ErrorNumber::DiskFull); });
    run(104, [&] { done << u"b"_s; });
    run(106, [&] { throw std::runtime_error("plain failure"); });
    run([&] { throw RuntimeError(u"unnumbered"_s); }); // reports the last number passed
    EXPECT_EQ(done, (QStringList{u"a"_s, u"b"_s}));
    ASSERT_EQ(boxes.shown.size(), 3);
    EXPECT_EQ(boxes.shown[0].title, u"Application Error"_s);
    EXPECT_TRUE(boxes.shown[0].text.startsWith(u"Disk full\r\nin Lectorn2021/08/31.Speak.WAVToMP3 at line 102\r\r"_s));
    EXPECT_TRUE(boxes.shown[1].text.startsWith(u"plain failure\r\n"_s));
    EXPECT_TRUE(boxes.shown[1].text.contains(u"at line 106\r\r"_s));
    EXPECT_TRUE(boxes.shown[2].text.contains(u"at line 106\r\r"_s));
}

TEST(Statements, AFailingTestRunsWhatItGuards)
{
    FakeMessageBoxes boxes;
    BoxReports reports(boxes);
    Statements run(reports, SiteTag(u"Form1"_s, u"Form_Load"_s));
    EXPECT_TRUE(run.If(152, [] () -> bool { throw RuntimeError(u"Type mismatch"_s, 13); }));
    EXPECT_FALSE(run.If(154, [] { return false; }));
    EXPECT_TRUE(run.If(156, [] { return true; }));
    ASSERT_EQ(boxes.ErrorReports().size(), 1);
    EXPECT_TRUE(boxes.ErrorReports()[0].contains(u"at line 152"_s));
}

TEST(Statements, AFrontEndThatStopsAtTheFirstFailureStopsEveryProcedureThatRuns)
{
    FailFast stop;
    Statements outer(stop, SiteTag(u"Form1"_s, u"PushButton1_Click"_s));
    QStringList done;
    try {
        outer(172, [&] {
            Statements inner(outer.Handler(), SiteTag(u"Speak"_s, u"SaveToWAV"_s));
            inner(120, [&] { throw RuntimeError(u"Disk full"_s, ErrorNumber::DiskFull); });
            done << u"inner went on"_s;
        });
        done << u"outer went on"_s;
        FAIL() << "the failure did not stop the procedures";
    } catch (const StepStopped &stopped) {
        EXPECT_EQ(stopped.outcome().number, ErrorNumber::DiskFull);
        EXPECT_EQ(stopped.outcome().description, u"Disk full"_s);
    }
    EXPECT_TRUE(done.isEmpty());
}
