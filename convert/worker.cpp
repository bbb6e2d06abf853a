#include "convert/worker.h"

#include "common/eventloop.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "convert/channel.h"
#include "filesystem/filesystem.h"
#include "api/documentreader.h"
#include "pipeline/chapters.h"
#include "pipeline/outcome.h"
#include "pipeline/writer1.h"
#include "services/platformservices.h"
#include "system/privateworkingfolder.h"

#include <QCoreApplication>
#include <QTime>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/prctl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A worker has no window to keep alive: yielding does nothing.
class NoEventLoop final : public IEventLoop
{
public:
    void Yield() override {}
    void Sleep(int milliseconds) override { ::usleep(static_cast<useconds_t>(milliseconds) * 1000); }
    double SecondsSinceMidnight() override { return QTime::currentTime().msecsSinceStartOfDay() / 1000.0; }
};

void Answer(const QStringList &words)
{
    const QByteArray line = Channel::Line(words);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
}

void AnswerFailed(const StageFailure &failure)
{
    Answer({u"failed"_s, QString::number(static_cast<int>(failure.stage)), QString::number(failure.number),
            failure.description});
}

// Runs one stage's work; a failure of a statement, or one thrown past them, is the stage's.
template<typename F>
bool Attempt(Stage stage, F &&work)
{
    try {
        work();
        return true;
    } catch (const StageStopped &stopped) {
        AnswerFailed(stopped.failure());
    } catch (...) {
        AnswerFailed({stage, FailureNumber(std::current_exception()), DescribeFailure(std::current_exception())});
    }
    return false;
}

std::optional<int> Whole(const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= low && value <= high ? std::optional<int>(value) : std::nullopt;
}

} // namespace

QStringList WorkerArguments(const WorkerSetup &setup)
{
    return {setup.locale,
            QString::number(setup.choice.voice),
            QString::number(setup.choice.volume),
            QString::number(setup.choice.rate),
            QString::number(setup.limits.lines),
            QString::number(setup.limits.kilochars)};
}

bool ParseWorkerArguments(const QStringList &arguments, WorkerSetup *setup)
{
    if (arguments.size() != 6)
        return false;
    const auto voice = Whole(arguments[1], -1, 1 << 20);
    const auto volume = Whole(arguments[2], 0, 100);
    const auto rate = Whole(arguments[3], -10, 10);
    const auto lines = Whole(arguments[4], 2, 1300);
    const auto kilochars = Whole(arguments[5], 1, 500);
    if (!voice || !volume || !rate || !lines || !kilochars)
        return false;
    setup->locale = arguments[0];
    setup->choice = {*voice, *volume, *rate};
    setup->limits = {*lines, *kilochars};
    return true;
}

int RunWorker(const WorkerSetup &setup)
{
    // A worker ends with the converter, whichever way the converter ends; a Ctrl+C in the
    // terminal goes to the converter, which stops its workers itself.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() == 1)
        return 1;
    ::signal(SIGINT, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);

    NoEventLoop events;
    PlatformServices platform(QCoreApplication::applicationDirPath(), setup.locale, &events);
    CoreServices services = platform.Wire();
    services.diagnostics = nullptr; // the converter prints each failure once
    Speak speak(services);

    char *buffer = nullptr;
    size_t capacity = 0;
    ssize_t length;
    while ((length = ::getline(&buffer, &capacity, stdin)) > 0) {
        QByteArray line(buffer, length);
        if (line.endsWith('\n'))
            line.chop(1);
        const QStringList words = Channel::Words(line);
        if (words.value(0) == u"text"_s && words.size() == 3) {
            JobWorkingFolder working(words[1]);
            services.workingFolder = &working;
            int pieces = 0;
            DocumentFacts facts;
            if (!Attempt(Stage::Text, [&] { ExtractDocumentText(services.Reader(), working, words[2], &facts); })) {
                services.workingFolder = nullptr;
                continue;
            }
            std::stable_sort(facts.headings.begin(), facts.headings.end(),
                             [](const DocumentHeading &a, const DocumentHeading &b) { return a.line < b.line; });
            QList<LinePlace> places;
            FailFast stop(Stage::Segments);
            if (Attempt(Stage::Segments, [&] {
                    pieces = CutTextFileFSO(stop, events, WorkingPath(working, u"output.txt"_s), setup.limits,
                                            ChapterClock::WatchedLines(facts.headings), &places);
                })) {
                QStringList answer{u"pieces"_s, QString::number(pieces), facts.title, facts.author};
                for (qsizetype k = 0; k < facts.headings.size() && k < places.size(); ++k)
                    answer << QString::number(facts.headings[k].line) << QString::number(places[k].segment)
                           << QString::number(places[k].line) << facts.headings[k].title;
                Answer(answer);
            }
            services.workingFolder = nullptr;
        } else if (words.value(0) == u"speak"_s && words.size() == 3) {
            const QString text = SegmentPath(words[1] + u"/output.txt"_s, words[2].toInt(), u".txt"_s);
            const QString wav = SegmentPath(words[1] + u"/output.txt"_s, words[2].toInt(), u".wav"_s);
            FailFast stop(Stage::Speech);
            Attempt(Stage::Speech, [&] {
                const SpeechOutcome spoken = speak.SaveToWAV(stop, setup.choice, text, wav);
                if (spoken.failed)
                    throw RuntimeError(spoken.ClassNotRegistered()
                                           ? u"The voice cannot be loaded (Class not registered)"_s
                                           : spoken.description,
                                       spoken.number);
                const auto status = FileSystem::Stat(wav);
                if (!SpokenWavListed(wav) || !status)
                    throw RuntimeError(u"No speech was made of piece "_s + words[2], ErrorNumber::FileNotFound);
                const double seconds = static_cast<double>(std::max<qint64>(0, status->size - 44)) / 2 / 22050;
                QStringList answer{u"spoken"_s, words[2], QString::number(seconds, 'f', 3)};
                for (const qint64 start : spoken.lineStarts)
                    answer << QString::number(start);
                Answer(answer);
            });
        } else {
            AnswerFailed({Stage::Text, ErrorNumber::InvalidProcedureCall, u"A command the worker does not know"_s});
        }
    }
    std::free(buffer);
    return 0;
}
