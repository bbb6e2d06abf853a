#include "readalong/cues.h"

#include "readalong/xmltext.h"

#include <algorithm>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using CueLimits::kMaxLineLength;

// A cue is cut after a clause only when it keeps at least a third of its two lines.
constexpr int kMinClauseLength = CueLimits::kMaxLines * kMaxLineLength / 3;

// A flattened sentence with the width of each of its stretches: one per character, none
// for a mark or format character that joins the one before, nor for a low surrogate.
class Measured
{
public:
    explicit Measured(QString text)
        : m_text(std::move(text))
        , m_before(static_cast<size_t>(m_text.size()) + 1, 0)
    {
        const qsizetype n = m_text.size();
        for (qsizetype i = 0; i < n; ++i) {
            char32_t c = m_text[i].unicode();
            int width = 1;
            if (m_text[i].isLowSurrogate()) {
                width = 0;
            } else {
                if (m_text[i].isHighSurrogate() && i + 1 < n && m_text[i + 1].isLowSurrogate())
                    c = QChar::surrogateToUcs4(m_text[i], m_text[i + 1]);
                switch (QChar::category(c)) {
                case QChar::Mark_NonSpacing:
                case QChar::Mark_SpacingCombining:
                case QChar::Mark_Enclosing:
                case QChar::Other_Format:
                    width = 0;
                    break;
                default:
                    break;
                }
            }
            m_before[static_cast<size_t>(i) + 1] = m_before[static_cast<size_t>(i)] + width;
        }
    }

    const QString &Text() const { return m_text; }
    qsizetype Size() const { return m_text.size(); }
    qint64 Width(qsizetype from, qsizetype to) const
    {
        return m_before[static_cast<size_t>(to)] - m_before[static_cast<size_t>(from)];
    }

    // The line that begins at from: where its text ends and where the next line begins
    // (past the blank it was broken at).
    std::pair<qsizetype, qsizetype> Line(qsizetype from) const
    {
        const qsizetype n = Size();
        if (Width(from, n) <= kMaxLineLength)
            return {n, n};
        // The furthest end that fits, with the zero-width units that follow it.
        const qint64 limit = m_before[static_cast<size_t>(from)] + kMaxLineLength;
        const auto fits = std::upper_bound(m_before.begin() + from, m_before.end(), limit);
        const qsizetype last = (fits - m_before.begin()) - 1;
        for (qsizetype b = std::min(last, n - 1); b > from; --b) {
            if (m_text[b] == u' ')
                return {b, b + 1};
        }
        // A word longer than a line is cut before the first unit that does not fit: one
        // with a width, so never a mark or the second half of a surrogate pair.
        return {last, last};
    }

private:
    QString m_text;
    std::vector<qint64> m_before;
};

struct Piece
{
    QStringList lines;
    qint64 width = 0;
};

// The lines of text[from, to), which fits in two: one when it fits in one, else broken at
// the blank that makes the lines most even; firstEnd and secondStart are the first line
// as Line(from) gives it, which always fits.
QStringList LinesOf(const Measured &text, qsizetype from, qsizetype to, qsizetype firstEnd, qsizetype secondStart)
{
    if (text.Width(from, to) <= kMaxLineLength)
        return {text.Text().mid(from, to - from)};
    qsizetype best = -1;
    qint64 bestLonger = 0;
    for (qsizetype b = from + 1; b < to; ++b) {
        if (text.Text()[b] != u' ')
            continue;
        const qint64 longer = std::max(text.Width(from, b), text.Width(b + 1, to));
        if (longer <= kMaxLineLength && (best < 0 || longer < bestLonger)) {
            best = b;
            bestLonger = longer;
        }
    }
    if (best < 0)
        return {text.Text().mid(from, firstEnd - from), text.Text().mid(secondStart, to - secondStart)};
    return {text.Text().mid(from, best - from), text.Text().mid(best + 1, to - best - 1)};
}

// A flattened sentence in pieces of at most two lines each.
QList<Piece> Pieces(const Measured &text)
{
    QList<Piece> pieces;
    const qsizetype n = text.Size();
    for (qsizetype from = 0; from < n;) {
        const auto [firstEnd, secondStart] = text.Line(from);
        qsizetype to = n;
        qsizetype next = n;
        if (secondStart < n) {
            const auto [secondEnd, thirdStart] = text.Line(secondStart);
            if (thirdStart < n) {
                to = secondEnd;
                next = thirdStart;
                for (qsizetype i = secondEnd - 1; i > from && text.Width(from, i + 1) >= kMinClauseLength; --i) {
                    if (EndsClause(text.Text(), i)) {
                        to = i + 1;
                        next = to < n && text.Text()[to] == u' ' ? to + 1 : to;
                        break;
                    }
                }
            }
        }
        pieces.append({LinesOf(text, from, to, firstEnd, secondStart), text.Width(from, to)});
        from = next;
    }
    return pieces;
}

// part / total of span, without overflow for any times.
qint64 Share(qint64 span, qint64 part, qint64 total)
{
    if (part == total)
        return span;
    return static_cast<qint64>(static_cast<long double>(span) * part / total);
}

void AppendNumber(QByteArray &out, qint64 value, int digits)
{
    out.append(QByteArray::number(value).rightJustified(digits, '0'));
}

} // namespace

QList<Cue> SubtitleCues(const QList<TimedSentence> &sentences)
{
    QList<Cue> timed;
    for (const TimedSentence &sentence : sentences) {
        const Measured text(SingleLine(sentence.text));
        if (text.Size() == 0)
            continue;
        const qint64 start = std::max<qint64>(sentence.startMs, 0);
        const qint64 span = std::max<qint64>(sentence.endMs, start) - start;
        const QList<Piece> pieces = Pieces(text);
        qint64 total = 0;
        for (const Piece &piece : pieces)
            total += std::max<qint64>(piece.width, 1);
        qint64 before = 0;
        for (const Piece &piece : pieces) {
            const qint64 after = before + std::max<qint64>(piece.width, 1);
            timed.append({piece.lines, start + Share(span, before, total), start + Share(span, after, total)});
            before = after;
        }
    }
    // Starts in order, each cue ended before the next begins; one left without time goes.
    for (qsizetype k = 1; k < timed.size(); ++k) {
        timed[k].startMs = std::max(timed[k].startMs, timed[k - 1].startMs);
        timed[k].endMs = std::max(timed[k].endMs, timed[k].startMs);
    }
    QList<Cue> cues;
    cues.reserve(timed.size());
    for (qsizetype k = 0; k < timed.size(); ++k) {
        Cue &cue = timed[k];
        if (k + 1 < timed.size())
            cue.endMs = std::min(cue.endMs, timed[k + 1].startMs - 1);
        if (cue.endMs > cue.startMs)
            cues.append(std::move(cue));
    }
    return cues;
}

QByteArray SrtText(const QList<Cue> &cues)
{
    const auto appendTime = [](QByteArray &out, qint64 ms) {
        AppendNumber(out, ms / 3'600'000, 2);
        out.append(':');
        AppendNumber(out, ms / 60'000 % 60, 2);
        out.append(':');
        AppendNumber(out, ms / 1000 % 60, 2);
        out.append(',');
        AppendNumber(out, ms % 1000, 3);
    };
    QByteArray out;
    for (qsizetype k = 0; k < cues.size(); ++k) {
        out.append(QByteArray::number(k + 1));
        out.append('\n');
        appendTime(out, cues[k].startMs);
        out.append(" --> ");
        appendTime(out, cues[k].endMs);
        out.append('\n');
        for (const QString &line : cues[k].lines) {
            out.append(line.toUtf8());
            out.append('\n');
        }
        out.append('\n');
    }
    return out;
}

QByteArray LrcText(const QList<Cue> &cues, const QString &title, const QString &artist)
{
    QByteArray out;
    for (const auto &[tag, value] : {std::pair{"[ti:", SingleLine(title)}, std::pair{"[ar:", SingleLine(artist)}}) {
        if (value.isEmpty())
            continue;
        out.append(tag);
        out.append(value.toUtf8());
        out.append("]\n");
    }
    for (const Cue &cue : cues) {
        out.append('[');
        AppendNumber(out, cue.startMs / 60'000, 2);
        out.append(':');
        AppendNumber(out, cue.startMs / 1000 % 60, 2);
        out.append('.');
        AppendNumber(out, cue.startMs % 1000 / 10, 2);
        out.append(']');
        out.append(cue.lines.join(u' ').toUtf8());
        out.append('\n');
    }
    return out;
}
