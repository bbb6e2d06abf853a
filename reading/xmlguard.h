#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QXmlStreamReader>

// XML from a user or a document, read without its dangers: no entity is ever expanded or
// fetched, and the readers stop at a size and a depth.

/// A reader of xml (which must outlive it) that expands no entity.
void PrepareXmlReader(QXmlStreamReader &reader, QByteArrayView xml);
/// Why the reader's current token is refused, empty when it is not: a document type that
/// declares entities, a reference to an entity, an element deeper than maxDepth.
QString RefusedXmlToken(const QXmlStreamReader &reader, int depth, int maxDepth);
/// The reader's error with its line: "damaged XML at line 3: ...".
QString XmlErrorText(const QXmlStreamReader &reader);
