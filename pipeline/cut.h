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
