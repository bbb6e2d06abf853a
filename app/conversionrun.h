#pragma once

#include "pipeline/shell32.h"

#include <QString>
#include <QtGlobal>

class IEventLoop;
class IMainWindow;
class IProgressBar;
class JobsUnderWay;
class Speak;
struct Services;

/// The start button: converts every document of the list, one after another, into one MP3
/// each, refreshing the progress bar throughout, and ends with "Done.". Does nothing while
/// the window is busy. Each document is spoken with the voice, volume and rate that the
/// window shows when its turn comes. An MP3 is made under a name of its own beside its
/// output path and takes that path's place only when complete (the document's job is
/// listed in underWay while it runs, so closing the window cancels it); every failure is
/// reported, and a document whose speech failed gets no MP3.
void PushButton1_Click(const Services &services, IMainWindow &window, Speak &speak, JobsUnderWay &underWay);

/// "Processing file i of n.. please wait patiently.. Please do not click on anything.." + step.
QString ProgressText(qint32 fileNumber, int fileCount, qint32 step);

// The window's part of a long wait (the join): from the 50th poll the bar shows its text
// of when the wait began, ", Please wait.. " and a poll counter, and creeps forward every
// 150 polls, never past the cap of the document; at the end it takes its text back.
class BarProgress final
{
public:
    BarProgress(IProgressBar &bar, qint32 documentCount);
    /// Poll number polls has passed.
    void Polled(qint32 polls);
    /// The wait has ended.
    void Ended();

private:
    IProgressBar &m_bar;
    QString m_baseText;
    qint32 m_startValue;
    qint32 m_documentCount;
};

/// Waits for the started join as ShellAndWait does, the bar showing its progress.
ChildEnd ShellAndWaitProgress(IEventLoop &events, Started started, BarProgress &progress);
