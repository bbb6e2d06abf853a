#include "app/conversionrun.h"
#include "filelist/documentlist.h"
#include "filelist/listhandlers.h"
#include "pipeline/chapters.h"
#include "pipeline/commandline.h"
#include "pipeline/documentjob.h"
#include "pipeline/speak.h"
#include "api/documentreader.h"
#include "system/privateworkingfolder.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"
#include "common/runtimeerror.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>


#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// What the encoder wrote, behind the tag.
QByteArray Audio(const QString &mp3)
{
    const QByteArray bytes = ReadBytes(mp3);
    return bytes.mid(Id3v2TagLength(bytes));
}

class ConversionRunTest : public ::testing::Test, protected FakeServices
{
protected:
    ConversionRunTest()
    {
        window.text1 = out.path();
        window.slider2 = 0;
    }

    void Start()
    {
        Speak speak(services);
        PushButton1_Click(services, window, speak, underWay);
    }

    QString Document(const QString &name, const QByteArray &body)
    {
        const QString path = docs.filePath(name);
        WriteZip(path, {{u"content.xml"_s, ContentXml(body)}});
        return path;
    }

    QString Work(const QString &name) const { return working.path + u'/' + name; }
    QStringList WorkFiles() const { return QDir(working.path).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir docs;
    QTemporaryDir out;
    FakeMainWindow window;
    JobsUnderWay underWay;
};

} // namespace

TEST_F(ConversionRunTest, AnEmptyListSaysSoAndWritesNothing)
{
    Start();
    EXPECT_EQ(boxes.Texts(), QStringList{u"No files added."_s});
    EXPECT_FALSE(window.state.IsBusy);
    EXPECT_TRUE(WorkFiles().isEmpty());
}

TEST_F(ConversionRunTest, AMissingOutputFolderIsRefusedUnlessResultsGoBesideTheDocuments)
{
    window.list.Append(Document(u"a.odt"_s, "<text:p>Hello.</text:p>"));
    window.text1 = out.filePath(u"missing"_s);
    Start();
    EXPECT_EQ(boxes.Texts(), QStringList{u"Folder does not exist. Please select another folder."_s});
    EXPECT_FALSE(window.state.IsBusy);
    EXPECT_TRUE(WorkFiles().isEmpty());

    window.option1 = false;
    window.option2 = true;
    boxes.shown.clear();
    Start();
    EXPECT_EQ(boxes.Texts(), QStringList{u"Done."_s});
    // "hello." and its line feed, spoken.
    EXPECT_EQ(Audio(docs.filePath(u"a.mp3"_s)), QByteArray("MP3(") + QByteArray::number(44 + 7 * 10 * 2) + ")");
}

TEST_F(ConversionRunTest, LettersThatNoVoiceSpeaksAreLeftOutAndSaidOnceTheirDocumentIsDone)
{
    window.list.Append(Document(u"tibetan.odt"_s, "<text:p>Hello.</text:p><text:p>\xE0\xBD\x96\xE0\xBD\xBC\xE0\xBD\x91</text:p>"));
    window.list.Append(Document(u"plain.odt"_s, "<text:p>Hello.</text:p>"));
    Start();
    EXPECT_EQ(boxes.Texts(), (QStringList{u"tibetan.odt: 2 letters in Tibetan script have no voice and were not spoken"_s,
                                          u"Done."_s}));
    EXPECT_TRUE(QFile::exists(out.filePath(u"tibetan.mp3"_s)));
}

TEST_F(ConversionRunTest, ASecondClickDuringARunChangesNothing)
{
    window.list.Append(Document(u"a.odt"_s, "<text:p>Hello.</text:p>"));
    window.state.IsBusy = true;
    Start();
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_TRUE(processes.commandLines.isEmpty());
    EXPECT_TRUE(window.state.IsBusy);
}

TEST_F(ConversionRunTest, OneSegmentIsEncodedStraightToTheOutputPath)
{
    window.list.Append(Document(u"report.v2.odt"_s, "<text:p>Hello, World!</text:p>"));
    window.text1 = out.path() + u'/';
    Start();
    EXPECT_EQ(boxes.Texts(), QStringList{u"Done."_s});
    const QString mp3 = out.filePath(u"report.v2.mp3"_s);
    EXPECT_TRUE(QFile::exists(mp3));
    ASSERT_EQ(processes.commandLines.size(), 1);
    // The encoder writes under a hidden name of its own beside the MP3, which is renamed
    // over the output path once it is complete.
    const QStringList words = QProcess::splitCommand(processes.commandLines[0]);
    ASSERT_EQ(words.size(), 4);
    EXPECT_EQ(words.mid(0, 3), (QStringList{Work(u"lame.exe"_s), u"-h"_s, Work(u"output001.wav"_s)}));
    EXPECT_TRUE(words[3].startsWith(out.filePath(u".vt-"_s)) && words[3].endsWith(u".part"_s))
        << words[3].toStdString();
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"report.v2.mp3"_s});
    // Only the segment text stays behind.
    EXPECT_EQ(WorkFiles(), QStringList{u"output001.txt"_s});
    EXPECT_EQ(ReadBytes(Work(u"output001.txt"_s)), QByteArray("hello, world!\n"));
    EXPECT_FALSE(window.state.IsBusy);
    EXPECT_EQ(window.pointer, MousePointer::Default);
    EXPECT_EQ(window.progress.value, 0);
    EXPECT_EQ(window.progress.text, u"Progress Bar"_s);
}

TEST_F(ConversionRunTest, ProgressTextsAndValuesFollowTheDocuments)
{
    window.list.Append(Document(u"one.odt"_s, "<text:p>One.</text:p>"));
    window.list.Append(Document(u"two.odt"_s, "<text:p>Two.</text:p>"));
    Start();
    EXPECT_TRUE(window.progress.texts.contains(u"Processing: two.odt"_s));
    EXPECT_TRUE(window.progress.texts.contains(
        u"Processing file 2 of 2.. please wait patiently.. Please do not click on anything..1"_s));
    EXPECT_EQ(window.progress.values, (QList<double>{50, 100, 0}));
    EXPECT_TRUE(window.pointers.startsWith(MousePointer::Hourglass));
}

TEST_F(ConversionRunTest, AnUnreadableDocumentIsReportedAndSkipped)
{
    const QString broken = docs.filePath(u"broken.odt"_s);
    WriteBytes(broken, "not a package");
    window.list.Append(broken);
    window.list.Append(Document(u"good.odt"_s, "<text:p>Good.</text:p>"));
    Start();
    ASSERT_EQ(boxes.shown.size(), 2);
    EXPECT_TRUE(boxes.shown[0].text.startsWith(u"The file is not an OpenDocument package: "_s + broken
                                                + u"\r\nin Lectorn2021/08/31.Form1.PushButton1_Click at line 138\r\r"_s));
    EXPECT_EQ(boxes.shown[1].text, u"Done."_s);
    EXPECT_FALSE(QFile::exists(out.filePath(u"broken.mp3"_s)));
    EXPECT_TRUE(QFile::exists(out.filePath(u"good.mp3"_s)));
    EXPECT_EQ(processes.commandLines.size(), 1);
}

TEST_F(ConversionRunTest, AFailingEncoderIsReportedAndLeavesTheOlderMp3)
{
    WriteBytes(out.filePath(u"a.mp3"_s), "the good MP3 of yesterday");
    window.list.Append(Document(u"a.odt"_s, "<text:p>A.</text:p>"));
    window.list.Append(Document(u"b.odt"_s, "<text:p>B.</text:p>"));
    processes.fails = [first = true](const QString &) mutable { return std::exchange(first, false); }; // a.odt's
    processes.errorOutput = u"LAME 3.100\n\x1b[KEncoding...\rError writing output file\n"_s;
    Start();
    ASSERT_EQ(boxes.ErrorReports().size(), 1);
    const QString report = boxes.ErrorReports()[0];
    EXPECT_TRUE(report.startsWith(u"The MP3 encoder failed (exit code 1) on "_s + Work(u"output001.wav"_s)
                                  + u": Error writing output file\r\n"
                                    u"in Lectorn2021/08/31.Form1.PushButton1_Click at line 184\r\r"_s))
        << report.toStdString();
    EXPECT_EQ(diagnostics.lines.size(), 1);
    EXPECT_EQ(ReadBytes(out.filePath(u"a.mp3"_s)), QByteArray("the good MP3 of yesterday"));
    EXPECT_TRUE(QFile::exists(out.filePath(u"b.mp3"_s))); // the run went on
    EXPECT_EQ(boxes.Texts().last(), u"Done."_s);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{u"a.mp3"_s, u"b.mp3"_s}));
}

TEST_F(ConversionRunTest, AJoinThatFailsIsReportedAndLeavesTheOlderMp3)
{
    QByteArray body;
    for (int i = 0; i < 60; ++i)
        body += "<text:p>Line " + QByteArray::number(i) + ".</text:p>";
    window.list.Append(Document(u"long.odt"_s, body));
    window.slider2 = -10; // two segments
    WriteBytes(out.filePath(u"long.mp3"_s), "older");
    // The second segment's encoder fails: its MP3 is missing from the join.
    processes.fails = [](const QString &command) { return command.contains(u"output002.mp3"_s); };
    Start();
    const QStringList shownReports = boxes.ErrorReports();
    ASSERT_EQ(shownReports.size(), 2);
    EXPECT_TRUE(shownReports[0].contains(u"at line 186\r\r"_s));
    EXPECT_TRUE(shownReports[1].startsWith(u"The segments could not be joined into "_s + out.filePath(u"long.mp3"_s)
                                      + u": The system cannot find the file specified: "_s + Work(u"output002.mp3"_s)
                                      + u"\r\nin Lectorn2021/08/31.Form1.PushButton1_Click at line 220\r\r"_s))
        << shownReports[1].toStdString();
    EXPECT_EQ(ReadBytes(out.filePath(u"long.mp3"_s)), QByteArray("older"));
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"long.mp3"_s});
    EXPECT_EQ(WorkFiles(), (QStringList{u"output001.txt"_s, u"output002.txt"_s}));
    EXPECT_EQ(boxes.Texts().last(), u"Done."_s);
}

TEST_F(ConversionRunTest, SpeechThatFailsIsReportedAndTheDocumentGetsNoMp3)
{
    WriteBytes(out.filePath(u"a.mp3"_s), "older");
    window.list.Append(Document(u"a.odt"_s, "<text:p>A.</text:p>"));
    speech.speakFailure = u"The speech could not be saved to x (No space left on device)"_s;
    speech.speakFailureNumber = ErrorNumber::DiskFull;
    Start();
    ASSERT_EQ(boxes.ErrorReports().size(), 1);
    EXPECT_TRUE(boxes.ErrorReports()[0].startsWith(
        u"The speech could not be saved to x (No space left on device)\r\n"
        u"in Lectorn2021/08/31.Form1.PushButton1_Click at line 172\r\r"_s));
    EXPECT_EQ(processes.commandLines.size(), 0);
    EXPECT_EQ(ReadBytes(out.filePath(u"a.mp3"_s)), QByteArray("older"));
    EXPECT_FALSE(QFile::exists(Work(u"output001.wav"_s)));

    // Any other failure of the speech engine too: an MP3 that lacks speech is never made.
    speech.speakFailure = u"Something else"_s;
    speech.speakFailureNumber = ErrorNumber::UnexpectedError;
    boxes.shown.clear();
    Start();
    ASSERT_EQ(boxes.ErrorReports().size(), 1);
    EXPECT_TRUE(boxes.ErrorReports()[0].startsWith(u"Something else\r\nin Lectorn2021/08/31.Form1.PushButton1_Click at line 172"_s));
    EXPECT_EQ(boxes.Texts().last(), u"Done."_s);
    EXPECT_EQ(ReadBytes(out.filePath(u"a.mp3"_s)), QByteArray("older"));

    // A voice that cannot be loaded: its own box, once for the document, and no MP3.
    speech.speakFailure.clear();
    speech.unregistered.insert(1);
    window.combo1Index = 1;
    window.list.Append(Document(u"b.odt"_s, "<text:p>B.</text:p>"));
    boxes.shown.clear();
    Start();
    EXPECT_EQ(boxes.Texts(), (QStringList{u"Class not registered\r\rPlease try selecting another voice from the dropdown."_s,
                                          u"Class not registered\r\rPlease try selecting another voice from the dropdown."_s,
                                          u"Done."_s}));
    EXPECT_EQ(processes.commandLines.size(), 0);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"a.mp3"_s});
}

TEST_F(ConversionRunTest, AStaleDocumentTextIsNeverSpokenForAnotherDocument)
{
    // Left by a run that was cut short after extracting.
    WriteBytes(Work(u"output.txt"_s), "the text of another document");
    const QString broken = docs.filePath(u"broken.odt"_s);
    WriteBytes(broken, "not a package");
    window.list.Append(broken);
    Start();
    EXPECT_EQ(boxes.ErrorReports().size(), 1); // the unreadable document, at 138
    EXPECT_TRUE(processes.commandLines.isEmpty());
    EXPECT_FALSE(speech.calls.join(u' ').contains(u"SpeakFile"_s));
    EXPECT_FALSE(QFile::exists(out.filePath(u"broken.mp3"_s)));
}

TEST_F(ConversionRunTest, EntriesAddedDuringTheRunAreNotConverted)
{
    window.list.Append(Document(u"a.odt"_s, "<text:p>A.</text:p>"));
    const QString late = Document(u"late.odt"_s, "<text:p>Late.</text:p>");
    events.onYield = [&] {
        if (window.state.CurrentFileNumber == 1 && window.list.Count() == 1)
            window.list.Append(late);
    };
    Start();
    EXPECT_TRUE(QFile::exists(out.filePath(u"a.mp3"_s)));
    EXPECT_FALSE(QFile::exists(out.filePath(u"late.mp3"_s)));
    EXPECT_EQ(window.list.Count(), 2);
}

TEST_F(ConversionRunTest, EntriesMovedDuringTheRunAreEachConvertedOnce)
{
    for (const char *name : {"a", "b", "c"})
        window.list.Append(Document(QLatin1String(name) + u".odt"_s, "<text:p>Text.</text:p>"));
    // While a document is announced, the user moves it below the next one (a, b, c: b, a, c),
    // then drags the last one onto the first (c, a, b).
    events.onYield = [&] {
        if (window.progress.text == u"Processing: a.odt"_s) {
            window.list.Select(1);
            ListView1_MoveSelected(window.list, 1);
        } else if (window.progress.text == u"Processing: b.odt"_s) {
            InListDragStep(window.list, 3, 1, 330);
        }
    };
    Start();
    EXPECT_EQ(boxes.Texts(), QStringList{u"Done."_s});
    EXPECT_EQ(window.progress.texts.filter(u"Processing: "_s),
              (QStringList{u"Processing: a.odt"_s, u"Processing: b.odt"_s, u"Processing: c.odt"_s}));
    EXPECT_EQ(processes.commandLines.size(), 3);
    for (const char *name : {"a", "b", "c"})
        EXPECT_TRUE(QFile::exists(out.filePath(QLatin1String(name) + u".mp3"_s))) << name;
}

TEST(JoinCommand, TheCommandFileKeepsEveryPathIntact)
{
    QTemporaryDir dir;
    WriteCommandFile(u"copy /y \"/w/caf\u00e9.mp3\""_s, dir.filePath(u"a.bat"_s));
    EXPECT_EQ(ReadBytes(dir.filePath(u"a.bat"_s)), QByteArray("copy /y \"/w/caf\xe9.mp3\"\r\n"));
    WriteCommandFile(u"copy /y \"/w/\u65e5.mp3\""_s, dir.filePath(u"b.bat"_s));
    EXPECT_EQ(ReadBytes(dir.filePath(u"b.bat"_s)), QByteArray("\xEF\xBB\xBF" "copy /y \"/w/\xe6\x97\xa5.mp3\"\r\n"));
}

TEST(BarProgress, ALongJoinCountsPollsAndCreepsTheValueUpToItsCap)
{
    FakeProgressBar bar;
    bar.text = u"Processing file 1"_s;
    bar.value = 100;
    BarProgress progress(bar, 1);
    progress.Polled(57);
    EXPECT_EQ(bar.texts.last(), u"Processing file 1, Please wait.. 7"_s);
    progress.Ended();
    EXPECT_EQ(bar.texts.last(), u"Processing file 1"_s);

    FakeProgressBar creeping;
    creeping.text.clear();
    creeping.value = 100;
    BarProgress creep(creeping, 1);
    for (qint32 poll = 50; poll <= 50 + 150 * 12; ++poll)
        creep.Polled(poll);
    EXPECT_EQ(creeping.values, (QList<double>{100, 110, 120, 130, 140, 150, 160, 170, 180, 190, 190, 190, 190}));
    EXPECT_TRUE(creeping.texts[1].startsWith(u"Please wait.. 1"_s)); // no leading ", "
    creep.Ended();
    EXPECT_EQ(creeping.texts.last(), u"Progress Bar"_s);
}

TEST_F(ConversionRunTest, AnUnusableWorkingFolderIsReportedOnceAndTheEncoderGoesToItsFallback)
{
    // A TEMP that is missing: before, eleven boxes a document and no MP3.
    QTemporaryDir runtime;
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.path());
    ScopedEnv temp("TEMP", docs.filePath(u"missing"_s));
    PrivateWorkingFolder real(&diagnostics);
    services.workingFolder = &real;
    for (const QString &name : {u"a.odt"_s, u"b.odt"_s, u"c.odt"_s})
        window.list.Append(Document(name, "<text:p>Hello.</text:p>"));
    Start();
    ASSERT_EQ(boxes.ErrorReports().size(), 1) << boxes.Texts().join(u'\n').toStdString();
    EXPECT_TRUE(boxes.ErrorReports()[0].startsWith(u"Path not found: "_s + docs.filePath(u"missing"_s) + u"\r\n"_s));
    EXPECT_TRUE(boxes.ErrorReports()[0].contains(u"at line 112\r\r"_s));
    EXPECT_EQ(boxes.Texts().last(), u"Done."_s);
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files), (QStringList{u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s}));
    ASSERT_EQ(processes.openedCommandLines.size(), 3);
    for (const QString &line : std::as_const(processes.openedCommandLines))
        EXPECT_EQ(QProcess::splitCommand(line).first(), runtime.path() + u"/vocatext/lame.exe"_s);
    EXPECT_FALSE(QFile::exists(runtime.path() + u"/vocatext/lame.exe"_s));
}

TEST_F(ConversionRunTest, NoUsableWorkingFolderAtAllIsOneReportAndNoDocumentIsStarted)
{
    QTemporaryDir home;
    WriteBytes(home.filePath(u".cache"_s), "a file where the folder would be");
    ScopedEnv xdg("XDG_RUNTIME_DIR", std::nullopt);
    ScopedEnv homeHere("HOME", home.path());
    ScopedEnv temp("TEMP", docs.filePath(u"missing"_s));
    PrivateWorkingFolder real(&diagnostics);
    services.workingFolder = &real;
    window.list.Append(Document(u"a.odt"_s, "<text:p>Hello.</text:p>"));
    window.list.Append(Document(u"b.odt"_s, "<text:p>Hello.</text:p>"));
    Start();
    ASSERT_EQ(boxes.shown.size(), 1) << boxes.Texts().join(u'\n').toStdString();
    EXPECT_TRUE(boxes.ErrorReports().value(0).contains(u"at line 112\r\r"_s));
    EXPECT_TRUE(processes.commandLines.isEmpty());
    EXPECT_TRUE(QDir(out.path()).isEmpty());
    EXPECT_FALSE(window.state.IsBusy);
    EXPECT_EQ(window.pointer, MousePointer::Default);
}

TEST_F(ConversionRunTest, EveryNameAFolderCanHoldConverts)
{
    QByteArray sixty;
    for (int i = 0; i < 60; ++i)
        sixty += "<text:p>Line " + QByteArray::number(i) + ".</text:p>";
    window.slider2 = -10; // the long one is joined from two segments
    const QString longest = QString(251, u'x');                   // 255 bytes with ".odt"
    const QString cjk = QString(80, QChar(0x8a9e));               // 240 bytes, and ".odt"
    // libzip writes under a longer name of its own first: the documents are renamed after.
    auto named = [&](const QString &name, const QByteArray &body) {
        const QString path = docs.filePath(name);
        EXPECT_TRUE(QFile::rename(Document(u"d.odt"_s, body), path));
        return path;
    };
    window.list.Append(named(longest + u".odt"_s, "<text:p>Short.</text:p>"));
    window.list.Append(named(cjk + u".odt"_s, sixty));
    window.list.Append(named(QString(253, u'y'), "<text:p>Short.</text:p>")); // no extension: its MP3's name is too long
    Start();
    EXPECT_TRUE(QFile::exists(out.filePath(longest + u".mp3"_s)));
    EXPECT_TRUE(QFile::exists(out.filePath(cjk + u".mp3"_s)));
    ASSERT_EQ(boxes.ErrorReports().size(), 1) << boxes.Texts().join(u'\n').toStdString();
    EXPECT_TRUE(boxes.ErrorReports()[0].contains(u"(File name too long)"_s)) << boxes.ErrorReports()[0].toStdString();
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}
