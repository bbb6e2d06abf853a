#pragma once

#include <QByteArray>
#include <QString>

class IEventLoop;
class IMainWindow;
class IMessageBoxes;
struct Services;

// The Speak module: segmentation, speech rendering and encoding of one document.

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

/// Cuts the code-page text file into segment files 001, 002, ... beside it, cleaning every
/// line and joining the lines with nothing between them, closing a segment at the line or
/// character limit of the current speech rate; deletes the input. Returns the number of
/// segment files written (at least 1; the last may be empty).
int CutTextFileFSO(const Services &services, const IMainWindow &window, const QString &inputPath);

/// Replaces every character other than a-z, A-Z, 0-9, the space and ! , . ; ? by a space.
QString CleanTextForSpeech(const QString &line);

/// One line of code-page bytes as a segment holds it: "&#xa0;" removed (case-sensitive),
/// lower-cased and cleaned.
QByteArray CleanLineForSegment(QByteArray line);
