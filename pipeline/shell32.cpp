#include "pipeline/shell32.h"

#include "common/eventloop.h"
#include "common/mainwindow.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "common/settings.h"
#include "common/documentlist.h"
#include "platform/processes.h"

using namespace Qt::StringLiterals;

namespace {

int SettleWindowStyle(std::optional<int> style)
{
    return style && *style >= 0 && *style <= 6 ? *style : 6;
}

// Starts the command; null with the failure's result (and why) when it cannot start.
std::unique_ptr<IChildProcess> Start(const Services &services, const QString &commandLine,
                                     std::optional<int> windowStyle, qint32 *failure, QString *errorOutput)
{
    try {
        return services.Processes().Run(commandLine, SettleWindowStyle(windowStyle));
    } catch (const RuntimeError &e) {
        *failure = kStartFailureBase + e.number();
        if (errorOutput)
            *errorOutput = e.description();
        return nullptr;
    }
}

} // namespace

QString ProgressText(qint32 fileNumber, int fileCount, qint32 step)
{
    return u"Processing file "_s + QString::number(fileNumber) + u" of "_s + QString::number(fileCount)
           + u".. please wait patiently.. Please do not click on anything.."_s + QString::number(step);
}

qint32 ShellAndWait(const Services &services, IMainWindow &window, const QString &commandLine,
                    std::optional<int> windowStyle, QString *errorOutput)
{
    qint32 failure = 0;
    const std::unique_ptr<IChildProcess> child = Start(services, commandLine, windowStyle, &failure, errorOutput);
    if (!child)
        return failure;
    IEventLoop &events = services.Events();
    WindowState &state = window.State();
    int exitCode = kStillActive;
    do {
        exitCode = child->ExitCode();
        events.Yield();
        events.Sleep(100);
        ++state.StepCounter;
        window.ProgressBar1().SetText(ProgressText(state.CurrentFileNumber, window.ListView1().Count(),
                                                   state.StepCounter));
    } while (exitCode == kStillActive);
    if (errorOutput)
        *errorOutput = child->ErrorOutput();
    return exitCode;
}

qint32 ShellAndWaitProgress(const Services &services, const QString &commandLine, std::optional<int> windowStyle,
                            IProgressBar *bar, const QString &baseText, qint32 startValue, qint32 documentCount,
                            QString *errorOutput)
{
    qint32 failure = 0;
    const std::unique_ptr<IChildProcess> child = Start(services, commandLine, windowStyle, &failure, errorOutput);
    if (!child)
        return failure;
    IEventLoop &events = services.Events();
    qint32 polls = 0;
    int exitCode = kStillActive;
    do {
        exitCode = child->ExitCode();
        events.Yield();
        events.Sleep(100);
        if (bar) {
            events.Yield();
            ++polls;
            if (polls >= 50) {
                events.Yield();
                bar->SetText(baseText + (baseText.isEmpty() ? QString() : u", "_s) + u"Please wait.. "_s
                             + QString::number(polls - 50));
                if ((polls - 50) % 150 == 0) {
                    if (documentCount == 0)
                        throw RuntimeError(u"Division by zero"_s, ErrorNumber::DivisionByZero);
                    const double step = RoundHalfEven(100.0 / documentCount / 10);
                    const double cap = RoundHalfEven(100.0 / documentCount + startValue - step);
                    const double x = (polls - 50) / 150.0 * step + startValue;
                    bar->SetValue(x < cap ? x : cap);
                }
                events.Yield();
            }
            events.Yield();
        }
        events.Yield();
    } while (exitCode == kStillActive);
    if (bar)
        bar->SetText(baseText.isEmpty() ? u"Progress Bar"_s : baseText);
    if (errorOutput)
        *errorOutput = child->ErrorOutput();
    return exitCode;
}
