#pragma once

#include "api/documentreader.h"

#include <QByteArray>

class IEventLoop;

// The plain text reader (.txt): UTF-8 with or without its byte-order mark, UTF-16 and
// UTF-32 with their byte-order marks, else Windows-1252; each line (ending in LF, CR LF or
// CR) is a paragraph. A file that holds NUL bytes without being UTF-16 or UTF-32 is no
// text and is refused.
// Limits as for every reader (limits.h).
class TextReader final : public IDocumentReader
{
public:
    explicit TextReader(IEventLoop *events = nullptr);
    void ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts = nullptr) override;

private:
    IEventLoop *m_events;
};

/// How a text file's bytes are decoded: by its byte-order mark, else UTF-8 when the bytes
/// are valid UTF-8, else Windows-1252.
enum class TextEncoding { Utf8, Utf16LE, Utf16BE, Utf32LE, Utf32BE, Windows1252 };
/// The encoding of bytes given whole, and the length of their byte-order mark.
TextEncoding DetectTextEncoding(QByteArrayView bytes, int *bomLength = nullptr);
/// The bytes as text in that encoding (the byte-order mark left out).
QString DecodeText(QByteArrayView bytes);

/// The text of bytes given whole, for tests and tools.
QString PlainTextFromBytes(const QByteArray &bytes);
