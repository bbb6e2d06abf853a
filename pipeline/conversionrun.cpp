#include "pipeline/conversionrun.h"

#include "common/codepage.h"
#include "common/eventloop.h"
#include "common/helpers.h"
#include "common/mainwindow.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "common/settings.h"
#include "common/statements.h"
#include "common/documentlist.h"
#include "pipeline/outputfiles.h"
#include "pipeline/shell32.h"
#include "pipeline/speak.h"
#include "pipeline/writer1.h"
#include "common/diagnostics.h"
#include "platform/filesystem.h"
#include "common/messageboxes.h"
#include "platform/processes.h"
#include "platform/resources.h"
#include "platform/workingfolder.h"

#include <cmath>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

namespace {

QString SegmentFile(IWorkingFolder &working, int number, const QString &extension)
{
    return SegmentPath(WorkingPath(working, u"output.txt"_s), number, extension);
}

// What a directory listing of normal files finds for the path: a regular, visible file.
bool NormalFileListed(const QString &path)
{
    const auto status = Fs::Stat(path);
    return status && status->kind == Fs::Kind::Regular && !GetFileName(path).startsWith(u'.');
}

// Encodes one WAV file and checks that an MP3 came of it; throws, in words for the
// user, when the encoder failed or wrote nothing.
void EncodeChecked(const Services &services, Speak &speak, const QString &wavPath, const QString &mp3Path)
{
    const Speak::EncoderOutcome outcome = speak.WAVToMP3(wavPath, mp3Path);
    const QString failure = EncoderFailure(outcome.result, outcome.errorOutput, wavPath, mp3Path);
    if (failure.isEmpty())
        return;
    Fs::Remove(mp3Path);
    services.Diagnose(failure);
    throw RuntimeError(failure, ErrorNumber::PathFileAccessError);
}

// A document of one segment: encoded under a name of its own in the output folder, which
// takes the output path's place only once the MP3 is complete. A failure leaves an older
// MP3 at the output path as it was.
void EncodeToOutput(const Services &services, Speak &speak, const QString &wavPath, const QString &outputPath)
{
    QString partial;
    try {
        partial = CreatePartial(outputPath);
    } catch (const RuntimeError &e) {
        services.Diagnose(e.description());
        throw;
    }
    EncodeChecked(services, speak, wavPath, partial);
    PutInPlace(partial, outputPath);
}

// The join wrote the segments into the partial file: it takes the output path's place
// when the join succeeded; otherwise the older MP3 stays and the failure is thrown.
void FinishJoin(const Services &services, qint32 result, const QString &errorOutput, const QString &partial,
                const QString &outputPath)
{
    if (const QString failure = JoinFailure(result, errorOutput, partial, outputPath); !failure.isEmpty()) {
        Fs::Remove(partial);
        services.Diagnose(failure);
        throw RuntimeError(failure, ErrorNumber::PathFileAccessError);
    }
    PutInPlace(partial, outputPath);
}

} // namespace

void JoinCommand::Start()
{
    m_text = u"copy /y \""_s;
}

void JoinCommand::AddSegment(const QString &segmentPath)
{
    m_text += QuotedForCommandLine(segmentPath).mid(1) + u" /b + \""_s;
}

void JoinCommand::DropLastJoint()
{
    m_text.truncate(m_text.size() - 7);
}

void JoinCommand::SetTarget(const QString &targetPath)
{
    m_text += u" /b "_s + QuotedForCommandLine(targetPath);
}

QString JoinCommandText(IWorkingFolder &working, int segmentCount, const QString &targetPath)
{
    JoinCommand command;
    command.Start();
    for (int j = 1; j <= segmentCount; ++j)
        command.AddSegment(SegmentFile(working, j, u".mp3"_s));
    command.DropLastJoint();
    command.SetTarget(targetPath);
    return command.Text();
}

void WriteCommandFile(const QString &text, const QString &path)
{
    if (CodePage::Decode(CodePage::Encode(text)) == text) {
        WriteTextFile(text, path);
        return;
    }
    if (const int error = Fs::WriteReplacing(path, "\xEF\xBB\xBF" + text.toUtf8() + "\r\n", 0600))
        throw FileSystemError(error, path);
}

void PushButton1_Click(const Services &services, IMainWindow &window, Speak &speak)
{
    Statements run(services.Boxes(), SiteTag(u"Form1"_s, u"PushButton1_Click"_s));
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
            // An encoder already there is used only when it is the program's own, byte for
            // byte; anything else is replaced, so no planted program ever runs.
            if (run.If(112, [&] { return !FileHoldsBytes(WorkingPath(working, u"lame.exe"_s), encoder); })) {
                run([&] { WriteEncoder(events, encoder, WorkingPath(working, u"lame.exe"_s)); });
            }

            int count = 0;
            run(114, [&] { count = list.Count(); });
            for (int i = 1; i <= count; ++i) {
                run(116, [&] { state.StepCounter = 0; });
                run(118, [&] { state.CurrentFileNumber = i; });
                run(120, [&] { KillFile(events, WorkingPath(working, u"output.wav"_s)); });
                // A document text left by an earlier run that was cut short is never taken
                // for this document's.
                run(120, [&] { KillFile(events, WorkingPath(working, u"output.txt"_s)); });
                run(122, [&] { window.SetPointer(MousePointer::Hourglass); });
                QString document;
                run(124, [&] { document = list.Text(i); });
                run(126, [&] {
                    if (list.Count() == 0)
                        throw RuntimeError(u"Division by zero"_s, ErrorNumber::DivisionByZero);
                    bar.SetValue(static_cast<double>(i) / list.Count() * 100);
                });
                run(128, [&] { bar.SetText(u"Processing: "_s + GetFileName(document)); });
                run(130, [&] { events.Yield(); });
                refresh(132);
                run(138, [&] { ExtractDocumentText(services.Reader(), working, document); });

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
                    refresh(154);
                    int segmentCount = 0;
                    run(160, [&] { segmentCount = speak.CutTextFileFSO(WorkingPath(working, u"output.txt"_s)); });

                    for (int j = 1; j <= segmentCount; ++j) {
                        refresh(164);
                        run(170, [&] { KillFile(events, SegmentFile(working, j, u".wav"_s)); });
                        run(172, [&] {
                            speak.SaveToWAV(SegmentFile(working, j, u".txt"_s), SegmentFile(working, j, u".wav"_s));
                        });
                        if (run.If(174, [&] { return NormalFileListed(SegmentFile(working, j, u".wav"_s)); })) {
                            refresh(176);
                            if (run.If(182, [&] { return segmentCount == 1; })) {
                                run(184, [&] {
                                    EncodeToOutput(services, speak, SegmentFile(working, 1, u".wav"_s), outputPath);
                                });
                            } else {
                                run(186, [&] {
                                    // The encoder's target is made afresh: nothing that stands
                                    // at its name is written through.
                                    const QString mp3 = SegmentFile(working, j, u".mp3"_s);
                                    if (auto made = Fs::CreateFresh(mp3, 0600); !made)
                                        throw FileSystemError(made.Error(), mp3);
                                    EncodeChecked(services, speak, SegmentFile(working, j, u".wav"_s), mp3);
                                });
                            }
                            run(188, [&] { KillFile(events, SegmentFile(working, j, u".wav"_s)); });
                        }
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
                            command.SetTarget(partial);
                        });
                        run(218, [&] { WriteCommandFile(command.Text(), WorkingPath(working, u"JoinMP3.bat"_s)); });
                        run(220, [&] {
                            QString errorOutput;
                            const qint32 result = ShellAndWaitProgress(
                                services, QuotedForCommandLine(WorkingPath(working, u"JoinMP3.bat"_s)), 0, &bar,
                                bar.Text(), static_cast<qint32>(RoundHalfEven(bar.Value())), list.Count(),
                                &errorOutput);
                            FinishJoin(services, result, errorOutput, partial, outputPath);
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
