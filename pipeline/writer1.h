#pragma once

#include <QString>

class IDocumentReader;
class IEventLoop;
class IWorkingFolder;

// The document text side of the pipeline (the Writer1 module).

/// Writes the body text of the document to the working folder's "output.txt" in the
/// code page, with nothing added. The whole text is taken before the file appears, so a
/// document that cannot be read throws and leaves no "output.txt" behind. Returns "".
QString ExtractDocumentText(IDocumentReader &reader, IWorkingFolder &working, const QString &documentPath);

/// Returns after the given number of seconds of the time of day (also across midnight),
/// yielding to the event loop and sleeping a few milliseconds on every pass.
void WaitSeconds(IEventLoop &events, double seconds);
