#include "documents/linewriter.h"

#include <algorithm>

void LineWriter::Paragraph()
{
    if (m_budget)
        m_budget->Spend(1);
    if (!m_first)
        EndLine();
    m_first = false;
}

void LineWriter::Text(QStringView text)
{
    if (m_budget)
        m_budget->Spend(text.size());
    m_first = false;
    for (;;) {
        const qsizetype lf = text.indexOf(u'\n');
        Piece(lf < 0 ? text : text.left(lf));
        if (lf < 0)
            return;
        EndLine();
        text = text.mid(lf + 1);
    }
}

void LineWriter::Finish()
{
    if (!m_lineHasText && m_blankRun < DocumentLimits::kMaxBlankLines && !m_pendingBlanks.isEmpty())
        m_sink(m_pendingBlanks);
    m_pendingBlanks.clear();
}

void LineWriter::SetLanguages(const TextLanguages &languages)
{
    if (languages == m_languages)
        return;
    m_languages = languages;
    m_split = languages.western != languages.asian || languages.western != languages.complex;
    m_changed = true;
}

void LineWriter::Piece(QStringView piece)
{
    if (piece.isEmpty())
        return;
    if (!m_lineHasText) {
        const bool blank = std::all_of(piece.begin(), piece.end(), [](QChar c) { return c == u' ' || c == u'\t'; });
        if (blank) {
            m_pendingBlanks.append(piece);
            return;
        }
        if (!m_pendingBlanks.isEmpty())
            m_sink(m_pendingBlanks);
        m_column += m_pendingBlanks.size();
        m_pendingBlanks.clear();
        m_lineHasText = true;
    }
    if (m_facts && (m_split || m_changed))
        MarkLanguages(piece);
    m_sink(piece);
    m_column += piece.size();
}

// Unless the classes differ in language, only the first letter after a change is looked for.
void LineWriter::MarkLanguages(QStringView piece)
{
    const qsizetype n = piece.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = piece[i].unicode();
        const qsizetype at = i;
        if (QChar::isHighSurrogate(c) && i + 1 < n && piece[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(piece[i].unicode(), piece[i + 1].unicode());
            ++i;
        }
        const ScriptClass letterClass = CharacterClass(c);
        if (letterClass == ScriptClass::Neutral || (letterClass == m_class && !m_changed))
            continue;
        m_class = letterClass;
        m_changed = false;
        Mark(letterClass == ScriptClass::Asian     ? m_languages.asian
             : letterClass == ScriptClass::Complex ? m_languages.complex
                                                   : m_languages.western,
             m_column + at);
        if (!m_split)
            return;
    }
}

void LineWriter::Mark(const QString &language, qint64 column)
{
    static const QString own;
    const QString &said = language == m_facts->language ? own : language;
    QList<LanguageMark> &marks = m_facts->languages;
    if (said == m_marked || marks.size() >= DocumentLimits::kMaxLanguageMarks)
        return;
    if (marks.size() == DocumentLimits::kMaxLanguageMarks - 1) {
        if (m_marked.isEmpty())
            return;
        marks.append({m_lines, column, QString()}); // the rest in the document's own language
        m_marked.clear();
        return;
    }
    marks.append({m_lines, column, said});
    m_marked = said;
}

void LineWriter::EndLine()
{
    if (m_lineHasText) {
        m_blankRun = 0;
        m_sink(u"\n");
        ++m_lines;
    } else if (++m_blankRun <= DocumentLimits::kMaxBlankLines) {
        if (!m_pendingBlanks.isEmpty())
            m_sink(m_pendingBlanks);
        m_sink(u"\n");
        ++m_lines;
    }
    m_pendingBlanks.clear();
    m_lineHasText = false;
    m_column = 0;
}
