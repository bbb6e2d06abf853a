#include "app/conversionrun.h"

#include "api/processes.h"
#include "api/resources.h"
#include "common/documentlist.h"
#include "common/eventloop.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "common/settingkeys.h"
#include "common/settings.h"
#include "common/statements.h"
#include "filelist/documentlist.h"
#include "pipeline/documentjob.h"
#include "pipeline/encoder.h"
#include "pipeline/voicepicker.h"
#include "speech/ratevolume.h"
#include "ui/mainwindow.h"
#include "ui/messageboxes.h"

using namespace Qt::StringLiterals;

namespace {

// A failed step is reported at the statement under way, as every failure of the run is;
// the real cause goes to the diagnostics too.
void Throw(const Services &services, const JobOutcome &outcome)
{
    if (!outcome.failed)
        return;
    services.Diagnose(outcome.description);
    throw RuntimeError(outcome.description, outcome.number);
}

// The voice, volume and rate that the window shows: a document is spoken with those its
// turn begins with.
JobSetup SetupOf(const Services &services, const IMainWindow &window, const QString &document, int track,
                 int trackCount)
{
    JobSetup setup;
    setup.document = document;
    setup.choice = {window.Combo1Index(), window.Slider1Value(), window.Slider2Value()};
    setup.limits = SegmentLimitsForRate(setup.choice.rate);
    setup.track = track;
    setup.trackCount = trackCount;
    NameTheVoice(services.Speech(), setup);
    // Each passage in the voice of its language, as the settings say; a pair of "Voice For"
    // that names no voice is passed over (the window shows nothing of it).
    Quietly([&] {
        setup.languageSwitch =
            ReadSetting(services.Settings(), SettingKey::LanguageSwitch).compare(u"False"_s, Qt::CaseInsensitive) != 0;
        setup.lexicons = UserLexicons(services.Settings());
        QString ignored;
        setup.voicesFor = VoicesForLanguages(ReadSetting(services.Settings(), SettingKey::VoiceFor).split(u';', Qt::SkipEmptyParts),
                                             services.Speech().VoiceDescriptions(), &ignored);
    });
    return setup;
}

} // namespace

BarProgress::BarProgress(IProgressBar &bar, qint32 documentCount)
    : m_bar(bar)
    , m_baseText(bar.Text())
    , m_startValue(static_cast<qint32>(RoundHalfEven(bar.Value())))
    , m_documentCount(documentCount)
{
}

void BarProgress::Polled(qint32 polls)
{
    if (polls < 50)
        return;
    m_bar.SetText(m_baseText + (m_baseText.isEmpty() ? QString() : u", "_s) + u"Please wait.. "_s
                  + QString::number(polls - 50));
    if ((polls - 50) % 150 == 0) {
        if (m_documentCount == 0)
            throw RuntimeError(u"Division by zero"_s, ErrorNumber::DivisionByZero);
        const double step = RoundHalfEven(100.0 / m_documentCount / 10);
        const double cap = RoundHalfEven(100.0 / m_documentCount + m_startValue - step);
        const double x = (polls - 50) / 150.0 * step + m_startValue;
        m_bar.SetValue(x < cap ? x : cap);
    }
}

void BarProgress::Ended()
{
    m_bar.SetText(m_baseText.isEmpty() ? u"Progress Bar"_s : m_baseText);
}

ChildEnd ShellAndWaitProgress(IEventLoop &events, Started started, BarProgress &progress)
{
    const ChildEnd end = ShellAndWait(events, std::move(started), [&progress](qint32 polls) { progress.Polled(polls); });
    progress.Ended();
    return end;
}

QString ProgressText(qint32 fileNumber, int fileCount, qint32 step)
{
    return u"Processing file "_s + QString::number(fileNumber) + u" of "_s + QString::number(fileCount)
           + u".. please wait patiently.. Please do not click on anything.."_s + QString::number(step);
}

namespace {

// One run of the start button: the numbered statements of the whole run and of each
// document, each of them one step of the document's job.
class WindowRun
{
public:
    WindowRun(const Services &services, IMainWindow &window, Speak &speak)
        : m_services(services)
        , m_window(window)
        , m_speak(speak)
        , m_run(services.Reports(), SiteTag(u"Form1"_s, u"PushButton1_Click"_s))
        , m_state(window.State())
        , m_events(services.Events())
        , m_list(window.ListView1())
        , m_bar(window.ProgressBar1())
    {
    }

    void Click(JobsUnderWay &underWay);

private:
    void ConvertDocument(DocumentJob &job);
    bool SpeakAndEncode(DocumentJob &job, int segment);
    void Join(DocumentJob &job);
    void Finish(DocumentJob &job);

    // A refresh: one more step, the progress text, one yield to the event loop.
    void Refresh(int line)
    {
        m_run(line, [&] { ++m_state.StepCounter; });
        m_run(line + 2, [&] { m_bar.SetText(ProgressText(m_state.CurrentFileNumber, m_list.Count(), m_state.StepCounter)); });
        m_run(line + 4, [&] { m_events.Yield(); });
    }

    // What each 100 ms poll of the encoder shows.
    void Polled()
    {
        ++m_state.StepCounter;
        m_bar.SetText(ProgressText(m_state.CurrentFileNumber, m_list.Count(), m_state.StepCounter));
    }

    const Services &m_services;
    IMainWindow &m_window;
    Speak &m_speak;
    Statements m_run;
    WindowState &m_state;
    IEventLoop &m_events;
    IDocumentList &m_list;
    IProgressBar &m_bar;
    EncoderProgram m_encoder;
};

void WindowRun::Click(JobsUnderWay &underWay)
{
    Statements &run = m_run;
    if (run.If(100, [&] { return m_state.IsBusy; }))
        return;
    run(102, [&] { m_state.IsBusy = true; });

    if (run.If(104, [&] { return m_list.Count() > 0; })) {
        if (run.If(106, [&] { return FolderExists(m_window.Text1Value()) || m_window.Option2Value(); })) {
            run(108, [&] { m_window.SetPointer(MousePointer::Hourglass); });
            QByteArray bytes;
            run(110, [&] { bytes = m_services.Resources().Load(u"CUSTOM"_s, 101); });
            // The encoder goes where the documents are converted: a working folder refused
            // here is reported once and its fallback takes its place; when no folder can be
            // used at all, that one report ends the run before its first document.
            run(112, [&] { m_encoder.Install(m_events, m_services.WorkingFolder(), bytes); });
            if (!m_encoder.IsInstalled())
                Quietly([&] { m_encoder.Install(m_events, m_services.WorkingFolder(), bytes); });
            if (!m_encoder.IsInstalled()) {
                run(234, [&] { m_window.SetPointer(MousePointer::Default); });
                run(250, [&] { m_state.IsBusy = false; });
                return;
            }

            // Each entry of now is converted once, in the order the list has when its turn comes.
            int count = 0;
            RunEntries entries;
            run(114, [&] {
                count = m_list.Count();
                entries = RunEntries(m_list);
            });
            for (int i = 1; i <= count; ++i) {
                run(116, [&] { m_state.StepCounter = 0; });
                run(118, [&] { m_state.CurrentFileNumber = i; });
                run(120, [&] { DocumentJob::ClearStale(m_services); });
                run(122, [&] { m_window.SetPointer(MousePointer::Hourglass); });
                QString document;
                int entry = 0;
                run(124, [&] {
                    entry = entries.TakeNext(m_list);
                    document = m_list.Text(entry);
                });
                if (entry == 0)
                    break; // the documents left were taken off the list
                run(126, [&] {
                    if (m_list.Count() == 0)
                        throw RuntimeError(u"Division by zero"_s, ErrorNumber::DivisionByZero);
                    m_bar.SetValue(static_cast<double>(i) / m_list.Count() * 100);
                });
                run(128, [&] {
                    m_bar.SetText(u"Processing: "_s + GetFileName(document));
                    m_bar.Announce(m_bar.Text());
                });
                run(130, [&] { m_events.Yield(); });
                Refresh(132);
                DocumentJob job(SetupOf(m_services, m_window, document, i, count), m_services, m_services.Reports());
                underWay.Add(job);
                ConvertDocument(job);
                underWay.Remove(job);
                run.At(230);
            }

            run(232, [&] { m_encoder.Remove(m_events); });
            run(234, [&] { m_window.SetPointer(MousePointer::Default); });
            run(236, [&] { m_bar.SetValue(0); });
            run(238, [&] {
                m_bar.SetText(u"Progress Bar"_s);
                m_bar.Announce(m_bar.Text());
            });
            run(244, [&] { m_services.Boxes().Information(u"Done."_s); });
        } else {
            run(246, [&] { m_services.Boxes().Information(u"Folder does not exist. Please select another folder."_s); });
        }
    } else {
        run(248, [&] { m_services.Boxes().Information(u"No files added."_s); });
    }
    run(250, [&] { m_state.IsBusy = false; });
}

void WindowRun::ConvertDocument(DocumentJob &job)
{
    Statements &run = m_run;
    const QString &document = job.Setup().document;
    run(138, [&] { Throw(m_services, job.ReadText()); });
    if (!run.If(140, [&] { return job.HasText(); }))
        return;
    QString outputPath;
    run(142, [&] { outputPath = DefaultOutputPath(document, BaseName(document)); });
    if (run.If(146, [&] { return m_window.Option1Value(); })) {
        run(148, [&] { outputPath = OutputPathInFolder(m_window.Text1Value(), outputPath); });
    } else if (run.If(150, [&] { return m_window.Option2Value(); })) {
        run(152, [&] { outputPath = OutputPathBeside(document, outputPath); });
    }
    // Nothing is converted that could not be saved.
    if (const JobOutcome planned = job.PlanOutput(outputPath); planned.failed) {
        run([&] { Throw(m_services, planned); });
        job.Cancel();
        return;
    }
    Refresh(154);
    run(160, [&] { Throw(m_services, job.Cut()); });
    const int segmentCount = job.Pieces();
    for (int j = 1; j <= segmentCount; ++j) {
        // Speech that failed leaves the document without an MP3: an MP3 that lacks a piece
        // of the text is never taken for the whole document.
        if (!SpeakAndEncode(job, j)) {
            job.Cancel();
            return;
        }
    }
    Refresh(192);
    if (run.If(198, [&] { return segmentCount != 1; }))
        Join(job);
    // What was left out of a finished document (letters no voice speaks, a cover) is said
    // once, when it is done.
    if (const QStringList notes = job.Notes(); job.IsFinished() && !notes.isEmpty())
        run([&] { m_services.Boxes().Information(GetFileName(document) + u": "_s + notes.join(u"\n"_s)); });
    job.Close();
}

bool WindowRun::SpeakAndEncode(DocumentJob &job, int segment)
{
    Statements &run = m_run;
    Refresh(164);
    bool spoken = true;
    run(172, [&] {
        const JobOutcome outcome = job.SpeakPiece(m_speak, segment);
        spoken = !outcome.failed;
        if (outcome.VoiceCannotLoad())
            ShowVoiceFailure(m_services, {true, outcome.description, outcome.number, {}}); // its own box
        else if (outcome.failed)
            // The box says what the engine said; standard error what follows from it.
            Throw(m_services, JobOutcome::Failure(outcome.step, outcome.number, outcome.description));
    });
    if (!spoken)
        return false;
    if (!run.If(174, [&] { return job.HasSpeech(segment); }))
        return true; // a segment without speech gets no MP3 and no message
    Refresh(176);
    // A document of one segment is encoded straight beside its output path.
    run(job.Pieces() == 1 ? 184 : 186, [&] {
        Started started;
        Throw(m_services, job.StartEncoder(m_services.Processes(), m_encoder, segment, started));
        const ChildEnd end = ShellAndWait(m_events, std::move(started), [this](qint32) { Polled(); });
        Throw(m_services, job.Encoded(segment, end));
        if (job.Pieces() == 1)
            Finish(job);
    });
    return true;
}

void WindowRun::Join(DocumentJob &job)
{
    Statements &run = m_run;
    // The segment MP3s are joined byte for byte into a file beside the output path, which
    // takes its place once the join succeeded.
    run.At(200);
    Refresh(202);
    run(218, [&] { Throw(m_services, job.WriteJoin()); });
    run(220, [&] {
        BarProgress progress(m_bar, m_list.Count());
        Throw(m_services, job.Joined(ShellAndWaitProgress(m_events, job.StartJoin(m_services.Processes()), progress)));
        Finish(job);
    });
    run(222, [&] { job.DropJoinFiles(); });
}

// The complete MP3 gets its tags and chapters and takes its place; tags that cannot be
// written are reported at the statement under way, and the MP3 goes in place without.
void WindowRun::Finish(DocumentJob &job)
{
    if (const JobOutcome tagged = job.Tag(); tagged.failed)
        m_run([&] { Throw(m_services, tagged); });
    Throw(m_services, job.PutInPlace());
}

} // namespace

void PushButton1_Click(const Services &services, IMainWindow &window, Speak &speak, JobsUnderWay &underWay)
{
    WindowRun(services, window, speak).Click(underWay);
}
