#include "audio/oggopus.h"

#include "audio/cover.h"
#include "filesystem/filesystem.h"

#include <QtEndian>

#include <opusenc.h>

#include <cstring>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

namespace {

constexpr int kSampleRate = 22050;
constexpr int kBitRate = 24000;
constexpr int kFrontCover = 3;
constexpr qint64 kBlockSamples = 16384;

struct CommentsDeleter
{
    void operator()(OggOpusComments *comments) const { ope_comments_destroy(comments); }
};
struct EncoderDeleter
{
    void operator()(OggOpusEnc *encoder) const { ope_encoder_destroy(encoder); }
};

QString SystemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Where the encoder's pages go; a failed write is kept to be told.
struct Output
{
    Fs::File file;
    int error = 0;
};

int WritePage(void *user, const unsigned char *bytes, opus_int32 length)
{
    auto *output = static_cast<Output *>(user);
    if (output->error == 0)
        output->error = output->file.Write(QByteArrayView(reinterpret_cast<const char *>(bytes), length));
    return output->error != 0;
}

int CloseOutput(void *)
{
    return 0; // closed by its owner, who learns of a failure there
}

QString OneLine(QString text)
{
    return text.replace(u'\n', u' ').replace(u'\r', u' ');
}

QString Timestamp(qint64 ms)
{
    ms = std::max<qint64>(ms, 0);
    return u"%1:%2:%3.%4"_s.arg(ms / 3600000, 2, 10, QChar(u'0'))
        .arg(ms / 60000 % 60, 2, 10, QChar(u'0'))
        .arg(ms / 1000 % 60, 2, 10, QChar(u'0'))
        .arg(ms % 1000, 3, 10, QChar(u'0'));
}

// The comments of the file; "" or why they cannot be made.
QString AddComments(OggOpusComments *comments, const AudioTags &tags, const QList<AudioChapter> &chapters,
                    const std::optional<CoverPicture> &cover)
{
    auto add = [&](const char *name, const QString &value) {
        if (!value.isEmpty())
            ope_comments_add(comments, name, OneLine(value).toUtf8().constData());
    };
    add("TITLE", tags.title);
    add("ARTIST", tags.artist);
    add("ALBUM", tags.album);
    if (tags.track > 0)
        add("TRACKNUMBER", QString::number(tags.track));
    if (tags.trackCount > 0)
        add("TRACKTOTAL", QString::number(tags.trackCount));
    add("GENRE", tags.genre);
    add("LANGUAGE", tags.language);
    add("COMMENT", tags.comment);
    for (qsizetype i = 0; i < std::min<qsizetype>(chapters.size(), kMaxOpusChapters); ++i) {
        const QByteArray name = "CHAPTER" + QByteArray::number(i + 1).rightJustified(3, '0');
        ope_comments_add(comments, name.constData(), Timestamp(chapters[i].startMs).toUtf8().constData());
        ope_comments_add(comments, (name + "NAME").constData(), OneLine(chapters[i].title).toUtf8().constData());
    }
    if (cover) {
        const CoverCheck check = CheckCover(cover->bytes);
        if (!check.Usable())
            return check.refusal;
        if (check.mimeType != cover->mimeType)
            return u"The picture is a %1, not a %2"_s.arg(check.mimeType, cover->mimeType);
        if (const int error = ope_comments_add_picture_from_memory(comments, cover->bytes.constData(),
                                                                   static_cast<size_t>(cover->bytes.size()),
                                                                   kFrontCover, nullptr))
            return u"The picture cannot be a cover: "_s + QString::fromUtf8(ope_strerror(error));
    }
    return QString();
}

// The samples of one of the program's WAV files into the encoder; "" or why not.
QString EncodeWav(OggOpusEnc *encoder, const QString &path)
{
    auto file = Fs::OpenForReading(path);
    if (!file)
        return u"%1 cannot be read (%2)"_s.arg(path, SystemError(file.Error()));
    auto readExactly = [&](char *into, qint64 size) {
        qint64 done = 0;
        while (done < size) {
            const qint64 n = file->Read(into + done, size - done);
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    };
    const QString broken = path + u" is not a WAV file of 22 050 Hz 16-bit mono samples"_s;
    char riff[12];
    if (!readExactly(riff, 12) || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        return broken;
    bool format = false;
    for (;;) {
        char chunk[8];
        if (!readExactly(chunk, 8))
            return broken;
        const quint32 size = qFromLittleEndian<quint32>(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            char fmt[16];
            if (size < 16 || size > 64 || !readExactly(fmt, 16))
                return broken;
            char rest[64];
            if (!readExactly(rest, (size - 16) + (size & 1)))
                return broken;
            format = qFromLittleEndian<quint16>(fmt) == 1 && qFromLittleEndian<quint16>(fmt + 2) == 1
                     && qFromLittleEndian<quint32>(fmt + 4) == kSampleRate && qFromLittleEndian<quint16>(fmt + 14) == 16;
            if (!format)
                return broken;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!format)
                return broken;
            // Up to the size the header gives, or the end of a file cut short.
            qint64 left = size / 2;
            std::vector<char> bytes(static_cast<size_t>(kBlockSamples * 2));
            std::vector<opus_int16> samples(static_cast<size_t>(kBlockSamples));
            while (left > 0) {
                const qint64 wanted = std::min(left, kBlockSamples) * 2;
                qint64 got = 0;
                while (got < wanted) {
                    const qint64 n = file->Read(bytes.data() + got, wanted - got);
                    if (n < 0)
                        return u"%1 cannot be read (%2)"_s.arg(path, SystemError(errno));
                    if (n == 0)
                        break;
                    got += n;
                }
                const qint64 count = got / 2;
                for (qint64 i = 0; i < count; ++i)
                    samples[static_cast<size_t>(i)] = qFromLittleEndian<qint16>(bytes.data() + 2 * i);
                if (count > 0) {
                    if (const int error = ope_encoder_write(encoder, samples.data(), static_cast<int>(count)))
                        return u"The speech cannot be encoded: "_s + QString::fromUtf8(ope_strerror(error));
                }
                if (got < wanted)
                    break;
                left -= count;
            }
            return QString();
        } else {
            // Another chunk: skipped.
            char skip[4096];
            for (qint64 left = qint64(size) + (size & 1); left > 0;) {
                const qint64 n = std::min<qint64>(left, sizeof skip);
                if (!readExactly(skip, n))
                    return broken;
                left -= n;
            }
        }
    }
}

QString Encode(Output &output, const QStringList &wavPaths, const AudioTags &tags,
               const QList<AudioChapter> &chapters, const std::optional<CoverPicture> &cover)
{
    const std::unique_ptr<OggOpusComments, CommentsDeleter> comments(ope_comments_create());
    if (!comments)
        return u"Out of memory"_s;
    if (const QString why = AddComments(comments.get(), tags, chapters, cover); !why.isEmpty())
        return why;
    const OpusEncCallbacks callbacks{WritePage, CloseOutput};
    int error = OPE_OK;
    const std::unique_ptr<OggOpusEnc, EncoderDeleter> encoder(
        ope_encoder_create_callbacks(&callbacks, &output, comments.get(), kSampleRate, 1, 0, &error));
    if (!encoder)
        return u"The Opus encoder cannot be started: "_s + QString::fromUtf8(ope_strerror(error));
    // Speech, for the ear: the coding made for voices.
    ope_encoder_ctl(encoder.get(), OPUS_SET_APPLICATION(OPUS_APPLICATION_VOIP));
    ope_encoder_ctl(encoder.get(), OPUS_SET_SIGNAL(OPUS_SIGNAL_VOICE));
    if ((error = ope_encoder_ctl(encoder.get(), OPUS_SET_BITRATE(kBitRate))) != OPE_OK)
        return u"The Opus encoder cannot be set up: "_s + QString::fromUtf8(ope_strerror(error));
    for (const QString &wav : wavPaths) {
        if (const QString why = EncodeWav(encoder.get(), wav); !why.isEmpty())
            return output.error ? QString() : why;
    }
    if ((error = ope_encoder_drain(encoder.get())) != OPE_OK && output.error == 0)
        return u"The speech cannot be encoded: "_s + QString::fromUtf8(ope_strerror(error));
    return QString();
}

} // namespace

QString WriteOggOpus(const QString &path, const QStringList &wavPaths, const AudioTags &tags,
                     const QList<AudioChapter> &chapters, const std::optional<CoverPicture> &cover)
{
    auto created = Fs::CreateFresh(path, 0666);
    if (!created)
        return u"%1 cannot be created (%2)"_s.arg(path, SystemError(created.Error()));
    Output output{std::move(*created)};
    QString why = Encode(output, wavPaths, tags, chapters, cover);
    if (why.isEmpty() && output.error != 0)
        why = u"The speech could not be saved to %1 (%2)"_s.arg(path, SystemError(output.error));
    if (const int error = output.file.Close(); error != 0 && why.isEmpty())
        why = u"The speech could not be saved to %1 (%2)"_s.arg(path, SystemError(error));
    if (!why.isEmpty())
        Fs::Remove(path);
    return why;
}
