#pragma once

#include "api/documentreader.h"

class IEventLoop;

// The e-book reader (.epub, versions 2 and 3): the documents of the book's spine in
// reading order, each read as a web page (block elements as lines; see HtmlText); the
// book's title and first author as tags; its dc:language as its own language, and the
// languages its documents' elements say as marks; the entries of its navigation document
// (EPUB 3) or table of contents (EPUB 2) as headings at the lines where they point. A book
// that is protected by DRM is refused with a message that says so; limits as for every
// reader.
class EpubReader final : public IDocumentReader
{
public:
    explicit EpubReader(IEventLoop *events = nullptr);
    void ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts = nullptr) override;

private:
    IEventLoop *m_events;
};
