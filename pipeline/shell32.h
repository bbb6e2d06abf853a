#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

class IMainWindow;
class IProgressBar;
struct Services;

// The run-and-wait operations (the Shell32 module): start a command, poll it every 100 ms
// until it has ended while the window stays alive, and refresh the progress bar meanwhile.
// Neither has a time-out.

/// What a wait answers for a command that could not be started: this plus the error number.
inline constexpr qint32 kStartFailureBase = -2147221504;

/// "Processing file i of n.. please wait patiently.. Please do not click on anything.." + step.
QString ProgressText(qint32 fileNumber, int fileCount, qint32 step);

/// Runs the command line and waits for it, raising StepCounter and showing the progress
/// text on every poll. Returns the exit code, or kStartFailureBase + the error number.
/// errorOutput, when given, receives the end of the command's error output, or why it
/// could not be started.
qint32 ShellAndWait(const Services &services, IMainWindow &window, const QString &commandLine,
                    std::optional<int> windowStyle = std::nullopt, QString *errorOutput = nullptr);

/// Runs the command line and waits for it; after 50 polls the bar shows the base text and a
/// poll counter, and its value creeps forward every 150 polls. The bar's text is set back
/// at the end. Returns the exit code, or kStartFailureBase + the error number.
qint32 ShellAndWaitProgress(const Services &services, const QString &commandLine, std::optional<int> windowStyle,
                            IProgressBar *bar, const QString &baseText, qint32 startValue, qint32 documentCount,
                            QString *errorOutput = nullptr);
