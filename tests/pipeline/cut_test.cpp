#include "common/runtimeerror.h"
#include "pipeline/speak.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class CutTest : public ::testing::Test
{
protected:
    CutTest()
    {
        services.boxes = &boxes;
        services.events = &events;
        input = dir.filePath(u"output.txt"_s);
    }

    int Cut(int rate)
    {
        window.slider2 = rate;
        Speak speak(services, window);
        return speak.CutTextFileFSO(input);
    }

    QByteArray Segment(int number) const { return ReadBytes(SegmentPath(input, number, u".txt"_s)); }

    static QByteArray Lines(int count, const QByteArray &line = "word")
    {
        QByteArray text;
        for (int i = 0; i < count; ++i)
            text += line + "\n";
        return text;
    }

    QTemporaryDir dir;
    FakeMessageBoxes boxes;
    FakeEventLoop events;
    FakeMainWindow window;
    Services services;
    QString input;
};

} // namespace

TEST(SegmentLimits, ShrinkBelowRateZero)
{
    EXPECT_EQ(SegmentLimitsForRate(-10).lines, 50);
    EXPECT_EQ(SegmentLimitsForRate(-10).kilochars, 50);
    EXPECT_EQ(SegmentLimitsForRate(-3).lines, 925);
    EXPECT_EQ(SegmentLimitsForRate(-3).kilochars, 365);
    EXPECT_EQ(SegmentLimitsForRate(0).lines, 1300);
    EXPECT_EQ(SegmentLimitsForRate(10).kilochars, 500);
}

TEST(SegmentPath, NumbersWithAtLeastThreeDigits)
{
    EXPECT_EQ(SegmentPath(u"/w/output.txt"_s, 1, u".txt"_s), u"/w/output001.txt"_s);
    EXPECT_EQ(SegmentPath(u"/w/output.txt"_s, 12, u".mp3"_s), u"/w/output012.mp3"_s);
    EXPECT_EQ(SegmentPath(u"/w/output.txt"_s, 1000, u".wav"_s), u"/w/output1000.wav"_s);
    EXPECT_EQ(SegmentPath(u"/t/data"_s, 1, u".txt"_s), u"/t/data001.txt"_s);
    // A dot in a folder name is not the file's extension.
    EXPECT_EQ(SegmentPath(u"/home/u/.cache/data"_s, 2, u".txt"_s), u"/home/u/.cache/data002.txt"_s);
}

TEST(CleanText, KeepsTheSmallAlphabet)
{
    EXPECT_EQ(CleanLineForSegment("Hello, World! It's 5:30 - OK?"), QByteArray("hello, world! it s 5 30   ok?"));
    EXPECT_EQ(CleanLineForSegment("A&#xa0;B"), QByteArray("ab"));
    EXPECT_EQ(CleanLineForSegment("A&#XA0;B"), QByteArray("a  xa0;b"));
    EXPECT_EQ(CleanLineForSegment("caf\xe9 \x93q\x94\t<&>[]"), QByteArray("caf   q       "));
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        all.append(static_cast<char>(b));
    for (const char c : CleanLineForSegment(all))
        EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || QByteArray(" !,.;?").contains(c));
    EXPECT_EQ(CleanTextForSpeech(u"Zo\u00eb's \u4e2d;"_s), u"Zo  s  ;"_s);
}

TEST_F(CutTest, RateZeroClosesASegmentAfter1299Lines)
{
    WriteBytes(input, Lines(2600));
    EXPECT_EQ(Cut(0), 3);
    EXPECT_EQ(Segment(1), QByteArray(1299 * 4, 'x').replace("xxxx", "word"));
    EXPECT_EQ(Segment(2).size(), 1299 * 4);
    EXPECT_EQ(Segment(3), QByteArray("wordword"));
    EXPECT_FALSE(QFile::exists(input));
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(CutTest, AFullLastSegmentLeavesAnEmptyOneCounted)
{
    WriteBytes(input, Lines(2598));
    EXPECT_EQ(Cut(0), 3);
    EXPECT_EQ(Segment(2).size(), 1299 * 4);
    EXPECT_TRUE(QFile::exists(SegmentPath(input, 3, u".txt"_s)));
    EXPECT_EQ(Segment(3), QByteArray());
}

TEST_F(CutTest, SlowestRateLimitsLinesAndCharacters)
{
    WriteBytes(input, Lines(60, "ab"));
    EXPECT_EQ(Cut(-10), 2);
    EXPECT_EQ(Segment(1).size(), 49 * 2);
    EXPECT_EQ(Segment(2).size(), 11 * 2);

    // The line that reaches 51 200 characters stays in the segment it fills.
    const QByteArray big(30000, 'a');
    WriteBytes(input, big + "\n" + big + "\n" + "tail\n");
    EXPECT_EQ(Cut(-10), 2);
    EXPECT_EQ(Segment(1).size(), 60000);
    EXPECT_EQ(Segment(2), QByteArray("tail"));
}

TEST_F(CutTest, LinesAreCleanedAndJoinedWithNothingBetween)
{
    WriteBytes(input, "The end.\r\nNext\n\nA&#xa0;B\nlast line without end");
    EXPECT_EQ(Cut(0), 1);
    EXPECT_EQ(Segment(1), QByteArray("the end.nextablast line without end"));
}

TEST_F(CutTest, AnEmptyInputGivesOneEmptySegment)
{
    WriteBytes(input, "");
    WriteBytes(SegmentPath(input, 1, u".txt"_s), "old segment of the previous document");
    EXPECT_EQ(Cut(0), 1);
    EXPECT_EQ(Segment(1), QByteArray());
    EXPECT_FALSE(QFile::exists(input));
}

TEST_F(CutTest, AnInputThatCannotBeReadIsReportedOnce)
{
    EXPECT_EQ(Cut(0), 1);
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_TRUE(boxes.shown[0].text.contains(u"in Lectorn2021/08/31.Speak.CutTextFileFSO at line 120\r\r"_s));
    EXPECT_TRUE(QFile::exists(SegmentPath(input, 1, u".txt"_s)));
}

TEST_F(CutTest, AnUnwritableSegmentIsReportedOncePerFile)
{
    WriteBytes(input, Lines(10));
    QDir(dir.path()).mkdir(u"output001.txt"_s); // a folder stands where the segment should go
    EXPECT_EQ(Cut(0), 1);
    ASSERT_EQ(boxes.ErrorReports().size(), 1);
    EXPECT_TRUE(boxes.ErrorReports()[0].contains(u"at line 128"_s));
}

TEST_F(CutTest, TheWindowIsServedDuringALongCut)
{
    WriteBytes(input, Lines(400000, "a line of ordinary length for a document"));
    int yields = 0;
    events.onYield = [&] { ++yields; };
    EXPECT_EQ(Cut(0), 308);
    EXPECT_GT(yields, 0);
}
