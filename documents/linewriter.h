#pragma once

#include "api/documentreader.h"
#include "documents/limits.h"

#include <QString>
#include <QStringView>

// The text of a document as its readers hand it on: paragraphs joined by one LF (a
// separator, not a terminator), every character counted against the budget. Of a run of
// blank lines (empty, or spaces and tabs only) the first kMaxBlankLines are kept, so a
// document of nothing but empty paragraphs stays small. A reader that counts its text
// against its budget itself (the OpenDocument body parser) gives no budget.
class LineWriter
{
public:
    LineWriter(const IDocumentReader::TextSink &sink, TextBudget &budget)
        : m_sink(sink)
        , m_budget(&budget)
    {
    }
    explicit LineWriter(const IDocumentReader::TextSink &sink)
        : m_sink(sink)
    {
    }

    /// A new paragraph begins.
    void Paragraph();
    /// Text of the current paragraph; an LF inside it ends a line.
    void Text(QStringView text);
    /// The end of the text: a blank last line is kept when its run is short.
    void Finish();
    /// The line (from 0) on which the next text stands.
    qint64 Line() const { return m_lines; }
    /// True when the current line holds text other than spaces and tabs.
    bool LineHasText() const { return m_lineHasText; }
    /// True before the first paragraph.
    bool AtStart() const { return m_first; }

private:
    void Piece(QStringView piece);
    void EndLine();

    const IDocumentReader::TextSink &m_sink;
    TextBudget *m_budget = nullptr;
    bool m_first = true;
    bool m_lineHasText = false;
    int m_blankRun = 0;
    qint64 m_lines = 0;
    QString m_pendingBlanks;
};
