#pragma once

#include "api/documentreader.h"
#include "documents/limits.h"

#include <QString>

class IEventLoop;
class IProcessRunner;
class IWorkingFolder;

// Every other type of document that LibreOffice opens (.doc, .rtf, .wpd, .pages, ...):
// LibreOffice, started without a window, converts it to OpenDocument text in a folder of
// its own inside the working folder, with a profile of its own there (so an office the
// user is running is never disturbed), within a time and a memory limit; the OpenDocument
// reader reads the result, and the folder goes. A document beyond any real one (by its
// size, or an RTF by its nesting and paragraphs) is refused before LibreOffice starts.
// Without LibreOffice: "This type of document needs LibreOffice: apt-get install
// libreoffice-writer-nogui".
class OfficeConverter final : public IDocumentReader
{
public:
    /// office: LibreOffice's program (InstalledOffice()), or empty when there is none.
    OfficeConverter(IProcessRunner *processes, IWorkingFolder *working, IEventLoop *events, QString office,
                    int timeLimitSeconds = 600, qint64 memoryLimit = DocumentLimits::kOfficeMemoryBytes);
    void ReadBodyText(const QString &path, const TextSink &sink, DocumentFacts *facts = nullptr) override;

    /// LibreOffice's program where Debian installs it, or empty when it is not installed.
    static QString InstalledOffice();

private:
    QString Convert(const QString &document, const QString &folder);

    IProcessRunner *m_processes;
    IWorkingFolder *m_working;
    IEventLoop *m_events;
    QString m_office;
    int m_timeLimitSeconds;
    qint64 m_memoryLimit;
};
