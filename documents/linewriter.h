#pragma once

#include "api/documentreader.h"
#include "documents/limits.h"
#include "languages/languagetag.h"

#include <QString>
#include <QStringView>

// The languages a document gives its text from some point on, one for each class of
// characters (see ScriptClass), as word processors keep them: BCP 47 tags; "" for the
// document's own language.
struct TextLanguages
{
    QString western;
    QString asian;
    QString complex;

    bool operator==(const TextLanguages &) const = default;
    /// The same language for every character.
    static TextLanguages All(const QString &language) { return {language, language, language}; }
};

// The text of a document as its readers hand it on: paragraphs joined by one LF (a
// separator, not a terminator), every character counted against the budget. Of a run of
// blank lines (empty, or spaces and tabs only) the first kMaxBlankLines are kept, so a
// document of nothing but empty paragraphs stays small. A reader that counts its text
// against its budget itself (the OpenDocument body parser) gives no budget. A reader that
// knows the languages of its text says them as it goes; the writer marks where they change,
// at the first letter in a new language (each character takes the language of its class),
// in the facts it keeps them in.
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

    /// Marks the languages of the text in facts->languages (a language equal to
    /// facts->language as ""), the first DocumentLimits::kMaxLanguageMarks of them: the
    /// last of those returns to the document's own language.
    void KeepLanguages(DocumentFacts *facts) { m_facts = facts; }
    /// The languages of the text that follows.
    void SetLanguages(const TextLanguages &languages);
    void SetLanguage(const QString &language) { SetLanguages(TextLanguages::All(language)); }

private:
    void Piece(QStringView piece);
    void EndLine();
    void MarkLanguages(QStringView piece);
    void Mark(const QString &language, qint64 column);

    const IDocumentReader::TextSink &m_sink;
    TextBudget *m_budget = nullptr;
    bool m_first = true;
    bool m_lineHasText = false;
    int m_blankRun = 0;
    qint64 m_lines = 0;
    qint64 m_column = 0; // what the sink has of the current line
    QString m_pendingBlanks;
    DocumentFacts *m_facts = nullptr;
    TextLanguages m_languages;
    bool m_split = false;   // the classes have different languages
    bool m_changed = false; // the languages changed since the last letter
    ScriptClass m_class = ScriptClass::Western;
    QString m_marked;       // the language of the last mark
};
