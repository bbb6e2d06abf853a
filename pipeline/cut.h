#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

class IEventLoop;
class IFailureHandler;

// The cut of a document's text into numbered segment files that are spoken one at a time.

/// The path of segment file number (at least three digits) for an input file: the input
/// path without its file name's extension, the number, and extension.
QString SegmentPath(const QString &inputPath, int number, const QString &extension);

/// The line limit and the size limit (in units of 1024 characters) for a speech rate.
struct SegmentLimits
{
    int lines;
    int kilochars;
};
SegmentLimits SegmentLimitsForRate(int rate);

/// Where a line of the cut's input begins in the segments: the segment's number (from 1)
/// and the line there (from 0).
struct LinePlace
{
    int segment = 1;
    int line = 0;
    bool operator==(const LinePlace &) const = default;
};

/// Cuts the code-page text file into segment files 001, 002, ... beside it, cleaning
/// every line and ending each with one LF, closing a segment at the line or character
/// limit; a line longer than the character limit is cut at its last blank before the
/// limit and goes on in the next segment. Deletes the input. Returns the number of
/// segment files written (at least 1; the last may be empty). The window stays alive:
/// the cut yields to the event loop every 20 ms of work. places, when given, receives
/// where each of the watched input lines (from 0, ascending) begins, one place each; a
/// line that the input does not hold is placed at the input's end.
int CutTextFileFSO(IFailureHandler &reports, IEventLoop &events, const QString &inputPath, SegmentLimits limits,
                   const QList<qint64> &watched = {}, QList<LinePlace> *places = nullptr);

/// How the headless converter cuts a text into pieces: after a paragraph whose own words
/// say so (about one in spacing) once a piece holds minCharacters, never beyond
/// maxCharacters or maxLines. An edit so moves no boundary but the ones beside it, and a
/// piece that did not change is the same piece again.
struct PieceLimits
{
    qint64 minCharacters = 2048;
    qint64 maxCharacters = 16384;
    int maxLines = 1299;
    int spacing = 8;
};

/// Cuts the code-page text file into piece files 001, 002, ... beside it, cleaned and
/// written as CutTextFileFSO writes its segments, at paragraph ends that the paragraphs'
/// own words choose (see PieceLimits); places as CutTextFileFSO gives them. Deletes the
/// input. Returns the number of pieces (at least 1; the last never empty unless the text is).
int CutIntoPieces(IFailureHandler &reports, IEventLoop &events, const QString &inputPath, PieceLimits limits,
                  const QList<qint64> &watched = {}, QList<LinePlace> *places = nullptr);
