#include "convert/worker.h"

#include "common/eventloop.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "convert/channel.h"
#include "filesystem/filesystem.h"
#include "pipeline/documentjob.h"
#include "services/platformservices.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// A worker has no window to keep alive: yielding does nothing.
class NoEventLoop final : public IEventLoop
{
public:
    void Yield() override {}
    void Sleep(int milliseconds) override { ::usleep(static_cast<useconds_t>(milliseconds) * 1000); }
};

void Answer(const QStringList &words)
{
    const QByteArray line = Channel::Line(words);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
}

// Answers a failed step; true when it did.
bool AnsweredFailure(const JobOutcome &outcome)
{
    if (outcome.failed)
        Answer(Channel::FailedAnswer(outcome));
    return outcome.failed;
}

// Runs work in a child forked from this worker as it stands, which ends with it: the
// speech engines keep state from one synthesis to the next (espeak-ng's flutter and wave
// phase), so speech made so always begins from the same state. "" when the child ended
// well, else how it ended.
QString SpeakInChild(const std::function<int()> &work)
{
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL); // a worker that is killed takes its speech along
        const int code = work();
        std::fflush(stdout);
        ::_exit(code);
    }
    if (child < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return QString();
    return WIFSIGNALED(status) ? u"signal "_s + QString::number(WTERMSIG(status))
                               : u"exit code "_s + QString::number(WEXITSTATUS(status));
}

std::optional<int> Whole(const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= low && value <= high ? std::optional<int>(value) : std::nullopt;
}

// "one" (the chosen voice reads all), or "switch" with the user's voices: "switch fr=3 de=5".
QString LanguageArgument(const WorkerSetup &setup)
{
    if (!setup.languageSwitch)
        return u"one"_s;
    QStringList pairs{u"switch"_s};
    for (auto it = setup.voicesFor.cbegin(); it != setup.voicesFor.cend(); ++it)
        pairs.append(it.key() + u'=' + QString::number(it.value()));
    std::sort(pairs.begin() + 1, pairs.end());
    return pairs.join(u' ');
}

} // namespace

QStringList WorkerArguments(const WorkerSetup &setup)
{
    return {setup.locale,
            QString::number(setup.choice.voice),
            QString::number(setup.choice.volume),
            QString::number(setup.choice.rate),
            QString::number(setup.limits.lines),
            QString::number(setup.limits.kilochars),
            setup.pieces ? u"%1,%2,%3,%4"_s.arg(setup.pieces->minCharacters)
                               .arg(setup.pieces->maxCharacters)
                               .arg(setup.pieces->maxLines)
                               .arg(setup.pieces->spacing)
                         : u"segments"_s,
            setup.levels.isEmpty() ? u"-"_s : setup.levels,
            setup.readAlong ? u"sentences"_s : u"lines"_s, LanguageArgument(setup)};
}

bool ParseWorkerArguments(const QStringList &arguments, WorkerSetup *setup)
{
    if (arguments.size() != 10 || (arguments[8] != u"sentences"_s && arguments[8] != u"lines"_s))
        return false;
    setup->readAlong = arguments[8] == u"sentences"_s;
    const QStringList languages = arguments[9].split(u' ', Qt::SkipEmptyParts);
    setup->languageSwitch = languages.value(0) == u"switch"_s;
    if (!setup->languageSwitch && languages.value(0) != u"one"_s)
        return false;
    setup->voicesFor.clear();
    for (qsizetype k = 1; k < languages.size(); ++k) {
        const qsizetype at = languages[k].indexOf(u'=');
        const auto voice = Whole(languages[k].mid(at + 1), 0, 1 << 20);
        if (at <= 0 || !voice)
            return false;
        setup->voicesFor.insert(languages[k].left(at), *voice);
    }
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
    setup->pieces.reset();
    setup->levels = arguments[7] == u"-"_s ? QString() : arguments[7];
    if (arguments[6] != u"segments"_s) {
        const QStringList numbers = arguments[6].split(u',');
        const auto least = Whole(numbers.value(0), 1, 1 << 24);
        const auto most = Whole(numbers.value(1), 1, 1 << 24);
        const auto mostLines = Whole(numbers.value(2), 2, 1 << 20);
        const auto spacing = Whole(numbers.value(3), 1, 1 << 20);
        if (numbers.size() != 4 || !least || !most || !mostLines || !spacing || *least > *most)
            return false;
        setup->pieces = PieceLimits{*least, *most, *mostLines, *spacing};
    }
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
    if (!setup.levels.isEmpty())
        platform.levels.SetFolder(setup.levels);
    FailFast stop;
    Speak speak(services);
    // The job of one document, made again for each command: its workspace is lent by the
    // converter's job, which keeps every fact it answers.
    auto jobFor = [&](const QString &workspace, const QString &document, const QString &language = QString()) {
        JobSetup jobSetup;
        jobSetup.document = document;
        jobSetup.language = language;
        jobSetup.readAlong = setup.readAlong;
        jobSetup.languageSwitch = setup.languageSwitch;
        jobSetup.voicesFor = setup.voicesFor;
        jobSetup.choice = setup.choice;
        jobSetup.limits = setup.limits;
        jobSetup.pieces = setup.pieces;
        jobSetup.checkSpeech = true;
        jobSetup.workspace = workspace;
        return std::make_unique<DocumentJob>(jobSetup, services, stop);
    };

    // The engines start before any speech, and each voice's level is measured (and kept)
    // by a child: this process speaks nothing itself, so every piece begins from it as it
    // stands now.
    Quietly([&] { services.Speech().VoiceDescriptions(); });
    SpeakInChild([&] {
        QTemporaryDir probe;
        if (FileSystem::WriteReplacing(probe.filePath(u"level.txt"_s), "level.\n", 0600) == 0)
            Quietly([&] { speak.SaveToWAV(stop, setup.choice, probe.filePath(u"level.txt"_s), probe.filePath(u"level.wav"_s)); });
        probe.remove();
        return 0;
    });

    char *buffer = nullptr;
    size_t capacity = 0;
    ssize_t length;
    while ((length = ::getline(&buffer, &capacity, stdin)) > 0) {
        QByteArray line(buffer, length);
        if (line.endsWith('\n'))
            line.chop(1);
        const QStringList words = Channel::Words(line);
        if (words.value(0) == u"text"_s && words.size() == 3) {
            const auto job = jobFor(words[1], words[2]);
            if (AnsweredFailure(job->ReadText()) || AnsweredFailure(job->Cut()))
                continue;
            Answer(Channel::PiecesAnswer(job->Text()));
        } else if (words.value(0) == u"speak"_s && words.size() == 4) {
            // A piece's sound depends on its words alone, never on what this worker spoke before.
            const int piece = words[2].toInt();
            const QString how = SpeakInChild([&] {
                const auto job = jobFor(words[1], QString(), words[3]);
                if (!AnsweredFailure(job->SpeakPiece(speak, piece)) && !job->HasSpeech(piece))
                    AnsweredFailure(JobOutcome::Failure(JobStep::Speech, ErrorNumber::FileNotFound,
                                                        u"No speech was made of piece "_s + words[2]));
                else if (job->HasSpeech(piece))
                    Answer(Channel::SpokenAnswer(piece, job->Spoken(piece)));
                return 0;
            });
            if (!how.isEmpty())
                AnsweredFailure(JobOutcome::Failure(JobStep::Speech, ErrorNumber::UnexpectedError,
                                                    u"The speech of piece "_s + words[2] + u" ended unexpectedly ("_s
                                                        + how + u')'));
        } else {
            AnsweredFailure(JobOutcome::Failure(JobStep::Text, ErrorNumber::InvalidProcedureCall,
                                                u"A command the worker does not know"_s));
        }
    }
    std::free(buffer);
    return 0;
}
