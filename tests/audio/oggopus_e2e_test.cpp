// The Ogg Opus writer, read back by FFmpeg as a player would.
#include "audio/cover.h"
#include "audio/oggopus.h"
#include "engines/wavwriter.h"
#include "tests/audio.h"
#include "tests/testutil.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace Qt::StringLiterals;

namespace {

// A WAV of the program's format: a tone of this many samples.
void WriteTone(const QString &path, qint64 samples, double hertz)
{
    std::vector<qint16> tone(static_cast<size_t>(samples));
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<qint16>(8000 * std::sin(2 * std::numbers::pi * hertz * double(i) / 22050));
    WavFileStream wav;
    wav.Open(path);
    wav.Write(tone.data(), samples);
    wav.Close();
}

} // namespace

TEST(OggOpus, OneFileOfEveryWavWithItsTagsChaptersAndCover)
{
    QTemporaryDir dir;
    const QStringList wavs = {dir.filePath(u"output001.wav"_s), dir.filePath(u"output002.wav"_s)};
    WriteTone(wavs[0], 3 * 22050 + 17, 220);
    WriteTone(wavs[1], 2 * 22050 + 5, 330);
    const double seconds = (5 * 22050 + 22) / 22050.0;
    // A real JPEG, as a camera or an editor writes one.
    QProcess ffmpeg;
    ffmpeg.start(u"ffmpeg"_s, {u"-v"_s, u"error"_s, u"-f"_s, u"lavfi"_s, u"-i"_s, u"color=c=navy:s=320x240"_s,
                               u"-frames:v"_s, u"1"_s, dir.filePath(u"cover.jpg"_s)});
    ASSERT_TRUE(ffmpeg.waitForFinished(60000));
    QFile coverFile(dir.filePath(u"cover.jpg"_s));
    ASSERT_TRUE(coverFile.open(QIODevice::ReadOnly));
    const QByteArray cover = coverFile.readAll();
    const CoverCheck check = CheckCover(cover);
    ASSERT_TRUE(check.Usable()) << check.refusal.toStdString();
    EXPECT_EQ(std::pair(check.width, check.height), std::pair(320, 240));

    AudioTags tags;
    tags.title = u"Ödön's report"_s;
    tags.artist = u"Ann Ödegaard"_s;
    tags.album = u"Readings"_s;
    tags.track = 2;
    tags.trackCount = 5;
    tags.genre = u"Speech"_s;
    tags.language = u"eng"_s;
    tags.comment = u"Voice: slt"_s;
    const QList<AudioChapter> chapters = {{u"Opening"_s, 0, 3000}, {u"Chapter = Two"_s, 3001, 5001}};
    const QString opus = dir.filePath(u".vt-partial.part"_s);
    ASSERT_EQ(WriteOggOpus(opus, wavs, tags, chapters, CoverPicture{cover, check.mimeType}), QString());

    const Probed probed = Ffprobe(opus);
    ASSERT_TRUE(probed.valid);
    EXPECT_EQ(probed.format, u"ogg"_s);
    // As long as the WAVs together, as a player plays it (ffprobe's figure counts the
    // encoder's 6.5 ms of priming as well).
    EXPECT_NEAR(static_cast<double>(DecodeWithFfmpeg(opus).size()) / 22050, seconds, 0.002);
    const std::pair<QString, QString> expected[] = {
        {u"title"_s, tags.title}, {u"artist"_s, tags.artist}, {u"album"_s, tags.album}, {u"track"_s, u"2"_s},
        {u"genre"_s, tags.genre}, {u"language"_s, tags.language}, {u"comment"_s, tags.comment},
    };
    for (const auto &[key, value] : expected)
        EXPECT_EQ(probed.tags.value(key), value) << key.toStdString();
    ASSERT_EQ(probed.chapters.size(), 2);
    EXPECT_EQ(probed.chapters[0].title, u"Opening"_s);
    EXPECT_EQ(probed.chapters[1].title, u"Chapter = Two"_s);
    EXPECT_NEAR(probed.chapters[0].start, 0, 0.0005);
    EXPECT_NEAR(probed.chapters[1].start, 3.001, 0.0005);
    EXPECT_EQ(probed.pictures, 1);

    // A file that is not of the program's WAV format fails with the reason and leaves nothing.
    WriteBytes(dir.filePath(u"broken.wav"_s), QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16) + QByteArray(30, '\x01'));
    const QString failed = dir.filePath(u"failed.opus"_s);
    EXPECT_TRUE(WriteOggOpus(failed, {wavs[0], dir.filePath(u"broken.wav"_s)}, tags, chapters)
                    .contains(u"not a WAV file of 22 050 Hz"_s));
    EXPECT_FALSE(QFile::exists(failed));
    EXPECT_TRUE(WriteOggOpus(failed, wavs, tags, chapters, CoverPicture{cover.chopped(2), u"image/jpeg"_s})
                    .contains(u"cut short"_s));
    EXPECT_FALSE(QFile::exists(failed));
}
