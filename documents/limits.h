#pragma once

#include "common/runtimeerror.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>

class IEventLoop;

// The limits every document reader keeps against hostile documents, and the errors that
// say so. A document beyond them is refused at once, before anything large exists.
namespace DocumentLimits {

/// The most XML (or markup, or text) one part of a document may hold: 1 GiB.
inline constexpr qint64 kMaxEntryBytes = qint64(1) << 30;
/// The text may outgrow the input read so far by this much (spaces written as counts,
/// repeated cells and tracked-change copies expand), never more.
inline constexpr qint64 kTextSlack = qint64(1) << 20;
/// Beyond any real document: the longest novels hold a few million characters, and this
/// many would be about a thousand hours of speech.
inline constexpr qint64 kMaxTextCharacters = 50'000'000;
/// Real documents inflate their XML at most about 40 : 1 (table-heavy reports; long
/// novels 3 : 1); a zip bomb inflates hundreds of times over. Small entries may inflate
/// as much as they like: they cannot hold much.
inline constexpr qint64 kMaxInflationRatio = 100;
inline constexpr qint64 kRatioFreeBytes = qint64(16) << 20;
/// Elements (or blocks) nested deeper than this are damage, read or skipped.
inline constexpr int kMaxDepth = 1000;
/// A longer run of blank lines says nothing more to a listener and only makes segments.
inline constexpr int kMaxBlankLines = 64;
/// A book in many languages changes language a few thousand times; beyond this many marks
/// the rest of the text is in the document's own language.
inline constexpr qsizetype kMaxLanguageMarks = 100'000;
/// Files for LibreOffice, pictures included: a thousand pages with fifty photographs take 71 MB as .doc, 270 MB as RTF.
inline constexpr qint64 kMaxOfficeFileBytes = qint64(512) << 20;
/// LibreOffice's data: 272 MiB for that document, where an RTF of nested groups takes 1.2 GB per MB.
inline constexpr qint64 kOfficeMemoryBytes = qint64(2) << 30;
/// A thousand-page book holds 30 000 paragraphs; LibreOffice needs minutes and 500 MiB for 300 000.
inline constexpr qint64 kMaxRtfParagraphs = 300'000;
/// The window is served this often while a document is read.
inline constexpr qint64 kYieldMs = 30;

} // namespace DocumentLimits

/// "The document is too large: " + path.
RuntimeError TooLarge(const QString &path);
/// "The document is password-protected: " + path.
RuntimeError PasswordProtected(const QString &path);
/// "The document is damaged (" + cause + "): " + path.
RuntimeError Damaged(const QString &cause, const QString &path);
/// "The document is damaged (elements nested too deeply): " + path.
RuntimeError NestedTooDeeply(const QString &path);
/// "File not found: " + path, or the file-system error, for a document that cannot be examined.
RuntimeError CannotOpen(int errnoValue, const QString &path);
/// Opens the document at path into file for reading, by the bytes of its name (a name that
/// is not UTF-8 included); CannotOpen when it cannot be opened.
void OpenDocument(QFile &file, const QString &path);

/// True when a zip entry of size bytes packed into compressed bytes is refused before it
/// is inflated: over kMaxEntryBytes, or over kRatioFreeBytes and inflating more than
/// kMaxInflationRatio : 1.
bool EntryRefusedBySize(quint64 size, quint64 compressed);

// Serves the window every kYieldMs of reading; cheap enough to call at every step.
class YieldClock
{
public:
    explicit YieldClock(IEventLoop *events);
    void Tick()
    {
        if (m_events && (++m_steps & 255) == 0)
            Check();
    }
    /// Yields when kYieldMs have passed, whatever the steps.
    void Check();

private:
    IEventLoop *m_events;
    quint32 m_steps = 0;
    QElapsedTimer m_since;
};

// Counts the text a reader writes against the input it has read: the text may never
// outgrow the input by more than kTextSlack, nor pass kMaxTextCharacters (each is "too
// large").
class TextBudget
{
public:
    explicit TextBudget(QString path)
        : m_path(std::move(path))
    {
    }
    /// bytes more of the input have been read.
    void Read(qint64 bytes) { m_read += bytes; }
    /// characters more of text are about to be written; throws when they may not.
    void Spend(qint64 characters)
    {
        m_spent += characters;
        if (m_spent > m_read + DocumentLimits::kTextSlack || m_spent > DocumentLimits::kMaxTextCharacters)
            throw TooLarge(m_path);
    }
    const QString &Path() const { return m_path; }

private:
    QString m_path;
    qint64 m_read = 0;
    qint64 m_spent = 0;
};
