#include "pipeline/conversionrun.h"

#include "common/codepage.h"
#include "common/eventloop.h"
#include "common/helpers.h"
#include "common/mainwindow.h"
#include "common/runtimeerror.h"
#include "common/services.h"
#include "common/settings.h"
#include "common/statements.h"
#include "common/workingfolder.h"
#include "filelist/documentlist.h"
#include "pipeline/shell32.h"
#include "pipeline/speak.h"
#include "pipeline/writer1.h"
#include "platform/messageboxes.h"
#include "platform/resources.h"

#include <QFile>

#include <cmath>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QString SegmentFile(int number, const QString &extension)
{
    return SegmentPath(WorkingPath(u"output.txt"_s), number, extension);
}

// What a directory listing of normal files finds for the path: a regular, visible file.
bool NormalFileListed(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode)
           && !GetFileName(path).startsWith(u'.');
}

} // namespace

QString JoinCommandText(int segmentCount, const QString &outputPath)
{
    QString text = u"copy /y \""_s;
    for (int j = 1; j <= segmentCount; ++j)
        text += QuotedForCommandLine(SegmentFile(j, u".mp3"_s)).mid(1) + u" /b + \""_s;
    text.chop(7);
    return text + u" /b "_s + QuotedForCommandLine(outputPath);
}

void WriteCommandFile(const QString &text, const QString &path)
{
    if (CodePage::Decode(CodePage::Encode(text)) == text) {
        WriteTextFile(text, path);
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw RuntimeError(u"Path/File access error: "_s + path + u" ("_s + file.errorString() + u')',
                           ErrorNumber::PathFileAccessError);
    if (file.write("\xEF\xBB\xBF" + text.toUtf8() + "\r\n") < 0)
        throw RuntimeError(u"Path/File access error: "_s + path + u" ("_s + file.errorString() + u')',
                           ErrorNumber::PathFileAccessError);
}

void PushButton1_Click(const Services &services, IMainWindow &window, Speak &speak)
{
    Statements run(*services.boxes, SiteTag(u"Form1"_s, u"PushButton1_Click"_s));
    WindowState &state = window.State();
    IEventLoop &events = *services.events;
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
            run(110, [&] { encoder = services.resources->Load(u"CUSTOM"_s, 101); });
            if (run.If(112, [&] { return !FileExists(WorkingPath(u"lame.exe"_s)); })) {
                run([&] {
                    const QString path = WorkingPath(u"lame.exe"_s);
                    WriteBinaryFile(events, encoder, path);
                    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
                });
            }

            int count = 0;
            run(114, [&] { count = list.Count(); });
            for (int i = 1; i <= count; ++i) {
                run(116, [&] { state.StepCounter = 0; });
                run(118, [&] { state.CurrentFileNumber = i; });
                run(120, [&] { KillFile(events, WorkingPath(u"output.wav"_s)); });
                run(122, [&] { window.SetPointer(MousePointer::Hourglass); });
                QString document;
                run(124, [&] { document = list.Text(i); });
                run(126, [&] {
                    if (list.Count() == 0)
                        throw RuntimeError(u"Division by zero"_s, 11);
                    bar.SetValue(static_cast<double>(i) / list.Count() * 100);
                });
                run(128, [&] { bar.SetText(u"Processing: "_s + GetFileName(document)); });
                run(130, [&] { events.Yield(); });
                refresh(132);
                run(138, [&] { ExtractDocumentText(*services.reader, document); });

                if (run.If(140, [&] { return FileExists(WorkingPath(u"output.txt"_s)); })) {
                    QString base;
                    run(142, [&] { base = StripExtension(GetFileName(document)); });
                    QString outputPath;
                    run(144, [&] { outputPath = GetShortPath(GetFolderPath(document)) + u'/' + base + u".mp3"_s; });
                    if (run.If(146, [&] { return window.Option1Value(); })) {
                        run(148, [&] { outputPath = FixPathSlashes(window.Text1Value() + u'/' + GetFileName(outputPath)); });
                    } else if (run.If(150, [&] { return window.Option2Value(); })) {
                        run(152, [&] { outputPath = FixPathSlashes(GetFolderPath(document) + u'/' + GetFileName(outputPath)); });
                    }
                    refresh(154);
                    int segmentCount = 0;
                    run(160, [&] { segmentCount = speak.CutTextFileFSO(WorkingPath(u"output.txt"_s)); });

                    for (int j = 1; j <= segmentCount; ++j) {
                        refresh(164);
                        run(170, [&] { KillFile(events, SegmentFile(j, u".wav"_s)); });
                        run(172, [&] { speak.SaveToWAV(SegmentFile(j, u".txt"_s), SegmentFile(j, u".wav"_s)); });
                        if (run.If(174, [&] { return NormalFileListed(SegmentFile(j, u".wav"_s)); })) {
                            refresh(176);
                            if (run.If(182, [&] { return segmentCount == 1; }))
                                run(184, [&] { speak.WAVToMP3(SegmentFile(1, u".wav"_s), outputPath); });
                            else
                                run(186, [&] { speak.WAVToMP3(SegmentFile(j, u".wav"_s), SegmentFile(j, u".mp3"_s)); });
                            run(188, [&] { KillFile(events, SegmentFile(j, u".wav"_s)); });
                        }
                    }
                    refresh(192);

                    if (run.If(198, [&] { return segmentCount != 1; })) {
                        // The segment MP3s are joined byte for byte into the document's MP3.
                        QString command;
                        run.At(200);
                        refresh(202);
                        run(208, [&] { command = JoinCommandText(segmentCount, outputPath); });
                        run(218, [&] { WriteCommandFile(command, WorkingPath(u"JoinMP3.bat"_s)); });
                        run(220, [&] {
                            ShellAndWaitProgress(services, QuotedForCommandLine(WorkingPath(u"JoinMP3.bat"_s)), 0,
                                                 &bar, bar.Text(), static_cast<qint32>(RoundHalfEven(bar.Value())),
                                                 list.Count());
                        });
                        run(222, [&] { KillFile(events, WorkingPath(u"JoinMP3.bat"_s)); });
                        for (int j = 1; j <= segmentCount; ++j)
                            run(226, [&] { KillFile(events, SegmentFile(j, u".mp3"_s)); });
                    }
                }
                run.At(230);
            }

            run(232, [&] { KillFile(events, WorkingPath(u"lame.exe"_s)); });
            run(234, [&] { window.SetPointer(MousePointer::Default); });
            run(236, [&] { bar.SetValue(0); });
            run(238, [&] { bar.SetText(u"Progress Bar"_s); });
            run(244, [&] { services.boxes->Information(u"Done."_s); });
        } else {
            run(246, [&] { services.boxes->Information(u"Folder does not exist. Please select another folder."_s); });
        }
    } else {
        run(248, [&] { services.boxes->Information(u"No files added."_s); });
    }
    run(250, [&] { state.IsBusy = false; });
}
