// The headless converter run as a user runs it: the real program, espeak-ng and LAME.
#include "tests/audio.h"
#include "tests/testutil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

using namespace Qt::StringLiterals;

namespace {

const QString kConvert = QStringLiteral(VOCATEXT_PROGRAM_DIR "/vocatext-convert");
const QString kVoice = u"eSpeak NG English (Great Britain)"_s;

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

class ConvertTest : public ::testing::Test
{
protected:
    ConvertTest()
    {
        ::chmod(QFile::encodeName(work.path()).constData(), 0700);
        environment.insert(u"HOME"_s, home.path());
        environment.insert(u"XDG_CONFIG_HOME"_s, home.path() + u"/.config"_s);
        environment.insert(u"TEMP"_s, work.path());
        environment.remove(u"XDG_DATA_HOME"_s);
        // Audio libraries keep their sockets there, not in the working folder.
        QDir(home.path()).mkdir(u"run"_s);
        ::chmod(QFile::encodeName(home.path() + u"/run"_s).constData(), 0700);
        environment.insert(u"XDG_RUNTIME_DIR"_s, home.path() + u"/run"_s);
    }

    QProcess *Start(const QStringList &arguments)
    {
        auto *process = new QProcess;
        process->setProcessEnvironment(environment);
        process->start(kConvert, arguments);
        process->waitForStarted();
        return process;
    }

    Result Finish(QProcess *process)
    {
        process->waitForFinished(300000);
        Result result{process->exitCode(), QString::fromLocal8Bit(process->readAllStandardOutput()),
                      QString::fromLocal8Bit(process->readAllStandardError())};
        delete process;
        return result;
    }

    Result Convert(const QStringList &arguments) { return Finish(Start(QStringList{u"--voice"_s, kVoice} + arguments)); }

    QString Document(const QString &relative, int paragraphs = 2)
    {
        QByteArray body;
        for (int i = 1; i <= paragraphs; ++i)
            body += "<text:p>Paragraph " + QByteArray::number(i) + " of the document.</text:p>";
        const QString path = docs.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        WriteZip(path, {{u"content.xml"_s, ContentXml(body)}});
        return path;
    }

    QStringList Made() const
    {
        QStringList names = QDir(out.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        return names;
    }

    QTemporaryDir home;
    QTemporaryDir work;
    QTemporaryDir docs;
    QTemporaryDir out;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

} // namespace

TEST_F(ConvertTest, AFolderIsWalkedAsTheWindowWalksItAndEveryMp3Plays)
{
    Document(u"a.odt"_s);
    Document(u"b/Chapter 2.odt"_s);
    Document(u"b/deeper/Chapter 10.ODT"_s);
    Document(u"~lock.odt"_s);
    Document(u".hidden.odt"_s);          // hidden, archive: the sum 34 is left out
    Document(u".Trash-1000/gone.odt"_s); // the desktop's trash is never walked
    WriteBytes(docs.filePath(u"photo.png"_s), "not a type that is read");
    // The working folder is the user's own: folders of theirs there are never touched,
    // whatever their names.
    for (const QString &mine : {u"job-search"_s, u"vt-job-0"_s}) {
        QDir(work.path()).mkpath(mine);
        WriteBytes(work.filePath(mine + u"/cv.odt"_s), "the user's");
    }
    const Result result = Convert({u"--out"_s, out.path(), docs.path()});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(Made(), (QStringList{u"Chapter 10.mp3"_s, u"Chapter 2.mp3"_s, u"a.mp3"_s}));
    for (const QString &name : Made()) {
        const WavInfo decoded = DecodeMp3(out.filePath(name));
        EXPECT_TRUE(decoded.valid) << name.toStdString();
        EXPECT_EQ(decoded.sampleRate, 22050);
        EXPECT_GT(decoded.seconds, 1.5);
    }
    EXPECT_TRUE(result.out.contains(u"converted "_s + docs.filePath(u"a.odt"_s) + u" -> "_s + out.filePath(u"a.mp3"_s)));
    EXPECT_TRUE(result.out.contains(u"3 converted, 0 skipped, 0 failed"_s)) << result.out.toStdString();
    // Nothing of the converter's is left in the working folder.
    EXPECT_EQ(QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              (QStringList{u"job-search"_s, u"vt-job-0"_s}));
    EXPECT_EQ(ReadBytes(work.filePath(u"vt-job-0/cv.odt"_s)), QByteArray("the user's"));
}

TEST_F(ConvertTest, ALongDocumentIsSpokenInSegmentsAndJoinedBesideItsDocument)
{
    const QString document = Document(u"sixty.odt"_s, 60);
    const Result result = Convert({u"--beside"_s, u"--rate"_s, u"-10"_s, document});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    int samplesPerFrame = 0;
    int rate = 0;
    EXPECT_GT(Mp3FrameCount(docs.filePath(u"sixty.mp3"_s), &samplesPerFrame, &rate), 0) << "a clean run of frames";
    const WavInfo decoded = DecodeMp3(docs.filePath(u"sixty.mp3"_s));
    EXPECT_GT(decoded.seconds, 60 * 1.5);
}

TEST_F(ConvertTest, SkipUnchangedConvertsOnlyWhatIsLeft)
{
    const QString a = Document(u"a.odt"_s);
    const QString b = Document(u"b.odt"_s);
    ASSERT_EQ(Convert({u"--out"_s, out.path(), a}).exitCode, 0);
    const QDateTime before = QFileInfo(out.filePath(u"a.mp3"_s)).lastModified();
    QThread::msleep(20);
    const Result again = Convert({u"--out"_s, out.path(), u"--skip-unchanged"_s, a, b});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_TRUE(again.out.contains(u"skipped "_s + a)) << again.out.toStdString();
    EXPECT_TRUE(again.out.contains(u"1 converted, 1 skipped, 0 failed"_s));
    EXPECT_EQ(QFileInfo(out.filePath(u"a.mp3"_s)).lastModified(), before);
    EXPECT_TRUE(QFileInfo::exists(out.filePath(u"b.mp3"_s)));

    // A document changed after its MP3 was made is converted again.
    QThread::msleep(20);
    Document(u"a.odt"_s, 3);
    EXPECT_TRUE(Convert({u"--out"_s, out.path(), u"--skip-unchanged"_s, a}).out.contains(u"1 converted"_s));
}

TEST_F(ConvertTest, ABadDocumentAmongGoodOnesIsNamedAndTheOthersAreConverted)
{
    const QString good1 = Document(u"good1.odt"_s);
    const QString broken = docs.filePath(u"broken.odt"_s);
    WriteBytes(broken, "not a package at all");
    const QString good2 = Document(u"good2.odt"_s);
    const Result result = Convert({u"--out"_s, out.path(), good1, broken, docs.filePath(u"missing.odt"_s), good2});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(u"vocatext-convert: "_s + broken
                                    + u": The file is not an OpenDocument package: "_s + broken))
        << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(u"missing.odt: File not found"_s));
    EXPECT_EQ(Made(), (QStringList{u"good1.mp3"_s, u"good2.mp3"_s}));
    EXPECT_TRUE(result.out.contains(u"2 converted, 0 skipped, 2 failed"_s));
}

// Every type that is read goes into the walk unless --types narrows it; --format txt
// writes the text that would be spoken, in a second, instead of the speech.
TEST_F(ConvertTest, EveryTypeOfAFolderAndTheTextThatWouldBeSpoken)
{
    Document(u"a.odt"_s);
    QFile::copy(TestDataPath(u"docx/lists.docx"_s), docs.filePath(u"b.docx"_s));
    QFile::copy(TestDataPath(u"epub/book.epub"_s), docs.filePath(u"c.epub"_s));
    WriteBytes(docs.filePath(u"d.md"_s), "# Notes\n\nFirst *note*.\n");
    WriteBytes(docs.filePath(u"e.txt"_s), "Caf\xC3\xA9 au lait.\r\nSecond line.\r\n");
    WriteBytes(docs.filePath(u"f.html"_s), "<p>A <b>web</b> page.<script>no()</script>");
    WriteBytes(docs.filePath(u"photo.png"_s), "not a type that is read");

    QElapsedTimer clock;
    clock.start();
    const Result text = Convert({u"--format"_s, u"txt"_s, u"--out"_s, out.path(), docs.path()});
    EXPECT_LT(clock.elapsed(), 20000);
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_EQ(Made(), (QStringList{u"a.txt"_s, u"b.txt"_s, u"c.txt"_s, u"d.txt"_s, u"e.txt"_s, u"f.txt"_s}));
    EXPECT_EQ(ReadBytes(out.filePath(u"e.txt"_s)), "caf  au lait.\nsecond line.\n");
    EXPECT_EQ(ReadBytes(out.filePath(u"f.txt"_s)), "a web page.\n");
    EXPECT_TRUE(ReadBytes(out.filePath(u"c.txt"_s)).contains("\nthe mouth\nat last the river meets the sea, "));
    EXPECT_TRUE(text.out.contains(u"6 converted, 0 skipped, 0 failed"_s)) << text.out.toStdString();

    // Beside itself, a text file's text would be written over it: refused, never done.
    const Result beside = Convert({u"--format"_s, u"txt"_s, u"--beside"_s, docs.filePath(u"e.txt"_s)});
    EXPECT_EQ(beside.exitCode, 1);
    EXPECT_TRUE(beside.err.contains(u"would be written over the document itself"_s)) << beside.err.toStdString();
    EXPECT_EQ(ReadBytes(docs.filePath(u"e.txt"_s)), "Caf\xC3\xA9 au lait.\r\nSecond line.\r\n");

    QDir(out.path()).removeRecursively();
    QDir().mkpath(out.path());
    const Result spoken = Convert({u"--types"_s, u"docx,md"_s, u"--out"_s, out.path(), docs.path()});
    EXPECT_EQ(spoken.exitCode, 0) << spoken.err.toStdString();
    EXPECT_EQ(Made(), (QStringList{u"b.mp3"_s, u"d.mp3"_s}));
    for (const QString &name : Made())
        EXPECT_GT(DecodeMp3(out.filePath(name)).seconds, 1.0) << name.toStdString();
}

TEST_F(ConvertTest, UsageErrorsAndTheVoiceList)
{
    Result result = Finish(Start({u"--rate"_s, u"12"_s, u"x.odt"_s}));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.startsWith(u"vocatext-convert: --rate must be a whole number from -10 to 10"_s));
    EXPECT_TRUE(result.out.isEmpty());
    result = Finish(Start({u"--out"_s, out.filePath(u"missing"_s), u"x.odt"_s}));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.contains(u"Folder does not exist"_s));
    result = Finish(Start({u"--list-voices"_s}));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.out.contains(u"  eSpeak NG English (Great Britain)\n"_s));
    EXPECT_TRUE(result.out.contains(u"Flite English (United States) female slt"_s));
}

TEST_F(ConvertTest, AnInterruptedRunLeavesNoPartialMp3AndNoWorkingFiles)
{
    const QString document = Document(u"long.odt"_s, 1500);
    WriteBytes(out.filePath(u"long.mp3"_s), "yesterday's MP3");
    QProcess *process = Start({u"--voice"_s, kVoice, u"--out"_s, out.path(), u"--rate"_s, u"-10"_s, document});
    // Stopped while it speaks and encodes.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20000 && !QDir(work.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).join(u' ').contains(u"job-"_s))
        QThread::msleep(20);
    QThread::msleep(1500);
    process->terminate();
    const Result result = Finish(process);
    EXPECT_EQ(result.exitCode, 143) << result.err.toStdString();
    EXPECT_EQ(Made(), QStringList{u"long.mp3"_s});
    EXPECT_EQ(ReadBytes(out.filePath(u"long.mp3"_s)), QByteArray("yesterday's MP3"));
    EXPECT_EQ(QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    QProcess ps;
    ps.start(u"pgrep"_s, {u"-f"_s, work.path()});
    ps.waitForFinished();
    EXPECT_TRUE(ps.readAllStandardOutput().trimmed().isEmpty()) << "no worker or encoder outlives the converter";
}

TEST_F(ConvertTest, TwoConvertersOnTheSameOutputFolderLoseNothing)
{
    QStringList first;
    QStringList second;
    for (int i = 0; i < 3; ++i) {
        first.append(Document(u"first%1.odt"_s.arg(i)));
        second.append(Document(u"second%1.odt"_s.arg(i)));
    }
    const QString shared = Document(u"both.odt"_s, 4);
    QProcess *one = Start(QStringList{u"--voice"_s, kVoice, u"--out"_s, out.path(), shared} + first);
    QProcess *two = Start(QStringList{u"--voice"_s, kVoice, u"--out"_s, out.path(), shared} + second);
    const Result r1 = Finish(one);
    const Result r2 = Finish(two);
    EXPECT_EQ(r1.exitCode, 0) << r1.err.toStdString();
    EXPECT_EQ(r2.exitCode, 0) << r2.err.toStdString();
    EXPECT_EQ(Made().size(), 7) << Made().join(u' ').toStdString();
    for (const QString &name : Made())
        EXPECT_GT(Mp3FrameCount(out.filePath(name)), 0) << name.toStdString();
}

TEST_F(ConvertTest, GnuParallelRunsOneConverterPerDocument)
{
    const QString parallel = QStandardPaths::findExecutable(u"parallel"_s);
    if (parallel.isEmpty())
        GTEST_SKIP() << "GNU parallel is not installed";
    QStringList documents;
    for (int i = 0; i < 4; ++i)
        documents.append(Document(u"doc %1.odt"_s.arg(i)));
    QProcess run;
    run.setProcessEnvironment(environment);
    run.start(parallel, QStringList{u"--will-cite"_s, u"-j2"_s, u"--joblog"_s, work.path() + u"/../joblog"_s, kConvert,
                                    u"--quiet"_s, u"--voice"_s, u'\'' + kVoice + u'\'', u"--out"_s, out.path(), u"{}"_s,
                                    u":::"_s}
                            + documents);
    ASSERT_TRUE(run.waitForFinished(300000));
    EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
    EXPECT_EQ(Made(), (QStringList{u"doc 0.mp3"_s, u"doc 1.mp3"_s, u"doc 2.mp3"_s, u"doc 3.mp3"_s}));
    for (const QString &name : Made())
        EXPECT_TRUE(DecodeMp3(out.filePath(name)).valid) << name.toStdString();
    QFile::remove(work.path() + u"/../joblog"_s);
}
