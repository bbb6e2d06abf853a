#include "common/codepage.h"
#include "common/runtimeerror.h"
#include "pipeline/clean.h"
#include "pipeline/cut.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class CutTest : public ::testing::Test, protected FakeServices
{
protected:
    CutTest()
    {
        input = dir.filePath(u"output.txt"_s);
    }

    int Cut(int rate)
    {
        return CutTextFileFSO(reports, events, input, SegmentLimitsForRate(rate));
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

TEST(CleanText, KeepsWordsAsTheyAreWritten)
{
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"Hello, World! It's 5:30 - OK?", "hello, world! it's 5 30   ok?"},
        {"A&#xa0;B", "ab"},
        {"A&#XA0;B", "a& xa0;b"},
        {"caf\xe9 \x93q\x94\t<&>[]", "caf\xe9  q   &   "},
        // Letters of the code page stay, lower-cased.
        {"L'\xc9L\xc8VE A \xc9T\xc9 TR\xc8S S\xc9RIEUX", "l'\xe9l\xe8ve a \xe9t\xe9 tr\xe8s s\xe9rieux"},
        {"Stra\xdf" "e \xc5re \x8a\x8c\x8e\x9f \xc6\xd8\xde \xaa\xba\xb5", "stra\xdf" "e \xe5re \x9a\x9c\x9e\xff \xe6\xf8\xfe \xaa\xba\xb5"},
        // The florin sign, the spacing circumflex, the multiplication and division signs.
        {"\x83" "5 \x88 2\xd7" "3\xf7" "4", " 5   2 3 4"},
        // An apostrophe or a hyphen stays only between two letters; every apostrophe is "'".
        {"don't aujourd\x92hui well-known rock'n'roll \xe9t\xe9-l\xe0", "don't aujourd'hui well-known rock'n'roll \xe9t\xe9-l\xe0"},
        {"'tis dogs' x--y 5-3 a-'b -a- \x91q\x92 d\x91o", " tis dogs  x  y 5 3 a  b  a   q  d o"},
        {"A&#xa0;-B", "a-b"},
        // Signs that are read as words stay; the others are spaces.
        {"50% $5 \x80" "5 \xa3" "5 A&B #1 *x* @ /_\\", "50% $5 \x80" "5 \xa3" "5 a&b  1  x       "},
    };
    for (const auto &[line, cleaned] : cases)
        EXPECT_EQ(CleanLineForSegment(line), cleaned) << line.constData();

    // Every byte is one byte; each letter of the code page is its lower-case letter.
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        all.append(static_cast<char>(b));
    const QByteArray cleaned = CleanLineForSegment(all);
    ASSERT_EQ(cleaned.size(), all.size());
    for (int b = 1; b < 256; ++b) {
        const QChar c = CodePage::Chr(b);
        const char out = cleaned[b - 1];
        if (c.isLetter() && b != 0x83 && b != 0x88)
            EXPECT_EQ(out, CodePage::Encode(QString(c.toLower())).at(0)) << b;
        else if (QByteArray("0123456789 !,.;?%$&\x80\xa3").contains(static_cast<char>(b)))
            EXPECT_EQ(out, static_cast<char>(b)) << b;
        else
            EXPECT_EQ(out, ' ') << b;
    }

    // Letters, marks and digits of every script stay; the florin sign is no letter to say.
    EXPECT_EQ(CleanTextForSpeech(u"Zo\u00eb's \u4e2d;"_s), u"Zo\u00eb's \u4e2d;"_s);
    EXPECT_EQ(CleanTextForSpeech(u"L\u2019\u00c9t\u00e9 \u0142-x \u20ac5 \u0192?"_s), u"L'\u00c9t\u00e9 \u0142-x \u20ac5  ?"_s);
    EXPECT_EQ(CleanLineOfAnyScript(u"\u041f\u0440\u0438\u0432\u0435\u0442, \u00abM\u0418\u0420\u00bb! "
                                   u"\u0915\u093f\u0924\u093e\u092c \u0663\u0664 \u05e9\u05b8\u05c1\u05dc\u05d5\u05b9\u05dd"
                                   u" \U0001D400\u3002"_s),
              u"\u043f\u0440\u0438\u0432\u0435\u0442,  m\u0438\u0440 ! \u0915\u093f\u0924\u093e\u092c \u0663\u0664 "
              u"\u05e9\u05b8\u05c1\u05dc\u05d5\u05b9\u05dd \U0001D400 "_s);
}

// A text that the code page does not hold goes into its segments as UTF-8 behind the
// byte-order mark, its lines cut by characters, not bytes.
TEST_F(CutTest, TextOfEveryScriptIsCutByCharactersBehindTheMark)
{
    const QString line = QString(60000, QChar(0x0416)) + u" \u0416\u0416"_s;
    WriteBytes(input, CodePage::kUtf8Mark + (u"\u041f\u0420\u0418\u0412\u0415\u0422 \u4e2d\u6587\n"_s + line + u'\n').toUtf8());
    EXPECT_EQ(CutTextFileFSO(reports, events, input, SegmentLimitsForRate(-10)), 2);
    EXPECT_EQ(Segment(1), CodePage::kUtf8Mark + (u"\u043f\u0440\u0438\u0432\u0435\u0442 \u4e2d\u6587\n"_s
                                                  + QString(51200, QChar(0x0436)) + u"\n"_s).toUtf8());
    EXPECT_EQ(Segment(2), CodePage::kUtf8Mark + (QString(8800, QChar(0x0436)) + u" \u0436\u0436\n"_s).toUtf8());
}

TEST_F(CutTest, RateZeroClosesASegmentAfter1299Lines)
{
    WriteBytes(input, Lines(2600));
    EXPECT_EQ(Cut(0), 3);
    EXPECT_EQ(Segment(1), Lines(1299));
    EXPECT_EQ(Segment(2), Lines(1299));
    EXPECT_EQ(Segment(3), QByteArray("word\nword\n"));
    EXPECT_FALSE(QFile::exists(input));
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(CutTest, AFullLastSegmentLeavesAnEmptyOneCounted)
{
    WriteBytes(input, Lines(2598));
    EXPECT_EQ(Cut(0), 3);
    EXPECT_EQ(Segment(2), Lines(1299));
    EXPECT_TRUE(QFile::exists(SegmentPath(input, 3, u".txt"_s)));
    EXPECT_EQ(Segment(3), QByteArray());
}

TEST_F(CutTest, SlowestRateLimitsLinesAndCharacters)
{
    WriteBytes(input, Lines(60, "ab"));
    EXPECT_EQ(Cut(-10), 2);
    EXPECT_EQ(Segment(1), Lines(49, "ab"));
    EXPECT_EQ(Segment(2), Lines(11, "ab"));

    // The line that reaches 51 200 characters stays in the segment it fills; the line feeds
    // are not counted.
    const QByteArray big(30000, 'a');
    WriteBytes(input, big + "\n" + big + "\n" + "tail\n");
    EXPECT_EQ(Cut(-10), 2);
    EXPECT_EQ(Segment(1), big + "\n" + big + "\n");
    EXPECT_EQ(Segment(2), QByteArray("tail\n"));

    // 51 199 characters do not close a segment, 51 200 do.
    WriteBytes(input, QByteArray(51199, 'b') + "\nnext\n");
    EXPECT_EQ(Cut(-10), 2);
    EXPECT_EQ(Segment(1), QByteArray(51199, 'b') + "\nnext\n");
    EXPECT_EQ(Segment(2), QByteArray());
    WriteBytes(input, QByteArray(51200, 'b') + "\nnext\n");
    EXPECT_EQ(Cut(-10), 2);
    EXPECT_EQ(Segment(1), QByteArray(51200, 'b') + "\n");
    EXPECT_EQ(Segment(2), QByteArray("next\n"));
}

TEST_F(CutTest, ALineLongerThanTheCharacterLimitGoesOnInTheNextSegment)
{
    // Cut at the last blank before 51 200 characters; without a blank, at the limit.
    QByteArray words;
    while (words.size() < 120000)
        words += "spoken words ";
    WriteBytes(input, "before\n" + words + "\nafter\n");
    const int count = Cut(-10);
    QByteArray joined;
    for (int i = 1; i <= count; ++i) {
        const QByteArray segment = Segment(i);
        EXPECT_LE(segment.size(), 51200 + 8) << i;
        joined += segment;
    }
    EXPECT_EQ(count, 3);
    EXPECT_TRUE(Segment(1).startsWith("before\nspoken words "));
    EXPECT_TRUE(Segment(1).endsWith(" \n")); // cut after a blank, never inside a word
    EXPECT_TRUE(Segment(3).endsWith("\nafter\n"));
    QByteArray without = joined;
    without.replace("\n", "");
    EXPECT_EQ(without, "before" + words + "after") << "nothing lost or added";

    WriteBytes(input, QByteArray(120000, 'x') + "\n");
    EXPECT_EQ(Cut(-10), 3);
    EXPECT_EQ(Segment(1), QByteArray(51200, 'x') + "\n");
    EXPECT_EQ(Segment(2), QByteArray(51200, 'x') + "\n");
    EXPECT_EQ(Segment(3), QByteArray(120000 - 2 * 51200, 'x') + "\n");
}

TEST_F(CutTest, EveryLineEndsWithALineFeedSoItEndsAClause)
{
    WriteBytes(input, "The end.\r\nNext\n\nA&#xa0;B\nlast line without end");
    EXPECT_EQ(Cut(0), 1);
    EXPECT_EQ(Segment(1), QByteArray("the end.\nnext\n\nab\nlast line without end\n"));
    WriteBytes(input, "one\ntwo");
    EXPECT_EQ(Cut(0), 1);
    EXPECT_EQ(Segment(1), QByteArray("one\ntwo\n"));
}

TEST_F(CutTest, SegmentFilesAreTheUsersAloneAndNeverWrittenThroughALink)
{
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(u"victim"_s);
    WriteBytes(victim, "precious");
    ASSERT_TRUE(QFile::link(victim, SegmentPath(input, 1, u".txt"_s)));
    WriteBytes(input, "hello\n");
    EXPECT_EQ(Cut(0), 1);
    EXPECT_EQ(ReadBytes(victim), QByteArray("precious"));
    EXPECT_EQ(Segment(1), QByteArray("hello\n"));
    EXPECT_EQ(QFileInfo(SegmentPath(input, 1, u".txt"_s)).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
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

TEST_F(CutTest, TheCutSaysWhereEachWatchedLineBegins)
{
    // 49 lines a segment at the slowest rate; a line beyond the character limit goes on in
    // the next segment, and the line after it begins there.
    QByteArray text = Lines(60, "ab") + QByteArray(60000, 'x') + "\nafter\n";
    WriteBytes(input, text);
    QList<LinePlace> places;
    const int count = CutTextFileFSO(reports, events, input, SegmentLimitsForRate(-10), {0, 48, 49, 60, 61, 61, 500},
                                     &places);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(places, (QList<LinePlace>{{1, 0}, {1, 48}, {2, 0}, {2, 11}, {3, 1}, {3, 1}, {3, 2}}));
}

// The converter's pieces end where the paragraphs' own words say: an edit changes only
// the pieces that hold it, and no piece outgrows its limits.
TEST_F(CutTest, PiecesEndAtParagraphsThatAnEditDoesNotMove)
{
    auto cut = [&](const QByteArray &text) {
        WriteBytes(input, text);
        QList<LinePlace> places;
        const int count = CutIntoPieces(reports, events, input, PieceLimits{2048, 8192, 1299, 8}, {0, 400}, &places);
        QList<QByteArray> pieces;
        for (int piece = 1; piece <= count; ++piece)
            pieces.append(Segment(piece));
        return std::pair{pieces, places};
    };
    QByteArray text;
    for (int i = 0; i < 800; ++i)
        text += "Paragraph number " + QByteArray::number(i) + " of a book with some words in it.\n";
    const auto [before, places] = cut(text);
    ASSERT_GT(before.size(), 10);
    for (const QByteArray &piece : before)
        EXPECT_LE(piece.size() - piece.count('\n'), 8192);
    EXPECT_EQ(before.join(), text.toLower()); // every line once, in order
    EXPECT_EQ(places.value(0), (LinePlace{1, 0}));

    QByteArray edited = text;
    edited.replace("Paragraph number 400 of", "Paragraph number 400, which a reader changed, of");
    const auto after = cut(edited).first;
    int changed = 0;
    for (const QByteArray &piece : after)
        changed += !before.contains(piece);
    EXPECT_GE(changed, 1);
    EXPECT_LE(changed, 2);

    // A paragraph longer than a piece goes on in the next.
    EXPECT_EQ(cut(QByteArray(20000, 'x') + "\n").first.size(), 3);
}
