#pragma once

#include "api/documentreader.h"

#include <QByteArray>

class IEventLoop;

// The Word document reader (.docx, .docm, .dotx, .dotm: WordprocessingML in a zip
// package): libzip opens the package, the main document part is streamed. The body text
// is what the office suite's text interface gives after every tracked change is accepted:
// paragraphs and headings in order, tables cell by cell, list items without their labels,
// tabs and line breaks, field results, inserted text (deleted text left out), footnote and
// endnote references as their numbers; text boxes, headers, footers, comments and note
// texts are left out. The title and author come from the package's core properties, the
// headings from the paragraphs' outline levels; the document's own language from the
// defaults of its styles (else the core properties), the languages of its passages from
// w:lang on runs, character and paragraph styles (w:val, w:eastAsia and w:bidi, each for
// the characters of its class). Limits as for every reader (limits.h).
class DocxReader final : public IDocumentReader
{
public:
    explicit DocxReader(IEventLoop *events = nullptr);
    void ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts = nullptr) override;

private:
    IEventLoop *m_events;
};

/// The body text of a main document part given whole (no styles, default note numbers),
/// for tests and tools.
QString DocxBodyTextFromXml(const QByteArray &documentXml, DocumentFacts *facts = nullptr);
