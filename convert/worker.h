#pragma once

#include <QString>
#include <QStringList>

// One document of a batch, converted in a process of its own: espeak-ng and Flite keep
// their state process-wide, so documents speak in parallel only as separate processes.
// The worker talks with the converter that started it in lines on its standard output
// and input:
//
//   worker -> converter: "segments N", "want" (an encoder may run?), "encoded J",
//                        "released" (an encoder ended), "partial PATH" (a file beside the
//                        output that must go if the worker dies), "failed WORDS",
//                        "done SECONDS" (of speech)
//   converter -> worker: "grant" (one encoder may run)
//
// The end of its input (the converter is gone), SIGINT or SIGTERM stop it at once: its
// encoders are stopped and its partial files removed.
struct WorkerTask
{
    QString document;
    QString outputPath;
    QString jobFolder;   // a fresh private folder of the worker's own
    QString encoder;     // the converter's copy of the encoder
    QString locale;      // decides the order of the voice list
    int voice = 0;       // position from 1; 0: the first
    int rate = -3;
    int volume = 100;
};

/// The worker's arguments after "--worker", in the order the converter passes them.
QStringList WorkerArguments(const WorkerTask &task);
/// Reads them back; false when they do not fit.
bool ParseWorkerArguments(const QStringList &arguments, WorkerTask *task);

/// Converts the document; the exit code is 0 when its MP3 is in place, 1 when it failed.
int RunWorker(const WorkerTask &task);
