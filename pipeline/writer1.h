#pragma once

#include <QString>

class IDocumentReader;
struct DocumentFacts;

// The document text side of the pipeline (the Writer1 module).

/// Writes the body text of the document to textPath (the working folder's "output.txt")
/// in the code page, with nothing added; a text that the code page does not hold is
/// written as UTF-8 behind a byte-order mark instead, every letter kept. The whole text is taken before the file appears,
/// so a document that cannot be read throws and leaves no text file behind. Returns "".
/// facts, when given, receives what the document says of itself (title, author, headings).
QString ExtractDocumentText(IDocumentReader &reader, const QString &textPath, const QString &documentPath,
                            DocumentFacts *facts = nullptr);
