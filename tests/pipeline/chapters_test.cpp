#include "api/documentreader.h"
#include "common/runtimeerror.h"
#include "pipeline/chapters.h"
#include "pipeline/tags.h"
#include "tests/testutil.h"

#include <QTemporaryDir>

#include <taglib/chapterframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tableofcontentsframe.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// MPEG-2 layer III frames as LAME writes them at 22 050 Hz mono, 32 kbit/s: 104 bytes,
// 105 with the padding bit.
QByteArray Frames(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        const bool padded = i % 3 == 2;
        bytes += QByteArray(padded ? "\xFF\xF3\x42\xC4" : "\xFF\xF3\x40\xC4", 4) + QByteArray(padded ? 101 : 100, '\0');
    }
    return bytes;
}

QString Text(const TagLib::ID3v2::Tag &tag, const char *id)
{
    const auto &frames = tag.frameListMap()[id];
    return frames.isEmpty() ? QString() : QString::fromStdWString(frames.front()->toString().toWString());
}

} // namespace

TEST(Mp3Samples, FramesAreCountedFromTheirHeadersPastATag)
{
    EXPECT_EQ(Mp3SamplesOf(Frames(7)), 7 * 576);
    const QByteArray tag = QByteArray("ID3\x03\x00\x00\x00\x00\x01\x00", 10) + QByteArray(128, '\0');
    EXPECT_EQ(Id3v2TagLength(tag), 138);
    EXPECT_EQ(Mp3SamplesOf(tag + Frames(3)), 3 * 576);
    EXPECT_EQ(Mp3SamplesOf(Frames(2) + "MP3(84)" + Frames(2)), 2 * 576) << "counting ends at what is no frame";
    EXPECT_EQ(Mp3SamplesOf("MP3(84)"), 0);
    EXPECT_THROW(Mp3Samples(u"/nonexistent/a.mp3"_s), RuntimeError);
}

TEST(ChapterClock, AChapterBeginsWhereItsHeadingIsHeardInTheJoinedMp3)
{
    // Three headings: at the first line of segment 1 after an opening, at line 2 of
    // segment 2, at line 0 of segment 3; each segment's MP3 begins with the encoder's delay.
    const QList<DocumentHeading> headings = {{u"One"_s, 1, 3}, {u"Two"_s, 2, 60}, {u"Three"_s, 1, 99}};
    ChapterClock clock(headings, {{1, 3}, {2, 2}, {3, 0}});
    EXPECT_EQ(ChapterClock::WatchedLines(headings), (QList<qint64>{3, 60, 99}));
    clock.Spoken(2, {0, 100, 22050, 30000});
    clock.Spoken(1, {0, 10, 20, 44100});
    clock.Spoken(3, {500});
    clock.Encoded(1, 100 * 576);
    clock.Encoded(2, 200 * 576);
    clock.Encoded(3, 50 * 576);
    auto ms = [](qint64 samples) { return (samples * 1000 + 11025) / 22050; };
    const qint64 one = ms(1105 + 44100);
    const qint64 two = ms(100 * 576 + 1105 + 22050);
    const qint64 three = ms(300 * 576 + 1105 + 500);
    const qint64 end = ms(350 * 576);
    EXPECT_EQ(clock.Chapters(u"The Book"_s),
              (QList<Chapter>{{u"The Book"_s, 0, one}, {u"One"_s, one, two}, {u"Two"_s, two, three}, {u"Three"_s, three, end}}));
    EXPECT_EQ(clock.LengthMs(), end);

    // A heading on the first line begins the MP3; a document without headings has no chapters.
    ChapterClock first({{u"Only"_s, 1, 0}}, {{1, 0}});
    first.Spoken(1, {3000});
    first.Encoded(1, 10 * 576);
    EXPECT_EQ(first.Chapters(u"T"_s), (QList<Chapter>{{u"Only"_s, 0, ms(10 * 576)}}));
    EXPECT_TRUE(ChapterClock().Chapters(u"T"_s).isEmpty());
}

TEST(Tags, TextsArePlainLinesOfBoundedLength)
{
    EXPECT_EQ(TagText(u"  a\tb\n\x01 c\u0000d "_s), u"a b c d"_s);
    EXPECT_EQ(TagText(u"x\uFFFEy"_s + QChar(0xD800) + u"z 😀"_s), u"xyz 😀"_s);
    QString words;
    while (words.size() < 10000)
        words += u"word "_s;
    const QString cut = TagText(words);
    EXPECT_LE(cut.size(), kMaxTagCharacters + 1);
    EXPECT_TRUE(cut.endsWith(u"word…"_s)) << cut.toStdString();
    EXPECT_EQ(TagText(QString(300, u'x')), QString(kMaxTagCharacters - 1, u'x') + u'…');

    EXPECT_EQ(Iso639Part2(u"en-gb"_s), u"eng"_s);
    EXPECT_EQ(Iso639Part2(u"de"_s), u"ger"_s);
    EXPECT_EQ(Iso639Part2(u"en-gb-scotland"_s), u"eng"_s);
    EXPECT_EQ(Iso639Part2(u""_s), QString());

    const AudiobookTags tags = TagsFor(u"/home/u/Books/Vol 2/report.final.odt"_s, {u""_s, u"Ann"_s, {}, {}, {}, {}, {}, {}}, 2, 5,
                                       u"eSpeak NG German"_s, u"de"_s);
    EXPECT_EQ(tags.title, u"report.final"_s);
    EXPECT_EQ(tags.artist, u"Ann"_s);
    EXPECT_EQ(tags.album, u"Vol 2"_s);
    EXPECT_EQ(tags.genre, u"Speech"_s);
    EXPECT_EQ(tags.language, u"ger"_s);
    EXPECT_EQ(tags.comment, u"Voice: eSpeak NG German"_s);
}

TEST(Tags, AnId3TagOfTextsAndChaptersThatTagLibReadsBack)
{
    QTemporaryDir dir;
    const QString mp3 = dir.filePath(u"book.mp3"_s);
    const QByteArray audio = Frames(40);
    WriteBytes(mp3, audio);
    AudiobookTags tags;
    tags.title = u"Über die Sterne"_s;
    tags.artist = u"Ann Ödegaard"_s;
    tags.track = 2;
    tags.trackCount = 5;
    tags.genre = u"Speech"_s;
    tags.language = u"eng"_s;
    tags.comment = u"Voice: slt"_s;
    for (int k = 0; k < 600; ++k)
        tags.chapters.append({u"Chapter %1 – ä"_s.arg(k), k * 100, k * 100 + 100});
    WriteMp3Tags(mp3, tags);
    WriteMp3Tags(mp3, tags); // a second tag replaces the first
    const QByteArray bytes = ReadBytes(mp3);
    EXPECT_EQ(bytes.mid(Id3v2TagLength(bytes)), audio) << "the audio is kept as it was";
    EXPECT_EQ(bytes.mid(3, 1), QByteArray("\x03", 1)) << "ID3v2.3";

    TagLib::MPEG::File file(QFile::encodeName(mp3).constData());
    TagLib::ID3v2::Tag *tag = file.ID3v2Tag();
    ASSERT_TRUE(tag);
    EXPECT_EQ(Text(*tag, "TIT2"), u"Über die Sterne"_s);
    EXPECT_EQ(Text(*tag, "TPE1"), u"Ann Ödegaard"_s);
    EXPECT_EQ(Text(*tag, "TRCK"), u"2/5"_s);
    EXPECT_EQ(Text(*tag, "TCON"), u"Speech"_s);
    EXPECT_EQ(Text(*tag, "TLAN"), u"eng"_s);
    EXPECT_TRUE(Text(*tag, "TALB").isEmpty()) << "an empty field is not written";
    const auto *comment = dynamic_cast<TagLib::ID3v2::CommentsFrame *>(tag->frameListMap()["COMM"].front());
    ASSERT_TRUE(comment);
    EXPECT_EQ(comment->text().to8Bit(true), "Voice: slt");
    const auto &chapters = tag->frameListMap()["CHAP"];
    ASSERT_EQ(chapters.size(), 600u);
    const auto *last = dynamic_cast<TagLib::ID3v2::ChapterFrame *>(chapters.back());
    EXPECT_EQ(last->startTime(), 59900u);
    EXPECT_EQ(last->endTime(), 60000u);
    EXPECT_EQ(QString::fromStdWString(last->embeddedFrameListMap()["TIT2"].front()->toString().toWString()),
              u"Chapter 599 – ä"_s);
    // A table of contents counts its entries in one byte: the top one lists tables of 255.
    const TagLib::ID3v2::TableOfContentsFrame *top = TagLib::ID3v2::TableOfContentsFrame::findTopLevel(tag);
    ASSERT_TRUE(top);
    EXPECT_TRUE(top->isOrdered());
    ASSERT_EQ(top->entryCount(), 3u);
    const auto *third = TagLib::ID3v2::TableOfContentsFrame::findByElementID(tag, top->childElements()[2]);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->entryCount(), 600u - 2 * 255);

    // A file that cannot be tagged is left as it was.
    const QString missing = dir.filePath(u"gone/book.mp3"_s);
    EXPECT_THROW(WriteMp3Tags(missing, tags), RuntimeError);
    const QString plain = dir.filePath(u"plain.mp3"_s);
    WriteBytes(plain, audio);
    WriteMp3Tags(plain, AudiobookTags());
    EXPECT_EQ(ReadBytes(plain), audio) << "nothing to write, nothing written";
}
