#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Subtitles that show the text while it is heard: cues made from timed sentences, written
// as SRT or LRC.

/// A sentence as the document has it and when it is heard, in milliseconds.
struct TimedSentence
{
    QString text;
    qint64 startMs = 0;
    qint64 endMs = 0;
};

/// What one subtitle shows and when: one or two lines.
struct Cue
{
    QStringList lines;
    qint64 startMs = 0;
    qint64 endMs = 0;
    bool operator==(const Cue &) const = default;
};

namespace CueLimits {
inline constexpr int kMaxLineLength = 42;
inline constexpr int kMaxLines = 2;
} // namespace CueLimits

/// The cues of sentences heard in this order: one per sentence, its blanks made single
/// spaces and the characters no text holds dropped; a sentence longer than two lines is
/// cut after a clause's end or else at a blank, and its time shared out in proportion to
/// the characters of each piece. A line has at most kMaxLineLength characters (a mark that
/// joins the one before counts none) and is broken at a blank, where there is one. Every
/// cue ends before the next begins; a sentence that takes no time, or no text, has none.
QList<Cue> SubtitleCues(const QList<TimedSentence> &sentences);

/// The cues as SubRip text in UTF-8: numbered from 1, "HH:MM:SS,mmm --> HH:MM:SS,mmm",
/// the lines, a blank line after each.
QByteArray SrtText(const QList<Cue> &cues);
/// The cues as LRC lyrics in UTF-8: [ti:] and [ar:] when given, then "[mm:ss.xx]" and the
/// cue's lines on one line, one per cue (minutes past 59 stay minutes).
QByteArray LrcText(const QList<Cue> &cues, const QString &title, const QString &artist);
