#pragma once

#include "api/documentreader.h"

class IEventLoop;

// The web page reader (.html, .htm; .xhtml read as XML, and as HTML when it is not
// well-formed): Gumbo, an HTML5 parser, reads the page as browsers do, in the page's own
// character set. The text is the body as a browser shows it (see HtmlText), its title and
// author tags, its headings the chapters, its root's lang its own language and the lang
// of its other elements marks. A page over 32 MiB, or one whose parse would take more
// than 1 GiB, is "too large"; limits as for every reader (limits.h).
class HtmlReader final : public IDocumentReader
{
public:
    enum class Syntax { Html, Xhtml };
    explicit HtmlReader(IEventLoop *events = nullptr, Syntax syntax = Syntax::Html);
    void ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts = nullptr) override;

private:
    IEventLoop *m_events;
    Syntax m_syntax;
};

/// The text of an HTML page given whole, for tests and tools.
QString HtmlBodyText(const QByteArray &page, DocumentFacts *facts = nullptr);
