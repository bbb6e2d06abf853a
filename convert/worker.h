#pragma once

#include "pipeline/cut.h"

#include <optional>
#include "pipeline/speak.h"

#include <QHash>
#include <QString>
#include <QStringList>

// A worker of the headless converter: a process of its own, because espeak-ng and Flite
// keep their state process-wide, so pieces of speech are spoken in parallel only by
// separate processes. It serves one command at a time, a line on its standard input, and
// answers with one line on its standard output (see channel.h for the words):
//
//   "text JOB DOCUMENT"  reads the document's text into the job folder and cuts it into
//                        pieces there        -> "pieces N TITLE AUTHOR LANGUAGE" and for each
//                        heading, in the order of its lines, "LINE PIECE PIECELINE HEADING"
//   "speak JOB K LANG"   speaks piece K (of a document in language LANG) into its WAV file
//                                            -> "spoken K SECONDS" and where each of its
//                        lines begins to be heard, in samples
//
// A failure answers "failed STAGE NUMBER WORDS" and the worker goes on serving. The end of
// its input ends it; so does the end of the converter that started it.
struct WorkerSetup
{
    QString locale; // decides the order of the voice list
    SpeechChoice choice;
    SegmentLimits limits{1300, 500};
    /// The converter's pieces, at paragraph ends that edits do not move; none: segments.
    std::optional<PieceLimits> pieces;
    /// Where the voices' levels are kept when the user's cache folder cannot serve; "": there.
    QString levels;
    /// Every sentence spoken as a line of its own, for subtitles.
    bool readAlong = false;
    /// Each passage read by the voice for its language, the user's voices for languages.
    bool languageSwitch = true;
    QHash<QString, int> voicesFor;
};

/// The worker's arguments after "--worker", in the order the converter passes them.
QStringList WorkerArguments(const WorkerSetup &setup);
/// Reads them back; false when they do not fit (a rate, volume or limit out of range).
bool ParseWorkerArguments(const QStringList &arguments, WorkerSetup *setup);

/// Serves commands until its input ends; the exit code is 0 then.
int RunWorker(const WorkerSetup &setup);
