#include "audio/cover.h"
#include "audio/levelstage.h"
#include "audio/loudness.h"
#include "audio/voicelevels.h"
#include "filesystem/filesystem.h"
#include "tests/testutil.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace Qt::StringLiterals;

namespace {

constexpr int kRate = 22050;

// One second at 1 % of full scale, one second of full-scale bursts (a low tone and one near
// the top of the band, whose peaks fall between the samples), then three quiet seconds.
std::vector<qint16> QuietLoudQuiet()
{
    std::vector<qint16> samples(5 * kRate);
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = double(i) / kRate;
        const double loud = i >= size_t(kRate) && i < size_t(2 * kRate) ? 1.0 : 0.01;
        const double v = 0.6 * std::sin(2 * std::numbers::pi * 10900 * t + 0.3) + 0.4 * std::sin(2 * std::numbers::pi * 180 * t);
        samples[i] = static_cast<qint16>(std::lround(std::clamp(loud * v, -1.0, 1.0) * 32767));
    }
    return samples;
}

std::vector<qint16> Levelled(const std::vector<qint16> &in, double levelDb, qint64 piece, int volume = 100)
{
    MemorySink out;
    LevelStage stage(out, levelDb, volume);
    for (qint64 at = 0; at < qint64(in.size()); at += piece)
        EXPECT_TRUE(stage.Write(in.data() + at, std::min<qint64>(piece, qint64(in.size()) - at)));
    EXPECT_TRUE(stage.Finish());
    return out.Samples();
}

} // namespace

TEST(LevelStage, NoSampleOrPeakPassesTheCeilingAndNoSampleMoves)
{
    const std::vector<qint16> in = QuietLoudQuiet();
    for (const double levelDb : {0.0, 12.0, 24.0}) { // up to 24 dB over full scale
        const std::vector<qint16> out = Levelled(in, levelDb, 1000);
        ASSERT_EQ(out.size(), in.size());
        EXPECT_LE(MeasureLoudness(out.data(), qint64(out.size())).truePeak, kPeakCeiling + 0.05) << levelDb;
        EXPECT_EQ(std::count_if(out.begin(), out.end(), [](qint16 s) { return s == 32767 || s == -32768; }), 0);
        // Away from the loud second, every sample is its input raised by the level, in its place.
        const double gain = std::pow(10.0, levelDb / 20);
        for (const auto &[from, to] : {std::pair{0, kRate - 200}, std::pair{4 * kRate, 5 * kRate}}) {
            for (int i = from; i < to; ++i)
                ASSERT_NEAR(out[size_t(i)], in[size_t(i)] * gain, 1.0) << levelDb << " dB at " << i;
        }
    }
    // The volume comes after the limiter: half the volume is the same sound at half the amplitude.
    const std::vector<qint16> full = Levelled(in, 12.0, 4096);
    const std::vector<qint16> half = Levelled(in, 12.0, 4096, 50);
    for (size_t i = 0; i < in.size(); ++i)
        ASSERT_NEAR(half[i], full[i] * 0.5, 1.0) << i;
    EXPECT_EQ(Levelled(in, 12.0, 4096, 0), std::vector<qint16>(in.size(), 0));
    // The same samples give the same samples out, however they come and whatever a stage did before.
    Levelled(std::vector<qint16>(in.rbegin(), in.rend()), 12.0, 333);
    EXPECT_EQ(Levelled(in, 12.0, 1), full);
    EXPECT_EQ(Levelled(in, 12.0, 4096), full);
    EXPECT_EQ(Levelled({1000, -1000, 7}, 0.0, 2), (std::vector<qint16>{1000, -1000, 7}));
}

TEST(VoiceLevels, MeasuredOnceAndKeptOnlyInAFolderOfTheUsersOwn)
{
    QTemporaryDir home;
    const QString folder = home.filePath(u"cache/vocatext"_s);
    const QString key = u"flite 2.2|slt|rate -3"_s;
    int measured = 0;
    auto measure = [&] {
        ++measured;
        return std::optional<double>(-3.4);
    };
    VoiceLevels first(folder);
    EXPECT_EQ(first.Level(key, measure), -3.4);
    EXPECT_EQ(first.Level(key, measure), -3.4);
    EXPECT_EQ(measured, 1);
    ASSERT_EQ(first.FilePath(), folder + u"/loudness"_s);
    EXPECT_EQ(FileSystem::LinkStat(folder)->mode & 0777, 0700u);
    EXPECT_EQ(FileSystem::LinkStat(first.FilePath())->mode & 0777, 0600u);

    // The next process finds it; silence is never kept.
    VoiceLevels next(folder);
    EXPECT_EQ(next.Level(key, measure), -3.4);
    EXPECT_EQ(measured, 1);
    auto silence = [&] {
        ++measured;
        return std::optional<double>();
    };
    EXPECT_FALSE(next.Level(u"mute"_s, silence).has_value());
    EXPECT_FALSE(next.Level(u"mute"_s, silence).has_value());
    EXPECT_EQ(measured, 3);

    // A damaged file is measured again and replaced.
    WriteBytes(first.FilePath(), "level\tfor everything\n");
    EXPECT_EQ(VoiceLevels(folder).Level(key, measure), -3.4);
    EXPECT_EQ(measured, 4);
    EXPECT_EQ(VoiceLevels(folder).Level(key, measure), -3.4);
    EXPECT_EQ(measured, 4);

    // A link, or a folder others may write: memory alone.
    ASSERT_TRUE(QFile::link(folder, home.filePath(u"link"_s)));
    VoiceLevels linked(home.filePath(u"link"_s));
    EXPECT_EQ(linked.FilePath(), QString());
    EXPECT_EQ(linked.Level(key, measure), -3.4);
    EXPECT_EQ(measured, 5);
    ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::Permissions(0x7777)));
    EXPECT_EQ(VoiceLevels(folder).FilePath(), QString());
}

namespace {

QByteArray Jpeg(int width, int height)
{
    QByteArray jpeg("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 20);
    jpeg += QByteArray("\xFF\xC0\x00\x11\x08", 5);
    for (const int side : {height, width})
        jpeg += char(side >> 8), jpeg += char(side & 0xFF);
    jpeg += QByteArray("\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 10);
    jpeg += QByteArray("\xFF\xDA\x00\x0C\x03\x01\x00\x02\x11\x03\x11\x00\x3F\x00", 14);
    return jpeg + QByteArray(200, '\x55') + "\xFF\xD9";
}

QByteArray Png(quint32 width, quint32 height)
{
    QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (const quint32 side : {width, height})
        png += char(side >> 24), png += char(side >> 16), png += char(side >> 8), png += char(side);
    png += QByteArray("\x08\x02\x00\x00\x00\x12\x34\x56\x78", 9);
    return png + QByteArray("\0\0\0\x05IDAT\x78\x9c\x63\x00\x00\x11\x22\x33\x44", 17)
           + QByteArray("\0\0\0\0IEND\xae\x42\x60\x82", 12);
}

} // namespace

TEST(CheckCover, TakesWholeJpegAndPngPicturesOfACoversSize)
{
    const CoverCheck jpeg = CheckCover(Jpeg(400, 600));
    EXPECT_TRUE(jpeg.Usable()) << jpeg.refusal.toStdString();
    EXPECT_EQ(jpeg.mimeType, u"image/jpeg"_s);
    EXPECT_EQ(std::pair(jpeg.width, jpeg.height), std::pair(400, 600));
    const CoverCheck png = CheckCover(Png(1400, 1400));
    EXPECT_TRUE(png.Usable()) << png.refusal.toStdString();
    EXPECT_EQ(png.mimeType, u"image/png"_s);
    EXPECT_EQ(std::pair(png.width, png.height), std::pair(1400, 1400));

    // Each refused with its reason: cut short, damaged, too large, too many pixels, another type.
    const std::pair<QByteArray, QString> refused[] = {
        {Jpeg(400, 600).chopped(2), u"cut short"_s},
        {Png(1400, 1400).chopped(5), u"cut short"_s},
        {Jpeg(400, 600).left(30), u"damaged"_s},
        {Jpeg(0, 600), u"damaged"_s},
        {Png(20000, 100), u"too large"_s},
        {Jpeg(9000, 9000), u"too large"_s},
        {Png(100, 100) + QByteArray(kMaxCoverBytes, '\0'), u"too large"_s},
        {QByteArray("GIF89a\x01\x00\x01\x00", 10), u"neither a JPEG nor a PNG"_s},
        {QByteArray(), u"empty"_s},
    };
    for (const auto &[bytes, why] : refused) {
        const CoverCheck check = CheckCover(bytes);
        EXPECT_FALSE(check.Usable()) << why.toStdString();
        EXPECT_TRUE(check.refusal.contains(why)) << check.refusal.toStdString();
        EXPECT_TRUE(check.mimeType.isEmpty());
    }
}
