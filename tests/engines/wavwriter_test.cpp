#include "engines/wavwriter.h"

#include <QBuffer>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

quint32 U32(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

quint16 U16(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

} // namespace

TEST(WavWriter, WritesThe44ByteHeaderAndFillsInTheSizesAtTheEnd)
{
    QByteArray bytes;
    QBuffer device(&bytes);
    device.open(QIODevice::ReadWrite);
    WavWriter writer(device);
    ASSERT_TRUE(writer.Begin());
    EXPECT_EQ(bytes.size(), 44);
    EXPECT_EQ(U32(bytes, 40), 0u); // sizes open while speech comes
    QList<qint16> samples;
    for (int i = 0; i < 50000; ++i) // more than the writer keeps before writing
        samples.append(static_cast<qint16>(i % 2 ? -1234 : 4321));
    ASSERT_TRUE(writer.Write(samples.constData(), samples.size()));
    ASSERT_TRUE(writer.Write(samples.constData(), 3));
    ASSERT_TRUE(writer.Finish());

    EXPECT_EQ(bytes.size(), 44 + 2 * 50003);
    EXPECT_EQ(bytes.left(4), QByteArray("RIFF"));
    EXPECT_EQ(U32(bytes, 4), 36u + 2 * 50003);
    EXPECT_EQ(bytes.mid(8, 8), QByteArray("WAVEfmt "));
    EXPECT_EQ(U32(bytes, 16), 16u);
    EXPECT_EQ(U16(bytes, 20), 1);      // PCM
    EXPECT_EQ(U16(bytes, 22), 1);      // mono
    EXPECT_EQ(U32(bytes, 24), 22050u); // samples per second
    EXPECT_EQ(U32(bytes, 28), 44100u); // bytes per second
    EXPECT_EQ(U16(bytes, 32), 2);
    EXPECT_EQ(U16(bytes, 34), 16);
    EXPECT_EQ(bytes.mid(36, 4), QByteArray("data"));
    EXPECT_EQ(U32(bytes, 40), 2u * 50003);
    EXPECT_EQ(qFromLittleEndian<qint16>(bytes.constData() + 44), 4321);
    EXPECT_EQ(qFromLittleEndian<qint16>(bytes.constData() + 46), -1234);
    EXPECT_EQ(writer.SampleCount(), 50003);
    EXPECT_EQ(device.pos(), bytes.size()); // left at the end
}

TEST(WavWriter, ADeviceThatRefusesIsReported)
{
    QByteArray bytes;
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    WavWriter writer(device);
    EXPECT_FALSE(writer.Begin());
    EXPECT_FALSE(writer.TooLong());
}
