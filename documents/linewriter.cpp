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

void LineWriter::Piece(QStringView piece)
{
    if (piece.isEmpty())
        return;
    if (m_lineHasText) {
        m_sink(piece);
        return;
    }
    const bool blank = std::all_of(piece.begin(), piece.end(), [](QChar c) { return c == u' ' || c == u'\t'; });
    if (blank) {
        m_pendingBlanks.append(piece);
        return;
    }
    if (!m_pendingBlanks.isEmpty())
        m_sink(m_pendingBlanks);
    m_pendingBlanks.clear();
    m_sink(piece);
    m_lineHasText = true;
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
}
