#pragma once

#include "api/documentreader.h"

#include <QByteArray>

class IEventLoop;

// The Markdown reader (.md, .markdown; CommonMark with GitHub's tables, task lists and
// strikethrough, parsed by md4c): the text as its HTML would show it (see HtmlText), so
// that headings, paragraphs, list items, code lines and table cells stand on lines of
// their own, and markup, link targets, raw HTML tags and the content of raw script and
// style elements are never read out. A front matter block of YAML is never read; it gives
// the title, author and language ("lang:"), else the first top-level heading is the
// title; the headings are the chapters. Limits as for every reader (limits.h).
class MarkdownReader final : public IDocumentReader
{
public:
    explicit MarkdownReader(IEventLoop *events = nullptr);
    void ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts = nullptr) override;

private:
    IEventLoop *m_events;
};

/// The text of Markdown given whole, for tests and tools.
QString MarkdownText(const QByteArray &markdown, DocumentFacts *facts = nullptr);
