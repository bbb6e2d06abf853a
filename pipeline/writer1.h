#pragma once

#include <QString>

class IDocumentReader;
class IEventLoop;
class IWorkingFolder;
struct DocumentFacts;

// The document text side of the pipeline (the Writer1 module).

/// Writes the body text of the document to the working folder's "output.txt" in the
/// code page, with nothing added. The whole text is taken before the file appears, so a
/// document that cannot be read throws and leaves no "output.txt" behind. Returns "".
/// facts, when given, receives what the document says of itself (title, author, headings).
QString ExtractDocumentText(IDocumentReader &reader, IWorkingFolder &working, const QString &documentPath,
                            DocumentFacts *facts = nullptr);

/// Returns after the given number of seconds of the time of day (also across midnight),
/// yielding to the event loop and sleeping a few milliseconds on every pass.
void WaitSeconds(IEventLoop &events, double seconds);
