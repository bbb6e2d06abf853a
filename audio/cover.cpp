#include "audio/cover.h"

#include <QtEndian>

using namespace Qt::StringLiterals;

namespace {

constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";
constexpr char kPngEnd[] = "\0\0\0\0IEND\xae\x42\x60\x82";

quint16 BigEndian16(const QByteArray &bytes, qsizetype at)
{
    return qFromBigEndian<quint16>(bytes.constData() + at);
}

CoverCheck Refused(const QString &why)
{
    CoverCheck check;
    check.refusal = why;
    return check;
}

CoverCheck Sized(const QString &mimeType, qint64 width, qint64 height)
{
    if (width <= 0 || height <= 0)
        return Refused(u"The picture is damaged: its header gives no size"_s);
    if (width > kMaxCoverSide || height > kMaxCoverSide)
        return Refused(u"The picture is too large: %1 × %2 pixels, a cover may have at most %3 a side"_s.arg(width)
                           .arg(height)
                           .arg(kMaxCoverSide));
    return {mimeType, static_cast<int>(width), static_cast<int>(height), QString()};
}

CoverCheck CheckJpeg(const QByteArray &bytes)
{
    // The markers from the start of the image up to the first frame header, which holds its size.
    qsizetype at = 2;
    qint64 width = -1;
    qint64 height = -1;
    for (;;) {
        if (at >= bytes.size() || quint8(bytes[at]) != 0xFF)
            return Refused(u"The picture is damaged: its JPEG header is broken"_s);
        while (at < bytes.size() && quint8(bytes[at]) == 0xFF)
            ++at; // fill bytes
        if (at >= bytes.size())
            return Refused(u"The picture is damaged: its JPEG header is cut short"_s);
        const quint8 marker = quint8(bytes[at++]);
        if (marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7))
            continue; // markers without a length
        if (marker == 0xD9)
            return Refused(u"The picture is damaged: its JPEG data ends before the image"_s);
        if (at + 2 > bytes.size())
            return Refused(u"The picture is damaged: its JPEG header is cut short"_s);
        const qsizetype length = BigEndian16(bytes, at);
        if (length < 2 || at + length > bytes.size())
            return Refused(u"The picture is damaged: its JPEG header is cut short"_s);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && width < 0) {
            if (length < 7)
                return Refused(u"The picture is damaged: its JPEG frame header is too short"_s);
            height = BigEndian16(bytes, at + 3);
            width = BigEndian16(bytes, at + 5);
        }
        at += length;
        if (marker == 0xDA)
            break; // the image data begins
    }
    if (width < 0)
        return Refused(u"The picture is damaged: its JPEG data has no frame header"_s);
    // A picture cut short (a download that stopped) lacks the end marker after its data.
    if (bytes.lastIndexOf("\xFF\xD9") < at)
        return Refused(u"The picture is damaged: its JPEG data is cut short"_s);
    return Sized(u"image/jpeg"_s, width, height);
}

CoverCheck CheckPng(const QByteArray &bytes)
{
    // The first chunk is the header: 13 bytes that begin with the width and the height.
    if (bytes.size() < 33 || bytes.mid(8, 8) != QByteArray("\0\0\0\x0dIHDR", 8))
        return Refused(u"The picture is damaged: its PNG header is broken"_s);
    if (!bytes.endsWith(QByteArray(kPngEnd, sizeof kPngEnd - 1)))
        return Refused(u"The picture is damaged: its PNG data is cut short"_s);
    return Sized(u"image/png"_s, qFromBigEndian<quint32>(bytes.constData() + 16),
                 qFromBigEndian<quint32>(bytes.constData() + 20));
}

} // namespace

CoverCheck CheckCover(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return Refused(u"The picture is empty"_s);
    if (bytes.size() > kMaxCoverBytes)
        return Refused(u"The picture is too large: %1 bytes, a cover may have at most 4 MiB"_s.arg(bytes.size()));
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return CheckJpeg(bytes);
    if (bytes.startsWith(QByteArray(kPngSignature, sizeof kPngSignature - 1)))
        return CheckPng(bytes);
    return Refused(u"The picture is neither a JPEG nor a PNG"_s);
}
