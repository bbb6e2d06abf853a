#pragma once

#include "api/documentreader.h"

#include <QByteArray>

class IEventLoop;

// The OpenDocument text reader: libzip opens the package, content.xml is streamed. The
// text may never outgrow the XML by more than a small constant, whatever it expands, nor
// pass 50 million characters; a content.xml over 16 MiB that declares more than 100 times
// its compressed size is refused before it is read (each is "too large"). The reader
// yields to the event loop, when it has one, every 30 ms. The facts are the title and the
// author of meta.xml (read within limits of its own; one that cannot be read names
// nothing), the headings (text:h) with the lines they begin on, and the languages that the
// styles give the text: the default paragraph style's is the document's own (else
// meta.xml's dc:language), paragraph and text styles (automatic and common, through the
// styles they are based on; styles.xml within limits of its own) mark the rest, each of
// the three languages of a style (Western, Asian, complex) for the characters of its class.
class OdtReader final : public IDocumentReader
{
public:
    explicit OdtReader(IEventLoop *events = nullptr);
    void ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts = nullptr) override;

private:
    IEventLoop *m_events;
};

// The flat OpenDocument text reader (.fodt, the whole document in one XML file): the body
// text and the limits of a package's content.xml, streamed from the file.
class FlatOdtReader final : public IDocumentReader
{
public:
    explicit FlatOdtReader(IEventLoop *events = nullptr);
    void ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts = nullptr) override;

private:
    IEventLoop *m_events;
};

/// The body text of an OpenDocument content.xml given whole, for tests and tools; facts,
/// when given, receive its headings and the languages of its automatic styles.
QString OdtBodyTextFromXml(const QByteArray &contentXml, DocumentFacts *facts = nullptr);
