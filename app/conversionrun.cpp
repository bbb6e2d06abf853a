#include "app/conversionrun.h"

#include "common/eventloop.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "common/settings.h"
#include "common/statements.h"
#include "filelist/documentlist.h"
#include "filesystem/filesystem.h"
#include "pipeline/chapters.h"
#include "pipeline/outputfiles.h"
#include "pipeline/shell32.h"
#include "pipeline/speak.h"
#include "pipeline/tags.h"
#include "pipeline/writer1.h"
#include "api/documentreader.h"
#include "api/speech.h"
#include "speech/ratevolume.h"
#include "api/resources.h"
#include "api/workingfolder.h"
#include "ui/mainwindow.h"
#include "ui/messageboxes.h"

#include <cmath>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

namespace {

QString SegmentFile(IWorkingFolder &working, int number, const QString &extension)
{
    return SegmentPath(WorkingPath(working, u"output.txt"_s), number, extension);
}

// Encodes one WAV file and checks that an MP3 came of it; throws, in words for the
// user, when the encoder failed or wrote nothing.
void EncodeChecked(const Services &services, Statements &run, Speak &speak, IMainWindow &window,
                   const QString &wavPath, const QString &mp3Path)
{
    WindowState &state = window.State();
    const EncoderOutcome outcome = speak.WAVToMP3(run.Handler(), wavPath, mp3Path, [&] {
        ++state.StepCounter;
        window.ProgressBar1().SetText(
            ProgressText(state.CurrentFileNumber, window.ListView1().Count(), state.StepCounter));
    });
    const QString failure = EncoderFailure(outcome.result, outcome.errorOutput, wavPath, mp3Path);
    if (failure.isEmpty())
        return;
    Fs::Remove(mp3Path);
    services.Diagnose(failure);
    throw RuntimeError(failure, ErrorNumber::PathFileAccessError);
}

// What a listener's player shows of one document's MP3: its tags, and its chapters as
// the cut, the speech and the encoder place them.
struct Audiobook
{
    AudiobookTags tags;
    ChapterClock clock;
};

// The tags of the document's MP3; the voice is the one it is spoken with.
AudiobookTags TagsOf(const Services &services, const QString &document, const DocumentFacts &facts, int track,
                     int trackCount, const SpeechChoice &choice)
{
    QString description;
    QString language;
    Quietly([&] {
        const QStringList voices = services.Speech().VoiceDescriptions();
        description = voices.value(choice.voice, voices.value(0));
        language = services.Speech().VoiceLanguage(choice.voice);
    });
    return TagsFor(document, facts, track, trackCount, description, language);
}

// The complete MP3 gets its tags and chapters before it takes its place; tags that cannot
// be written are reported at the statement under way, and the MP3 goes in place without.
void TagComplete(const Services &services, Statements &run, Audiobook &book, const QString &partial,
                 const QString &outputPath)
{
    try {
        AudiobookTags tags = book.tags;
        tags.chapters = book.clock.Chapters(tags.title);
        WriteMp3Tags(partial, tags);
    } catch (const RuntimeError &e) {
        const QString failure = TagFailure(outputPath, e.description());
        services.Diagnose(failure);
        run.Report(std::make_exception_ptr(RuntimeError(failure, e.number())));
    }
}

// The partial file takes the output path's place.
void Finish(Leftovers &leftovers, const QString &partial, const QString &outputPath)
{
    leftovers.Forget(partial);
    PutInPlace(partial, outputPath);
}

// A document of one segment: encoded under a name of its own in the output folder, which
// takes the output path's place only once the MP3 is complete. A failure leaves an older
// MP3 at the output path as it was.
void EncodeToOutput(const Services &services, Statements &run, Speak &speak, IMainWindow &window,
                    Leftovers &leftovers, Audiobook &book, const QString &wavPath, const QString &outputPath)
{
    QString partial;
    try {
        partial = CreatePartial(outputPath);
    } catch (const RuntimeError &e) {
        services.Diagnose(e.description());
        throw;
    }
    leftovers.Add(partial);
    try {
        EncodeChecked(services, run, speak, window, wavPath, partial);
    } catch (...) {
        leftovers.Forget(partial);
        throw;
    }
    try {
        book.clock.Encoded(1, Mp3Samples(partial));
    } catch (const RuntimeError &) {
        // the tags say so: they cannot be written either
    }
    TagComplete(services, run, book, partial, outputPath);
    Finish(leftovers, partial, outputPath);
}

// The join wrote the segments into the partial file: it takes the output path's place
// when the join succeeded; otherwise the older MP3 stays and the failure is thrown.
void FinishJoin(const Services &services, Statements &run, Leftovers &leftovers, Audiobook &book, qint32 result,
                const QString &errorOutput, const QString &partial, const QString &outputPath)
{
    if (const QString failure = JoinFailure(result, errorOutput, partial, outputPath); !failure.isEmpty()) {
        Fs::Remove(partial);
        leftovers.Forget(partial);
        services.Diagnose(failure);
        throw RuntimeError(failure, ErrorNumber::PathFileAccessError);
    }
    leftovers.Add(partial); // the join's file now stands at the partial name
    TagComplete(services, run, book, partial, outputPath);
    Finish(leftovers, partial, outputPath);
}

// The voice, volume and rate that the window shows: a document is spoken with those its
// turn begins with.
SpeechChoice ChoiceOf(const IMainWindow &window)
{
    return {window.Combo1Index(), window.Slider1Value(), window.Slider2Value()};
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

QString ProgressText(qint32 fileNumber, int fileCount, qint32 step)
{
    return u"Processing file "_s + QString::number(fileNumber) + u" of "_s + QString::number(fileCount)
           + u".. please wait patiently.. Please do not click on anything.."_s + QString::number(step);
}

void PushButton1_Click(const Services &services, IMainWindow &window, Speak &speak, Leftovers &leftovers)
{
    Statements run(services.Reports(), SiteTag(u"Form1"_s, u"PushButton1_Click"_s));
    WindowState &state = window.State();
    IEventLoop &events = services.Events();
    IWorkingFolder &working = services.WorkingFolder();
    IDocumentList &list = window.ListView1();
    IProgressBar &bar = window.ProgressBar1();

    // A refresh: one more step, the progress text, one yield to the event loop.
    auto refresh = [&](int line) {
        run(line, [&] { ++state.StepCounter; });
        run(line + 2, [&] { bar.SetText(ProgressText(state.CurrentFileNumber, list.Count(), state.StepCounter)); });
        run(line + 4, [&] { events.Yield(); });
    };

    if (run.If(100, [&] { return state.IsBusy; }))
        return;
    run(102, [&] { state.IsBusy = true; });

    if (run.If(104, [&] { return list.Count() > 0; })) {
        if (run.If(106, [&] { return FolderExists(window.Text1Value()) || window.Option2Value(); })) {
            run(108, [&] { window.SetPointer(MousePointer::Hourglass); });
            QByteArray encoder;
            run(110, [&] { encoder = services.Resources().Load(u"CUSTOM"_s, 101); });
            // The encoder goes where the documents are converted: a working folder refused
            // here is reported once and its fallback takes its place; when no folder can be
            // used at all, that one report ends the run before its first document.
            QString encoderPath;
            run(112, [&] { encoderPath = WorkingPath(working, u"lame.exe"_s); });
            if (encoderPath.isEmpty())
                Quietly([&] { encoderPath = WorkingPath(working, u"lame.exe"_s); });
            if (encoderPath.isEmpty()) {
                run(234, [&] { window.SetPointer(MousePointer::Default); });
                run(250, [&] { state.IsBusy = false; });
                return;
            }
            // An encoder already there is used only when it is the program's own, byte for
            // byte; anything else is replaced, so no planted program ever runs.
            if (run.If(112, [&] { return !FileHoldsBytes(encoderPath, encoder); })) {
                run([&] { WriteEncoder(events, encoder, encoderPath); });
            }

            // Each entry of now is converted once, in the order the list has when its turn comes.
            int count = 0;
            RunEntries entries;
            run(114, [&] {
                count = list.Count();
                entries = RunEntries(list);
            });
            for (int i = 1; i <= count; ++i) {
                run(116, [&] { state.StepCounter = 0; });
                run(118, [&] { state.CurrentFileNumber = i; });
                run(120, [&] { KillFile(events, WorkingPath(working, u"output.wav"_s)); });
                // A document text left by an earlier run that was cut short is never taken
                // for this document's.
                run(120, [&] { KillFile(events, WorkingPath(working, u"output.txt"_s)); });
                run(122, [&] { window.SetPointer(MousePointer::Hourglass); });
                const SpeechChoice choice = ChoiceOf(window);
                QString document;
                int entry = 0;
                run(124, [&] {
                    entry = entries.TakeNext(list);
                    document = list.Text(entry);
                });
                if (entry == 0)
                    break; // the documents left were taken off the list
                run(126, [&] {
                    if (list.Count() == 0)
                        throw RuntimeError(u"Division by zero"_s, ErrorNumber::DivisionByZero);
                    bar.SetValue(static_cast<double>(i) / list.Count() * 100);
                });
                run(128, [&] { bar.SetText(u"Processing: "_s + GetFileName(document)); });
                run(130, [&] { events.Yield(); });
                refresh(132);
                DocumentFacts facts;
                run(138, [&] { ExtractDocumentText(services.Reader(), working, document, &facts); });

                if (run.If(140, [&] { return FileExists(WorkingPath(working, u"output.txt"_s)); })) {
                    QString base;
                    run(142, [&] { base = BaseName(document); });
                    QString outputPath;
                    run(144, [&] { outputPath = DefaultOutputPath(document, base); });
                    if (run.If(146, [&] { return window.Option1Value(); })) {
                        run(148, [&] { outputPath = OutputPathInFolder(window.Text1Value(), outputPath); });
                    } else if (run.If(150, [&] { return window.Option2Value(); })) {
                        run(152, [&] { outputPath = OutputPathBeside(document, outputPath); });
                    }
                    if (const QString problem = OutputPathProblem(outputPath); !problem.isEmpty()) {
                        // Nothing is converted that could not be saved.
                        run.Report(std::make_exception_ptr(RuntimeError(problem, ErrorNumber::PathFileAccessError)));
                        services.Diagnose(problem);
                        run([&] { KillFile(events, WorkingPath(working, u"output.txt"_s)); });
                        run.At(230);
                        continue;
                    }
                    // What a conversion killed before its end left beside the MP3 goes.
                    RemoveLeftPartials(outputPath);
                    refresh(154);
                    Audiobook book{TagsOf(services, document, facts, i, count, choice), {}};
                    int segmentCount = 0;
                    run(160, [&] {
                        QList<LinePlace> places;
                        segmentCount = CutTextFileFSO(run.Handler(), events, WorkingPath(working, u"output.txt"_s),
                                                      SegmentLimitsForRate(choice.rate),
                                                      ChapterClock::WatchedLines(facts.headings), &places);
                        book.clock = ChapterClock(facts.headings, places);
                    });

                    // Speech that failed leaves the document without an MP3: an MP3 that
                    // lacks a piece of the text is never taken for the whole document.
                    bool speechFailed = false;
                    for (int j = 1; j <= segmentCount; ++j) {
                        refresh(164);
                        run(170, [&] { KillFile(events, SegmentFile(working, j, u".wav"_s)); });
                        run(172, [&] {
                            const SpeechOutcome spoken = speak.SaveToWAV(run.Handler(), choice,
                                                                         SegmentFile(working, j, u".txt"_s),
                                                                         SegmentFile(working, j, u".wav"_s));
                            if (!spoken.failed) {
                                book.clock.Spoken(j, spoken.lineStarts);
                                return;
                            }
                            speechFailed = true;
                            if (spoken.ClassNotRegistered()) {
                                ShowVoiceFailure(services, spoken); // its own box, as for the test phrase
                                return;
                            }
                            // The box says what the engine said, as it always has for a full
                            // disk; standard error says what follows from it.
                            services.Diagnose(u"The speech of "_s + document + u" could not be made, so it gets no MP3: "_s
                                              + spoken.description);
                            throw RuntimeError(spoken.description, spoken.number);
                        });
                        if (speechFailed)
                            break;
                        if (run.If(174, [&] { return SpokenWavListed(SegmentFile(working, j, u".wav"_s)); })) {
                            refresh(176);
                            if (run.If(182, [&] { return segmentCount == 1; })) {
                                run(184, [&] {
                                    EncodeToOutput(services, run, speak, window, leftovers, book,
                                                   SegmentFile(working, 1, u".wav"_s), outputPath);
                                });
                            } else {
                                run(186, [&] {
                                    // The encoder's target is made afresh: nothing that stands
                                    // at its name is written through.
                                    const QString mp3 = SegmentFile(working, j, u".mp3"_s);
                                    if (auto made = Fs::CreateFresh(mp3, 0600); !made)
                                        throw FileSystemError(made.Error(), mp3);
                                    EncodeChecked(services, run, speak, window, SegmentFile(working, j, u".wav"_s),
                                                  mp3);
                                    book.clock.Encoded(j, Mp3Samples(mp3));
                                });
                            }
                            run(188, [&] { KillFile(events, SegmentFile(working, j, u".wav"_s)); });
                        }
                    }
                    if (speechFailed) {
                        for (int j = 1; j <= segmentCount; ++j) {
                            run([&] { KillFile(events, SegmentFile(working, j, u".wav"_s)); });
                            run([&] { KillFile(events, SegmentFile(working, j, u".mp3"_s)); });
                        }
                        run.At(230);
                        continue;
                    }
                    refresh(192);

                    if (run.If(198, [&] { return segmentCount != 1; })) {
                        // The segment MP3s are joined byte for byte into a file beside the
                        // output path, which takes its place once the join succeeded.
                        JoinCommand command;
                        QString partial;
                        run(200, [&] { command.Start(); });
                        refresh(202);
                        for (int j = 1; j <= segmentCount; ++j)
                            run(210, [&] { command.AddSegment(SegmentFile(working, j, u".mp3"_s)); });
                        run(214, [&] { command.DropLastJoint(); });
                        run(216, [&] {
                            partial = PartialName(outputPath);
                            leftovers.Add(partial);
                            command.SetTarget(partial);
                        });
                        run(218, [&] { WriteCommandFile(command.Text(), WorkingPath(working, u"JoinMP3.bat"_s)); });
                        run(220, [&] {
                            QString errorOutput;
                            BarProgress progress(bar, list.Count());
                            const qint32 result = ShellAndWaitProgress(
                                services.Processes(), events, QuotedForCommandLine(WorkingPath(working, u"JoinMP3.bat"_s)),
                                0, &progress, &errorOutput);
                            FinishJoin(services, run, leftovers, book, result, errorOutput, partial, outputPath);
                        });
                        run(222, [&] { KillFile(events, WorkingPath(working, u"JoinMP3.bat"_s)); });
                        for (int j = 1; j <= segmentCount; ++j)
                            run(226, [&] { KillFile(events, SegmentFile(working, j, u".mp3"_s)); });
                    }
                }
                run.At(230);
            }

            run(232, [&] { KillFile(events, WorkingPath(working, u"lame.exe"_s)); });
            run(234, [&] { window.SetPointer(MousePointer::Default); });
            run(236, [&] { bar.SetValue(0); });
            run(238, [&] { bar.SetText(u"Progress Bar"_s); });
            run(244, [&] { services.Boxes().Information(u"Done."_s); });
        } else {
            run(246, [&] { services.Boxes().Information(u"Folder does not exist. Please select another folder."_s); });
        }
    } else {
        run(248, [&] { services.Boxes().Information(u"No files added."_s); });
    }
    run(250, [&] { state.IsBusy = false; });
}
