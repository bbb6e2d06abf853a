#include "documents/textreader.h"

#include "common/codepage.h"
#include "documents/limits.h"
#include "documents/linewriter.h"
#include "documents/package.h"
#include "filesystem/filesystem.h"

#include <QFile>
#include <QStringDecoder>

#include <cstring>
#include <functional>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kChunk = 64 * 1024;

RuntimeError NotText(const QString &path)
{
    return RuntimeError(u"The file is not a text document: "_s + path, ErrorNumber::PathFileAccessError);
}

// A file read piece by piece, at most kMaxEntryBytes of it.
class FileBytes final : public ByteSource
{
public:
    FileBytes(const QString &path)
        : m_path(path)
    {
        OpenDocument(m_file, path);
    }
    QByteArray Next() override
    {
        const QByteArray chunk = m_file.read(kChunk);
        if (chunk.isEmpty() && m_file.error() != QFileDevice::NoError)
            throw FileAccessError(m_path, m_file.errorString());
        m_read += chunk.size();
        if (m_read > DocumentLimits::kMaxEntryBytes)
            throw TooLarge(m_path);
        return chunk;
    }

private:
    QFile m_file;
    QString m_path;
    qint64 m_read = 0;
};

using Opener = std::function<std::unique_ptr<ByteSource>()>;

TextEncoding ByMark(QByteArrayView head, int *bomLength)
{
    *bomLength = 0;
    if (head.startsWith("\xEF\xBB\xBF")) {
        *bomLength = 3;
        return TextEncoding::Utf8;
    }
    // UTF-32's marks first: UTF-32LE's begins as UTF-16LE's does.
    if (head.startsWith(QByteArrayView("\xFF\xFE\0\0", 4))) {
        *bomLength = 4;
        return TextEncoding::Utf32LE;
    }
    if (head.startsWith(QByteArrayView("\0\0\xFE\xFF", 4))) {
        *bomLength = 4;
        return TextEncoding::Utf32BE;
    }
    if (head.startsWith("\xFF\xFE")) {
        *bomLength = 2;
        return TextEncoding::Utf16LE;
    }
    if (head.startsWith("\xFE\xFF")) {
        *bomLength = 2;
        return TextEncoding::Utf16BE;
    }
    return TextEncoding::Windows1252; // not decided by a mark
}

// Qt's decoder of the encoding; none for Windows-1252, which the code page decodes.
std::optional<QStringConverter::Encoding> Converter(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringConverter::Utf8;
    case TextEncoding::Utf16LE:
        return QStringConverter::Utf16LE;
    case TextEncoding::Utf16BE:
        return QStringConverter::Utf16BE;
    case TextEncoding::Utf32LE:
        return QStringConverter::Utf32LE;
    case TextEncoding::Utf32BE:
        return QStringConverter::Utf32BE;
    case TextEncoding::Windows1252:
        break;
    }
    return std::nullopt;
}

// The first pass: the encoding, and whether the bytes are text at all.
TextEncoding Examine(const Opener &open, YieldClock &clock, const QString &path, int *bomLength)
{
    const std::unique_ptr<ByteSource> source = open();
    QByteArray chunk = source->Next();
    TextEncoding encoding = ByMark(chunk, bomLength);
    if (*bomLength > 0 && encoding != TextEncoding::Utf8)
        return encoding;
    QStringDecoder utf8(QStringConverter::Utf8);
    bool valid = true;
    for (; !chunk.isEmpty(); chunk = source->Next()) {
        clock.Check();
        if (std::memchr(chunk.constData(), 0, static_cast<size_t>(chunk.size())))
            throw NotText(path);
        if (valid) {
            [[maybe_unused]] const QString decoded = utf8(chunk);
            valid = !utf8.hasError();
        }
    }
    if (valid) { // a sequence cut off at the end shows at the next byte
        [[maybe_unused]] const QString rest = utf8(QByteArrayView("\n"));
        valid = !utf8.hasError();
    }
    return valid || *bomLength > 0 ? TextEncoding::Utf8 : TextEncoding::Windows1252;
}

// Each line is a paragraph; LF, CR LF and CR end a line.
class Lines
{
public:
    explicit Lines(LineWriter &out)
        : m_out(out)
    {
    }
    void Add(QStringView text)
    {
        qsizetype start = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c != u'\r' && c != u'\n')
                continue;
            Piece(text.mid(start, i - start));
            start = i + 1;
            if (c == u'\n' && m_afterCr) {
                m_afterCr = false;
                continue;
            }
            if (!m_open)
                m_out.Paragraph();
            m_open = false;
            m_afterCr = c == u'\r';
        }
        Piece(text.mid(start));
    }

private:
    void Piece(QStringView piece)
    {
        if (piece.isEmpty())
            return;
        m_afterCr = false;
        if (!m_open) {
            m_out.Paragraph();
            m_open = true;
        }
        m_out.Text(piece);
    }

    LineWriter &m_out;
    bool m_open = false;
    bool m_afterCr = false;
};

void ReadText(const Opener &open, const IDocumentReader::TextSink &sink, IEventLoop *events, const QString &path)
{
    YieldClock clock(events);
    int bomLength = 0;
    const TextEncoding encoding = Examine(open, clock, path, &bomLength);
    TextBudget budget(path);
    LineWriter out(sink, budget);
    Lines lines(out);
    std::optional<QStringDecoder> decoder;
    if (const auto converter = Converter(encoding))
        decoder.emplace(*converter);
    const std::unique_ptr<ByteSource> source = open();
    bool first = true;
    for (QByteArray chunk = source->Next(); !chunk.isEmpty(); chunk = source->Next()) {
        clock.Check();
        budget.Read(chunk.size());
        if (first)
            chunk.remove(0, bomLength);
        first = false;
        lines.Add(decoder ? QString((*decoder)(chunk)) : CodePage::Decode(chunk));
    }
    if (decoder)
        lines.Add(QString((*decoder)(QByteArray())));
    out.Finish();
}

} // namespace

TextEncoding DetectTextEncoding(QByteArrayView bytes, int *bomLength)
{
    int length = 0;
    TextEncoding encoding = ByMark(bytes, &length);
    if (length == 0) {
        QStringDecoder utf8(QStringConverter::Utf8);
        [[maybe_unused]] const QString decoded = utf8(bytes);
        [[maybe_unused]] const QString end = utf8(QByteArrayView("\n")); // a sequence cut off at the end
        encoding = utf8.hasError() ? TextEncoding::Windows1252 : TextEncoding::Utf8;
    }
    if (bomLength)
        *bomLength = length;
    return encoding;
}

QString DecodeText(QByteArrayView bytes)
{
    int bom = 0;
    const TextEncoding encoding = DetectTextEncoding(bytes, &bom);
    bytes = bytes.sliced(bom);
    if (const auto converter = Converter(encoding))
        return QStringDecoder(*converter)(bytes);
    return CodePage::Decode(bytes);
}

TextReader::TextReader(IEventLoop *events)
    : m_events(events)
{
}

void TextReader::ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts * /*facts*/)
{
    ReadText([&path] { return std::make_unique<FileBytes>(path); }, sink, m_events, path);
}

QString PlainTextFromBytes(const QByteArray &bytes)
{
    QString text;
    ReadText([&bytes] { return std::make_unique<WholeBytes>(bytes); },
             [&text](QStringView piece) { text.append(piece); }, nullptr, u"text.txt"_s);
    return text;
}
