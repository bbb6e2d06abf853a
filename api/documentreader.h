#pragma once

#include <QString>
#include <QStringView>

#include <functional>

// Reads the body text of a document as the office suite's text interface hands it back:
// paragraphs in document order joined by one LF, with nothing added.
class IDocumentReader
{
public:
    virtual ~IDocumentReader() = default;

    using TextSink = std::function<void(QStringView piece)>;

    /// Hands the body text of the document at path to sink, piece by piece, in order.
    /// Throws RuntimeError when the document cannot be read; the sink may then have
    /// received part of the text.
    virtual void ReadBodyText(const QString &path, const TextSink &sink) = 0;
};
