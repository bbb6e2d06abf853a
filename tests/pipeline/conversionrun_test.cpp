#include "pipeline/conversionrun.h"
#include "pipeline/speak.h"
#include "platform/documentreader.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class ConversionRunTest : public ::testing::Test
{
protected:
    ConversionRunTest()
        : temp("TEMP", work.path())
    {
        services.boxes = &boxes;
        services.events = &events;
        services.speech = &engine;
        services.reader = &reader;
        services.processes = &processes;
        services.resources = &resources;
        window.text1 = out.path();
        window.slider2 = 0;
    }

    void Start()
    {
        Speak speak(services, window);
        PushButton1_Click(services, window, speak);
    }

    QString Document(const QString &name, const QByteArray &body)
    {
        const QString path = docs.filePath(name);
        WriteZip(path, {{u"content.xml"_s, ContentXml(body)}});
        return path;
    }

    QStringList WorkFiles() const { return QDir(work.path()).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir work;
    QTemporaryDir docs;
    QTemporaryDir out;
    ScopedEnv temp;
    FakeMessageBoxes boxes;
    FakeEventLoop events;
    FakeSpeechEngine engine;
    OdtReader reader;
    FakeProcessRunner processes;
    FakeResources resources;
    FakeMainWindow window;
    Services services;
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
    EXPECT_EQ(ReadBytes(docs.filePath(u"a.mp3"_s)), QByteArray("MP3(") + QByteArray::number(44 + 6 * 10 * 2) + ")");
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
    EXPECT_EQ(processes.commandLines[0], u"\""_s + work.filePath(u"lame.exe"_s) + u"\" -h \""_s
                                             + work.filePath(u"output001.wav"_s) + u"\" \""_s + mp3 + u'"');
    EXPECT_EQ(processes.windowStyles, QList<int>{0});
    // Only the segment text stays behind.
    EXPECT_EQ(WorkFiles(), QStringList{u"output001.txt"_s});
    EXPECT_EQ(ReadBytes(work.filePath(u"output001.txt"_s)), QByteArray("hello, world!"));
    EXPECT_FALSE(window.state.IsBusy);
    EXPECT_EQ(window.pointer, MousePointer::Default);
    EXPECT_EQ(window.progress.value, 0);
    EXPECT_EQ(window.progress.text, u"Progress Bar"_s);
}

TEST_F(ConversionRunTest, SeveralSegmentsAreJoinedAndCleanedUp)
{
    QByteArray body;
    for (int i = 0; i < 60; ++i)
        body += "<text:p>Line " + QByteArray::number(i) + ".</text:p>";
    window.list.Append(Document(u"long.odt"_s, body));
    window.slider2 = -10; // 49 lines a segment
    Start();
    EXPECT_EQ(boxes.Texts(), QStringList{u"Done."_s});
    ASSERT_EQ(processes.commandLines.size(), 3);
    EXPECT_EQ(processes.commandLines[2], u"\""_s + work.filePath(u"JoinMP3.bat"_s) + u'"');
    const QByteArray joined = ReadBytes(out.filePath(u"long.mp3"_s));
    EXPECT_TRUE(joined.startsWith("MP3(") && joined.count("MP3(") == 2) << joined.toStdString();
    EXPECT_EQ(WorkFiles(), (QStringList{u"output001.txt"_s, u"output002.txt"_s}));
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

TEST_F(ConversionRunTest, AnEncoderAlreadyThereIsUsedAndRemoved)
{
    WriteBytes(work.filePath(u"lame.exe"_s), "the encoder of an earlier run");
    window.list.Append(Document(u"a.odt"_s, "<text:p>A.</text:p>"));
    resources.resources.clear(); // the run does not need its own copy
    Start();
    EXPECT_TRUE(QFile::exists(out.filePath(u"a.mp3"_s)));
    EXPECT_FALSE(QFile::exists(work.filePath(u"lame.exe"_s)));
    ASSERT_EQ(boxes.ErrorReports().size(), 1); // only the resource load at 110
    EXPECT_TRUE(boxes.ErrorReports()[0].contains(u"at line 110\r\r"_s));
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

TEST(JoinCommand, TheExactLineOfTheCopyCommand)
{
    ScopedEnv temp("TEMP", u"/w"_s);
    EXPECT_EQ(JoinCommandText(2, u"/audio/report.mp3"_s),
              u"copy /y \"/w/output001.mp3\" /b + \"/w/output002.mp3\" /b \"/audio/report.mp3\""_s);
    const QString ten = JoinCommandText(10, u"/o.mp3"_s);
    EXPECT_TRUE(ten.contains(u"\"/w/output009.mp3\" /b + \"/w/output010.mp3\" /b \"/o.mp3\""_s));
    EXPECT_TRUE(JoinCommandText(1000, u"/o.mp3"_s).contains(u"\"/w/output1000.mp3\" /b \"/o.mp3\""_s));
    EXPECT_EQ(JoinCommandText(2, u"/a \"q\".mp3"_s).right(16), u"\"/a \"\"\"q\"\"\".mp3\""_s);
}

TEST(JoinCommand, TheCommandFileKeepsEveryPathIntact)
{
    QTemporaryDir dir;
    WriteCommandFile(u"copy /y \"/w/caf\u00e9.mp3\""_s, dir.filePath(u"a.bat"_s));
    EXPECT_EQ(ReadBytes(dir.filePath(u"a.bat"_s)), QByteArray("copy /y \"/w/caf\xe9.mp3\"\r\n"));
    WriteCommandFile(u"copy /y \"/w/\u65e5.mp3\""_s, dir.filePath(u"b.bat"_s));
    EXPECT_EQ(ReadBytes(dir.filePath(u"b.bat"_s)), QByteArray("\xEF\xBB\xBF" "copy /y \"/w/\xe6\x97\xa5.mp3\"\r\n"));
}
