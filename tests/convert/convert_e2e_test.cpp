// The headless converter run as a user runs it: the real program, espeak-ng and LAME.
#include "pipeline/mp3frames.h"
#include "pipeline/outputfiles.h"
#include "tests/audio.h"
#include "reading/speechplan.h"
#include "tests/testutil.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#include <functional>
#include <sys/stat.h>
#include <utime.h>

using namespace Qt::StringLiterals;

namespace {

const QString kConvert = QStringLiteral(VOCATEXT_PROGRAM_DIR "/vocatext-convert");
const QString kVoice = u"eSpeak NG English (Great Britain)"_s;

// The private folder that the user's Vocatext would make inside folder.
QString PrivateFolderInForUser(const QString &folder, uid_t user)
{
    return folder + u"/vocatext-"_s + QString::number(user);
}

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
    QByteArray errBytes; // as the converter wrote them
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

    QProcess *Start(const QStringList &arguments, const QString &folder = QString())
    {
        auto *process = new QProcess;
        process->setProcessEnvironment(environment);
        if (!folder.isEmpty())
            process->setWorkingDirectory(folder);
        process->start(kConvert, arguments);
        process->waitForStarted();
        return process;
    }

    Result Finish(QProcess *process)
    {
        process->waitForFinished(300000);
        const QByteArray err = process->readAllStandardError();
        Result result{process->exitCode(), QString::fromLocal8Bit(process->readAllStandardOutput()),
                      QString::fromLocal8Bit(err), err};
        delete process;
        return result;
    }

    Result Convert(const QStringList &arguments) { return Finish(Start(QStringList{u"--voice"_s, kVoice} + arguments)); }

    QString Document(const QString &relative, int paragraphs = 2)
    {
        QByteArray body;
        for (int i = 1; i <= paragraphs; ++i)
            body += "<text:p>Paragraph " + QByteArray::number(i) + " of the document.</text:p>";
        const QString path = docs.path() + u'/' + relative; // filePath takes ":c.odt" for absolute
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

TEST_F(ConvertTest, SkipUnchangedConvertsOnlyWhatIsLeft)
{
    const QString a = Document(u"a.odt"_s);
    const QString b = Document(u"-b.odt"_s);
    const QString c = Document(u":c.odt"_s);
    // --missing converts nothing and lists what is left, below the current folder as
    // "./..." whatever the first character (no name passes for an option or for a whole
    // path), elsewhere whole.
    auto missing = [this](const QString &folder) {
        const Result listed = Finish(Start({u"--missing"_s, u"--out"_s, out.path(), docs.path()}, folder));
        QStringList lines = listed.out.split(u'\n', Qt::SkipEmptyParts);
        lines.sort();
        return std::pair{listed.exitCode, lines};
    };
    EXPECT_EQ(missing(out.path()), std::pair(1, QStringList{b, c, a}));
    ASSERT_EQ(Convert({u"--out"_s, out.path(), a, c}).exitCode, 0);
    EXPECT_EQ(missing(docs.path()), std::pair(1, QStringList{u"./-b.odt"_s}));
    const QDateTime before = QFileInfo(out.filePath(u"a.mp3"_s)).lastModified();
    QThread::msleep(20);
    const Result again = Convert({u"--out"_s, out.path(), u"--skip-unchanged"_s, a, b});
    EXPECT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_TRUE(again.out.contains(u"skipped "_s + a)) << again.out.toStdString();
    EXPECT_TRUE(again.out.contains(u"1 converted, 1 skipped, 0 failed"_s));
    EXPECT_EQ(QFileInfo(out.filePath(u"a.mp3"_s)).lastModified(), before);
    EXPECT_TRUE(QFileInfo::exists(out.filePath(u"-b.mp3"_s)));
    EXPECT_EQ(missing(docs.path()), std::pair(0, QStringList{}));

    // An MP3 cut short (a full disk, a copy that broke off) or empty is no conversion.
    QFile cut(out.path() + u"/:c.mp3"_s);
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
    ASSERT_TRUE(cut.resize(cut.size() - 100));
    cut.close();
    WriteBytes(out.filePath(u"-b.mp3"_s), QByteArray());
    EXPECT_EQ(missing(docs.path()), std::pair(1, QStringList{u"./-b.odt"_s, u"./:c.odt"_s}));

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

    const Result text = Convert({u"--format"_s, u"txt"_s, u"--out"_s, out.path(), docs.path()});
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_EQ(Made(), (QStringList{u"a.txt"_s, u"b.txt"_s, u"c.txt"_s, u"d.txt"_s, u"e.txt"_s, u"f.txt"_s}));
    EXPECT_EQ(ReadBytes(out.filePath(u"e.txt"_s)), "caf\xC3\xA9 au lait.\nsecond line.\n");
    EXPECT_EQ(ReadBytes(out.filePath(u"f.txt"_s)), "a web page.\n");
    EXPECT_TRUE(ReadBytes(out.filePath(u"c.txt"_s)).contains("\nthe mouth\nat last the river meets the sea, "));
    EXPECT_TRUE(text.out.contains(u"6 converted, 0 skipped, 0 failed"_s)) << text.out.toStdString();

    // A text of Vocatext's own is replaced; a text of the user's that stands where a
    // document's text would go is never, nor one that would be written over itself.
    EXPECT_EQ(Convert({u"--format"_s, u"txt"_s, u"--out"_s, out.path(), docs.filePath(u"d.md"_s)}).exitCode, 0);
    WriteBytes(docs.filePath(u"d.txt"_s), "My own notes.");
    const Result notes = Convert({u"--format"_s, u"txt"_s, u"--beside"_s, docs.filePath(u"d.md"_s)});
    EXPECT_EQ(notes.exitCode, 1);
    EXPECT_TRUE(notes.err.contains(u"is a file of yours, not one that Vocatext wrote"_s)) << notes.err.toStdString();
    EXPECT_EQ(ReadBytes(docs.filePath(u"d.txt"_s)), "My own notes.");
    QFile::remove(docs.filePath(u"d.txt"_s));

    // Beside itself, a text file's text would be written over it: refused, never done.
    const Result beside = Convert({u"--format"_s, u"txt"_s, u"--beside"_s, docs.filePath(u"e.txt"_s)});
    EXPECT_EQ(beside.exitCode, 1);
    EXPECT_TRUE(beside.err.contains(u"would be written over the document itself"_s)) << beside.err.toStdString();
    EXPECT_EQ(ReadBytes(docs.filePath(u"e.txt"_s)), "Caf\xC3\xA9 au lait.\r\nSecond line.\r\n");

    // The speech plan: what the engine is given, paragraph by paragraph, the lexicon's words
    // marked; SSML that reads back.
    WriteBytes(docs.filePath(u"lexicon.txt"_s), "Notes = Knotes\n");
    const Result plan = Convert({u"--format"_s, u"ssml"_s, u"--out"_s, out.path(), docs.filePath(u"d.md"_s)});
    EXPECT_EQ(plan.exitCode, 0) << plan.err.toStdString();
    QString error;
    const SpeechPlan read = ReadSsml(ReadBytes(out.filePath(u"d.ssml"_s)), &error);
    ASSERT_EQ(read.paragraphs.size(), 2) << error.toStdString();
    EXPECT_EQ(read.paragraphs[0].passages.value(0).text, u"Knotes"_s);
    EXPECT_EQ(read.paragraphs[1].passages.value(0).text, u"first note."_s);
    EXPECT_EQ(read.paragraphs[1].passages.value(0).voiceName, kVoice);
    // The plan, converted, speaks as its document does.
    QByteArrayList audio;
    for (const QString &document : {out.filePath(u"d.ssml"_s), docs.filePath(u"d.md"_s)}) {
        QTemporaryDir spoken;
        ASSERT_EQ(Convert({u"--no-cache"_s, u"--out"_s, spoken.path(), document}).exitCode, 0);
        const QByteArray mp3 = ReadBytes(spoken.filePath(u"d.mp3"_s));
        audio.append(mp3.mid(Id3v2TagLength(mp3)));
    }
    EXPECT_GT(audio[0].size(), 1000);
    EXPECT_EQ(audio[0], audio[1]);
    {
        // Edited, it is read as edited: at half the rate, about twice as long.
        QByteArray slower = ReadBytes(out.filePath(u"d.ssml"_s));
        slower.replace("<s ", "<prosody rate=\"50%\"><s ").replace("</s>", "</s></prosody>");
        QTemporaryDir edited;
        WriteBytes(edited.filePath(u"d.ssml"_s), slower);
        ASSERT_EQ(Convert({u"--no-cache"_s, u"--out"_s, edited.path(), edited.filePath(u"d.ssml"_s)}).exitCode, 0);
        EXPECT_GT(double(ReadBytes(edited.filePath(u"d.mp3"_s)).size()), 1.6 * double(audio[0].size()));
    }
    // Flite says a lexicon's sounds with the phones of its own lexicon.
    for (const QByteArray &lexicon : {QByteArray("first = /ˈlʌvli/\n"), QByteArray()}) {
        WriteBytes(docs.filePath(u"lexicon.txt"_s), lexicon);
        QTemporaryDir spoken;
        ASSERT_EQ(Convert({u"--no-cache"_s, u"--voice"_s, u"1"_s, u"--out"_s, spoken.path(), docs.filePath(u"d.md"_s)})
                      .exitCode,
                  0);
        const QByteArray mp3 = ReadBytes(spoken.filePath(u"d.mp3"_s));
        audio.append(mp3.mid(Id3v2TagLength(mp3)));
    }
    EXPECT_NE(audio[2], audio[3]);
    QFile::remove(docs.filePath(u"lexicon.txt"_s));

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

TEST_F(ConvertTest, AStoppedWorkerIsStoppedForGoodAndItsPieceSpokenByAnother)
{
    const QString document = Document(u"long.odt"_s, 200);
    QProcess *process = Start({u"--voice"_s, kVoice, u"--out"_s, out.path(), u"--rate"_s, u"-10"_s, u"-j1"_s,
                               u"--stall-limit"_s, u"2"_s, document});
    // The worker is stopped (SIGSTOP, a machine swapping) as soon as it speaks.
    pid_t worker = 0;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 30000 && !worker) {
        QProcess pgrep;
        pgrep.start(u"pgrep"_s, {u"-P"_s, QString::number(process->processId()), u"-f"_s, u"[-]-worker"_s});
        pgrep.waitForFinished();
        const QStringList found = QString::fromLatin1(pgrep.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QDirIterator wavs(work.path(), {u"*.wav"_s}, QDir::Files, QDirIterator::Subdirectories);
        if (!found.isEmpty() && wavs.hasNext())
            worker = found.first().toInt();
        else
            QThread::msleep(20);
    }
    ASSERT_GT(worker, 0);
    ::kill(worker, SIGSTOP);
    const Result result = Finish(process);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_GT(DecodeMp3(out.filePath(u"long.mp3"_s)).seconds, 60);
    EXPECT_NE(::kill(worker, 0), 0) << "the stopped worker is gone";
}

// A piece sounds the same whoever speaks it after whatever: the same document gives the
// same MP3, whole or from kept pieces, after a damaged entry or a run killed half-way.
TEST_F(ConvertTest, TheSameSpeechEveryTimeFromKeptPiecesAndAfterAKill)
{
    const QString document = Document(u"book.odt"_s, 300);
    const QString mp3 = out.filePath(u"book.mp3"_s);
    const QString cache = home.path() + u"/.cache/vocatext/pieces-1"_s;
    auto convert = [&](const QStringList &options) {
        const Result result = Convert(options + QStringList{u"--out"_s, out.path(), u"--rate"_s, u"5"_s, document});
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        return ReadBytes(mp3);
    };
    auto entries = [&] {
        QStringList found;
        for (QDirIterator it(cache, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            found.append(it.next());
        return found;
    };
    const QByteArray first = convert({u"--no-cache"_s, u"-j2"_s});
    EXPECT_EQ(convert({u"--no-cache"_s, u"-j1"_s}), first);
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_EQ(convert({u"-j2"_s}), first);
    const QStringList kept = entries();
    ASSERT_GT(kept.size(), 2);
    EXPECT_EQ(convert({u"-j1"_s}), first);

    // A damaged entry is thrown away and the piece made again.
    QByteArray damaged = ReadBytes(kept.first());
    damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 1);
    WriteBytes(kept.first(), damaged);
    EXPECT_EQ(convert({u"-j2"_s}), first);
    EXPECT_NE(ReadBytes(kept.first()), damaged);

    // Killed as soon as a piece is kept, then again: the same MP3, nothing half written.
    QDir(cache).removeRecursively();
    QFile::remove(mp3);
    QProcess *killed = Start({u"--voice"_s, kVoice, u"--out"_s, out.path(), u"--rate"_s, u"5"_s, u"-j1"_s, document});
    QElapsedTimer waited;
    waited.start();
    while (entries().isEmpty() && waited.elapsed() < 60000)
        QThread::msleep(10);
    ::kill(static_cast<pid_t>(killed->processId()), SIGKILL);
    Finish(killed);
    EXPECT_FALSE(QFile::exists(mp3));
    EXPECT_EQ(convert({u"-j2"_s}), first);

    // A cache that is not the user's own folder: said once, and the conversion goes on.
    QDir(home.path() + u"/.cache"_s).removeRecursively();
    QDir().mkpath(home.path() + u"/.cache"_s);
    ASSERT_TRUE(QFile::link(out.path(), home.path() + u"/.cache/vocatext"_s));
    const Result linked = Convert({u"--out"_s, out.path(), u"--rate"_s, u"5"_s, document});
    EXPECT_EQ(linked.exitCode, 0);
    EXPECT_EQ(linked.err.count(u"finished pieces cannot be kept"_s), 1) << linked.err.toStdString();
    EXPECT_EQ(ReadBytes(mp3), first);
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

TEST_F(ConvertTest, ListenersToolsSeeTheTagsAndChaptersOfTheMp3AndTheM4b)
{
    // Three headings, the last in the second piece at the slowest rate.
    QByteArray body = "<text:p>Said before the first heading.</text:p>";
    for (int h = 1; h <= 3; ++h) {
        body += h == 2 ? QByteArray("<text:h>Drive C:\\</text:h>") // a backslash at the end of a chapter's title
                       : "<text:h>Heading " + QByteArray::number(h) + "</text:h>";
        for (int i = 0; i < 24; ++i)
            body += "<text:p>Paragraph " + QByteArray::number(i) + ".</text:p>";
    }
    const QString document = docs.filePath(u"book.odt"_s);
    WriteZip(document, {{u"content.xml"_s, ContentXml(body)},
                        {u"meta.xml"_s, "<office:document-meta xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:"
                                        "office:1.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><office:meta>"
                                        "<dc:title>Über Sterne</dc:title><dc:creator>Ann Ödegaard</dc:creator>"
                                        "</office:meta></office:document-meta>"}});
    const QStringList titles{u"Über Sterne"_s, u"Heading 1"_s, u"Drive C:\\"_s, u"Heading 3"_s};
    const QString album = QFileInfo(docs.path()).fileName();

    Result result = Convert({u"--out"_s, out.path(), u"--rate"_s, u"-10"_s, document});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QString mp3 = out.filePath(u"book.mp3"_s);
    const Probed probed = Ffprobe(mp3);
    EXPECT_EQ(probed.tags, (QMap<QString, QString>{{u"title"_s, titles[0]}, {u"artist"_s, u"Ann Ödegaard"_s},
                                                    {u"album"_s, album}, {u"track"_s, u"1/1"_s},
                                                    {u"genre"_s, u"Speech"_s}, {u"language"_s, u"eng"_s},
                                                    {u"comment"_s, u"Voice: "_s + kVoice}}));
    ASSERT_EQ(probed.chapters.size(), 4);
    const QList<double> pauseEnds = SoundAfterSilence(DecodeWithFfmpeg(mp3), 22050, 0.08);
    for (qsizetype k = 0; k < 4; ++k) {
        EXPECT_EQ(probed.chapters[k].title, titles[k]);
        if (k == 0)
            continue;
        const double start = probed.chapters[k].start;
        const auto nearest = std::min_element(pauseEnds.begin(), pauseEnds.end(),
                                              [&](double a, double b) { return std::abs(a - start) < std::abs(b - start); });
        ASSERT_NE(nearest, pauseEnds.end());
        EXPECT_NEAR(start, *nearest, 0.05) << "chapter " << k;
    }
    // A second reader of ID3 sees the same.
    QProcess mid3v2;
    mid3v2.start(u"mid3v2"_s, {u"-l"_s, mp3});
    ASSERT_TRUE(mid3v2.waitForFinished(60000));
    const QString listed = QString::fromUtf8(mid3v2.readAllStandardOutput());
    for (const QString &line : {u"TIT2=Über Sterne"_s, u"TPE1=Ann Ödegaard"_s, u"TRCK=1/1"_s,
                                u"CTOC=toc flags=3 child_element_ids=chp0,chp1,chp2,chp3"_s, u"    TIT2=Heading 3"_s})
        EXPECT_TRUE(listed.contains(line)) << line.toStdString() << " in\n" << listed.toStdString();

    // The audiobook holds the same chapters and tags, AAC in MP4, as the MP3 of a run like
    // its own: espeak-ng's speech of a text varies by some milliseconds with what the process
    // spoke before, and the first run measured the voice's level before it spoke.
    result = Convert({u"--out"_s, out.path(), u"--rate"_s, u"-10"_s, document});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const Probed source = Ffprobe(mp3);
    result = Convert({u"--out"_s, out.path(), u"--rate"_s, u"-10"_s, u"--format"_s, u"m4b"_s, document});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(Made(), (QStringList{u"book.m4b"_s, u"book.mp3"_s}));
    const Probed book = Ffprobe(out.filePath(u"book.m4b"_s));
    EXPECT_TRUE(book.format.contains(u"mp4"_s)) << book.format.toStdString();
    EXPECT_EQ(book.tags.value(u"major_brand"_s), u"M4B "_s);
    for (const QString &key : {u"title"_s, u"artist"_s, u"album"_s, u"track"_s, u"genre"_s, u"comment"_s})
        EXPECT_EQ(book.tags.value(key), probed.tags.value(key)) << key.toStdString();
    ASSERT_EQ(book.chapters.size(), 4);
    for (qsizetype k = 0; k < 4; ++k) {
        EXPECT_EQ(book.chapters[k].title, titles[k]);
        EXPECT_NEAR(book.chapters[k].start, source.chapters[k].start, 0.002);
    }
    EXPECT_NEAR(book.seconds, source.seconds, 0.1);

    // Left out, nothing is written: the MP3 begins with its first frame.
    result = Convert({u"--out"_s, out.path(), u"--rate"_s, u"10"_s, u"--no-tags"_s, u"--no-chapters"_s, document});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(ReadBytes(mp3).startsWith("\xFF")) << "no tag";
    EXPECT_GT(Mp3FrameCount(mp3), 0);
}

TEST(BatchInterpreter, AnInterruptedOrOrphanedJoinLeavesNothingAndPutsNothingInPlace)
{
    const QString cmd = QStringLiteral(VOCATEXT_PROGRAM_DIR "/vocatext-cmd");
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(u"out"_s);
    // Large enough that the join is still under way when it is stopped.
    QFile big(dir.filePath(u"piece.mp3"_s));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(qint64(300) << 20));
    big.close();
    const QString target = dir.filePath(u"out/.vt-target.part"_s);
    const QString file = dir.filePath(u"JoinMP3.bat"_s);
    WriteBytes(file, (u"copy /y \""_s + big.fileName() + u"\" /b + \""_s + big.fileName() + u"\" /b \""_s + target
                      + u"\"\r\n"_s)
                         .toUtf8());
    auto underWay = [&] { return !QDir(dir.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden).isEmpty(); };
    auto waitFor = [](const std::function<bool()> &condition) {
        QElapsedTimer waited;
        waited.start();
        while (!condition() && waited.elapsed() < 10000)
            QThread::usleep(200);
    };
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        QProcess join;
        join.start(cmd, {u"/c"_s, file});
        ASSERT_TRUE(join.waitForStarted());
        waitFor(underWay);
        ASSERT_TRUE(underWay()) << "the join never began";
        ::kill(static_cast<pid_t>(join.processId()), signal);
        join.waitForFinished();
        EXPECT_EQ(join.exitStatus(), QProcess::CrashExit) << signal;
        EXPECT_FALSE(underWay()) << "signal " << signal << " left the join's temporary file";
    }
    // Killed outright, it leaves its file behind, which the next conversion into the
    // folder removes once nobody holds it.
    QProcess killed;
    killed.start(cmd, {u"/c"_s, file});
    ASSERT_TRUE(killed.waitForStarted());
    waitFor(underWay);
    ::kill(static_cast<pid_t>(killed.processId()), SIGKILL);
    killed.waitForFinished();
    const QStringList left = QDir(dir.filePath(u"out"_s)).entryList(QDir::Files | QDir::Hidden);
    ASSERT_EQ(left.size(), 1);
    QFile leftFile(dir.filePath(u"out/"_s + left.first()));
    ASSERT_TRUE(leftFile.open(QIODevice::ReadWrite));
    leftFile.setFileTime(QDateTime::currentDateTime().addSecs(-600), QFileDevice::FileModificationTime);
    leftFile.close();
    RemoveLeftPartials(target);
    EXPECT_FALSE(underWay());

    // Its parent killed outright: the join ends with it and puts nothing in place.
    QProcess parent;
    parent.start(u"/bin/sh"_s, {u"-c"_s, u"\"$0\" /c \"$1\" & wait"_s, cmd, file});
    ASSERT_TRUE(parent.waitForStarted());
    waitFor(underWay);
    ASSERT_TRUE(underWay());
    ::kill(static_cast<pid_t>(parent.processId()), SIGKILL);
    parent.waitForFinished();
    waitFor([&] { return !underWay(); });
    EXPECT_FALSE(underWay()) << "an orphaned join wrote on";
    QThread::msleep(200);
    EXPECT_FALSE(QFile::exists(target));
}

namespace {

// What another user of the machine does, in a process of its own as that user, until it
// is killed: whenever the victim's folder inside the shared folder holds an encoder, it
// is exchanged for the attacker's folder in one rename.
pid_t StartSwapping(const ScopedUser &attacker, const QString &victims, const QString &attackers)
{
    const QByteArray from = QFile::encodeName(victims);
    const QByteArray to = QFile::encodeName(attackers);
    const QByteArray encoder = from + "/lame.exe";
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    if (::setgroups(0, nullptr) != 0 || ::setresgid(attacker.Group(), attacker.Group(), attacker.Group()) != 0
        || ::setresuid(attacker.Id(), attacker.Id(), attacker.Id()) != 0)
        ::_exit(1);
    for (;;) {
        struct stat st;
        if (::lstat(encoder.constData(), &st) == 0 && st.st_uid != attacker.Id())
            ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE);
        ::usleep(200);
    }
}

} // namespace

TEST(TwoUsers, AnotherUserCannotPutAFolderOfTheirOwnInThePlaceOfTheWorkingFolder)
{
    ScopedUser victim(u"victim"_s);
    ScopedUser attacker(u"attacker"_s);
    if (!victim.IsMade() || !attacker.IsMade())
        GTEST_SKIP() << "users can be made only by root with useradd";
    // A project folder that every user may write, not sticky, given as TEMP.
    QTemporaryDir root;
    ::chmod(QFile::encodeName(root.path()).constData(), 0755);
    const QString shared = root.filePath(u"project"_s);
    QDir().mkdir(shared);
    ::chmod(QFile::encodeName(shared).constData(), 0777);
    const QString home = root.filePath(u"home"_s);
    QDir().mkpath(home + u"/run"_s);
    QDir().mkpath(home + u"/out"_s);
    for (const QString &folder : {home, home + u"/run"_s, home + u"/out"_s})
        victim.Own(folder, 0700);
    // The attacker's folder, which the victim may write, and an encoder that gives itself away.
    const QString evil = shared + u"/evil"_s;
    QDir().mkdir(evil);
    const QString ran = shared + u"/the attacker's encoder ran"_s;
    WriteBytes(evil + u"/lame.exe"_s, "#!/bin/sh\ntouch '" + ran.toUtf8() + "'\nexec /usr/bin/lame \"$@\"\n");
    attacker.Own(evil + u"/lame.exe"_s, 0755);
    attacker.Own(evil, 0777);

    QStringList documents;
    for (int i = 1; i <= 6; ++i) {
        const QString document = root.filePath(u"document %1.odt"_s.arg(i));
        WriteZip(document, {{u"content.xml"_s, ContentXml("<text:p>A short document to be spoken.</text:p>")}});
        ::chmod(QFile::encodeName(document).constData(), 0644);
        documents.append(document);
    }
    const QString victims = PrivateFolderInForUser(shared, victim.Id());
    const pid_t swapping = StartSwapping(attacker, victims, evil);

    QProcess convert;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_s, home);
    environment.insert(u"TEMP"_s, shared);
    environment.insert(u"XDG_RUNTIME_DIR"_s, home + u"/run"_s);
    environment.remove(u"XDG_CONFIG_HOME"_s);
    convert.setProcessEnvironment(environment);
    convert.start(u"/usr/bin/setpriv"_s,
                  victim.As(kConvert, QStringList{u"--voice"_s, kVoice, u"--out"_s, home + u"/out"_s} + documents));
    ASSERT_TRUE(convert.waitForFinished(300000));
    ::kill(swapping, SIGKILL);
    ::waitpid(swapping, nullptr, 0);
    const QString err = QString::fromLocal8Bit(convert.readAllStandardError());
    EXPECT_EQ(convert.exitCode(), 0) << err.toStdString();
    EXPECT_FALSE(QFile::exists(ran)) << "the victim's converter ran the attacker's encoder";
    EXPECT_TRUE(err.contains(u"Working folder is not private: "_s + victims + u" (the folder "_s + shared
                             + u" above it can be changed by others"_s))
        << err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(victims)) << "nothing is made where another user can replace it";
    EXPECT_EQ(QDir(home + u"/out"_s).entryList(QDir::Files).size(), 6);
}

TEST(TwoUsers, AWriteProtectedMp3IsLeftAsItIsAndSaidSo)
{
    ScopedUser victim(u"owner"_s);
    if (!victim.IsMade())
        GTEST_SKIP() << "users can be made only by root with useradd";
    QTemporaryDir root;
    ::chmod(QFile::encodeName(root.path()).constData(), 0755);
    const QString home = root.filePath(u"home"_s);
    QDir().mkpath(home + u"/run"_s);
    for (const QString &folder : {home, home + u"/run"_s})
        victim.Own(folder, 0700);
    const QString document = root.filePath(u"kept.odt"_s);
    WriteZip(document, {{u"content.xml"_s, ContentXml("<text:p>Spoken.</text:p>")}});
    ::chmod(QFile::encodeName(document).constData(), 0644);
    WriteBytes(home + u"/kept.mp3"_s, "the MP3 the user protected");
    victim.Own(home + u"/kept.mp3"_s, 0444);

    QProcess convert;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_s, home);
    environment.insert(u"TEMP"_s, home + u"/run"_s);
    environment.insert(u"XDG_RUNTIME_DIR"_s, home + u"/run"_s);
    convert.setProcessEnvironment(environment);
    convert.start(u"/usr/bin/setpriv"_s, victim.As(kConvert, {u"--voice"_s, kVoice, u"--out"_s, home, document}));
    ASSERT_TRUE(convert.waitForFinished(300000));
    const QString err = QString::fromLocal8Bit(convert.readAllStandardError());
    EXPECT_EQ(convert.exitCode(), 1);
    EXPECT_TRUE(err.contains(u"The MP3 file is write-protected, so it is left as it is: "_s + home + u"/kept.mp3"_s))
        << err.toStdString();
    EXPECT_EQ(ReadBytes(home + u"/kept.mp3"_s), QByteArray("the MP3 the user protected"));
}

namespace {

// Where speech begins after a pause in an audio file, by FFmpeg's own measure, in seconds.
QList<double> SoundStarts(const QString &audio)
{
    QProcess ffmpeg;
    ffmpeg.start(u"ffmpeg"_s, {u"-hide_banner"_s, u"-i"_s, audio, u"-af"_s, u"silencedetect=n=-45dB:d=0.08"_s, u"-f"_s,
                               u"null"_s, u"-"_s});
    ffmpeg.waitForFinished(120000);
    QList<double> sounds{0};
    static const QRegularExpression end(uR"(silence_end: ([0-9.]+))"_s);
    for (auto it = end.globalMatch(QString::fromUtf8(ffmpeg.readAllStandardError())); it.hasNext();)
        sounds << it.next().captured(1).toDouble();
    return sounds;
}

double Nearest(const QList<double> &sounds, double at)
{
    return *std::min_element(sounds.begin(), sounds.end(),
                             [at](double a, double b) { return std::abs(a - at) < std::abs(b - at); });
}

} // namespace

TEST_F(ConvertTest, ReadAlongGivesEverySentenceInItsOwnWordsWhereItIsHeard)
{
    // Pieces enough that sentences are found across them; abbreviations that end no sentence;
    // a second chapter, and a paragraph written from right to left.
    QByteArray text = "# The River\n\n";
    QStringList sentences{u"The River"_s};
    for (int i = 1; i <= 40; ++i) {
        if (i == 21) {
            text += "# The Sea\n\n\u05D4\u05D9\u05DD \u05D2\u05D3\u05D5\u05DC.\n\n";
            sentences << u"The Sea"_s << u"\u05D4\u05D9\u05DD \u05D2\u05D3\u05D5\u05DC."_s;
        }
        const QString first = u"Dr. Smith walked to the river for the "_s + QString::number(i) + u". time, e.g. at noon."_s;
        const QString second = u"Did he see the boat? He did not, and the water ran fast!"_s;
        text += (first + u' ' + second + u"\n\n"_s).toUtf8();
        sentences << first << u"Did he see the boat?"_s << u"He did not, and the water ran fast!"_s;
    }
    const QString document = docs.filePath(u"story.md"_s);
    WriteBytes(document, text);
    WriteBytes(out.filePath(u"story.srt"_s), "1\n00:00:00,000 --> 00:00:01,000\nMy own subtitles.\n");
    Result result = Convert({u"-j2"_s, u"--subtitles"_s, u"srt,lrc"_s, u"--out"_s, out.path(), document});
    // A subtitle file of the user's is never replaced, and without it no audio is placed either.
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(u"is a file of yours"_s)) << result.err.toStdString();
    EXPECT_EQ(Made(), QStringList{u"story.srt"_s});
    QFile::remove(out.filePath(u"story.srt"_s));

    result = Convert({u"-j2"_s, u"--subtitles"_s, u"srt,lrc"_s, u"--out"_s, out.path(), document});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    QFile lrc(out.filePath(u"story.lrc"_s));
    ASSERT_TRUE(lrc.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(lrc.readAll()).split(u'\n', Qt::SkipEmptyParts);
    lines.removeIf([](const QString &line) { return !line.startsWith(u"[0"_s); });
    ASSERT_EQ(lines.size(), sentences.size());
    const QList<double> sounds = SoundStarts(out.filePath(u"story.mp3"_s));
    double previous = -1;
    for (qsizetype k = 0; k < lines.size(); ++k) {
        EXPECT_EQ(lines[k].mid(10), sentences[k]);
        const double at = lines[k].mid(1, 2).toInt() * 60 + lines[k].mid(4, 5).toDouble();
        EXPECT_GT(at, previous) << lines[k].toStdString();
        previous = at;
        // Each begins with a sound of its own (LRC keeps hundredths, cut short).
        EXPECT_LT(std::abs(Nearest(sounds, at) - at), 0.1) << lines[k].toStdString();
    }
    QFile srt(out.filePath(u"story.srt"_s));
    ASSERT_TRUE(srt.open(QIODevice::ReadOnly));
    EXPECT_TRUE(srt.readAll().startsWith("1\n00:00:0"));

    // The EPUB: a page, an overlay and an MP3 for each chapter; each sentence a clip that
    // begins where its chapter's MP3 speaks it.
    result = Convert({u"-j2"_s, u"--format"_s, u"epub"_s, u"--out"_s, out.path(), document});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    const QString epub = out.filePath(u"story.epub"_s);
    const QList<ZipEntry> entries = ReadZip(epub);
    QStringList read;
    static const QRegularExpression span(uR"(<span id="s\d+">([^<]*)</span>)"_s);
    static const QRegularExpression clip(uR"re(clipBegin="0:(\d\d):(\d\d\.\d\d\d)")re"_s);
    for (const QString &chapter : {u"chapter-001"_s, u"chapter-002"_s}) {
        const QString page = QString::fromUtf8(Entry(entries, u"EPUB/"_s + chapter + u".xhtml"_s));
        for (auto it = span.globalMatch(page); it.hasNext();)
            read << it.next().captured(1);
        const QString audio = out.filePath(chapter + u".mp3"_s);
        WriteBytes(audio, Entry(entries, u"EPUB/audio/"_s + chapter + u".mp3"_s));
        const QList<double> heard = SoundStarts(audio);
        QFile::remove(audio);
        int clips = 0;
        for (auto it = clip.globalMatch(QString::fromUtf8(Entry(entries, u"EPUB/"_s + chapter + u".smil"_s)));
             it.hasNext(); ++clips) {
            const auto match = it.next();
            const double at = match.captured(1).toInt() * 60 + match.captured(2).toDouble();
            EXPECT_LT(std::abs(Nearest(heard, at) - at), 0.1) << chapter.toStdString() << " at " << at;
        }
        EXPECT_GT(clips, 10);
    }
    EXPECT_EQ(read, sentences);
    EXPECT_TRUE(Entry(entries, u"EPUB/chapter-002.xhtml"_s).contains("dir=\"rtl\""));
    EXPECT_TRUE(Entry(entries, u"EPUB/chapter-003.xhtml"_s).isEmpty());
    const QString verdict = EpubcheckOutput(epub);
    EXPECT_TRUE(verdict.isNull() || verdict.contains(u"No errors or warnings detected."_s)) << verdict.toStdString();

    // An e-book keeps its own pages, styles and pictures, each page with its overlay.
    const QString book = TestDataPath(u"epub/book.epub"_s);
    result = Convert({u"--format"_s, u"epub"_s, u"--out"_s, out.path(), book});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_FALSE(result.err.contains(u"not kept"_s)) << result.err.toStdString();
    const QList<ZipEntry> source = ReadZip(book);
    const QList<ZipEntry> overlaid = ReadZip(out.filePath(u"book.epub"_s));
    EXPECT_EQ(Entry(overlaid, u"EPUB/styles/stylesheet1.css"_s), Entry(source, u"EPUB/styles/stylesheet1.css"_s));
    qsizetype spans = 0;
    qsizetype pars = 0;
    for (const ZipEntry &entry : overlaid) {
        spans += entry.name.startsWith(u"EPUB/text/"_s) ? entry.bytes.count("<span id=\"vt-s") : 0;
        pars += entry.name.endsWith(u".smil"_s) ? entry.bytes.count("<par>") : 0;
    }
    EXPECT_GT(spans, 10);
    EXPECT_EQ(spans, pars);
    EXPECT_TRUE(Entry(overlaid, u"EPUB/chapter-001.xhtml"_s).isEmpty());
    // Any other document's lists and tables are lists and cells on its pages.
    for (const QString &name : {u"lists"_s, u"table"_s}) {
        ASSERT_EQ(Convert({u"--format"_s, u"epub"_s, u"--out"_s, out.path(), TestDataPath(name + u".odt"_s)}).exitCode, 0);
        const QByteArray page = Entry(ReadZip(out.filePath(name + u".epub"_s)), u"EPUB/chapter-001.xhtml"_s);
        EXPECT_EQ(page.count(name == u"lists" ? "<li>" : "<p class=\"cell\">"), name == u"lists" ? 5 : 8) << page.data();
    }
    const QString pagesVerdict = EpubcheckOutput(out.filePath(u"book.epub"_s));
    EXPECT_TRUE(pagesVerdict.isNull() || pagesVerdict.contains(u"No errors or warnings detected."_s))
        << pagesVerdict.toStdString();
}

TEST_F(ConvertTest, LettersThatNoVoiceSpeaksAreLeftOutAndNamedWithOrWithoutTheSwitch)
{
    const QString document = docs.filePath(u"tibetan.md"_s);
    WriteBytes(document, "Hello there. \xE0\xBD\x96\xE0\xBD\xBC\xE0\xBD\x91 Goodbye.\n");
    for (const QStringList &options : {QStringList(), QStringList{u"--no-language-switch"_s}}) {
        const Result result = Convert(options + QStringList{u"--out"_s, out.path(), document});
        EXPECT_EQ(result.exitCode, 1) << options.join(u' ').toStdString();
        EXPECT_TRUE(result.err.contains(document + u": 2 letters in Tibetan script have no voice and were not spoken"_s))
            << result.err.toStdString();
        EXPECT_TRUE(QFile::exists(out.filePath(u"tibetan.mp3"_s)));
    }
    EXPECT_EQ(Convert({u"--allow-unspoken"_s, u"--out"_s, out.path(), document}).exitCode, 0);
}

TEST_F(ConvertTest, NoDocumentIsLostWithoutAWord)
{
    // Two documents of one name into one folder: refused before anything is converted.
    const QString first = Document(u"2023/report.odt"_s);
    const QString second = Document(u"2024/report.odt"_s);
    Result result = Convert({u"--out"_s, out.path(), docs.path()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.contains(first) && result.err.contains(second)) << result.err.toStdString();
    EXPECT_TRUE(Made().isEmpty());
    QFile::remove(second);

    // A name whose bytes are not UTF-8 is found by its bytes; given by name, it converts.
    const QByteArray latin1 = QFile::encodeName(docs.path()) + "/caf\xe9.odt";
    const QByteArray latin1Mp3 = QFile::encodeName(out.path()) + "/caf\xe9.mp3";
    // QTemporaryDir cannot remove a name that is not UTF-8.
    struct RemovedAtTheEnd
    {
        ~RemovedAtTheEnd()
        {
            for (const QByteArray &path : paths)
                ::unlink(path.constData());
        }
        QByteArrayList paths;
    } removed{{latin1, latin1Mp3}};
    ASSERT_EQ(::rename(QFile::encodeName(Document(u"plain.odt"_s)).constData(), latin1.constData()), 0);
    Document(u"\u03a9mega.odt"_s); // a name in another script is a name like any other
    Document(u"~lock.odt"_s);
    result = Convert({u"--out"_s, out.path(), docs.path()});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(result.errBytes.contains("vocatext-convert: left out " + QFile::encodeName(docs.path())
                                         + "/caf\xe9.odt: its name holds control characters or bytes that are no text"))
        << result.err.toStdString();
    EXPECT_TRUE(QFile::exists(out.filePath(u"\u03a9mega.mp3"_s))) << Made().join(u' ').toStdString();
    EXPECT_TRUE(result.err.contains(u"left out "_s + docs.filePath(u"~lock.odt"_s)
                                    + u": it is the lock file of an open document"_s));
    EXPECT_TRUE(result.out.contains(u"2 converted, 0 skipped, 0 failed, 2 left out"_s)) << result.out.toStdString();

    // Given by name through the shell, which hands the converter the very bytes.
    QProcess shell;
    shell.setProcessEnvironment(environment);
    shell.start(u"/bin/sh"_s, {u"-c"_s, u"exec \"$0\" --voice \"$1\" --out \"$2\" \"$3\"/caf$(printf '\\351').odt"_s,
                               kConvert, kVoice, out.path(), docs.path()});
    ASSERT_TRUE(shell.waitForFinished(300000));
    EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
    EXPECT_EQ(::access(latin1Mp3.constData(), F_OK), 0)
        << Made().join(u' ').toStdString();
}

TEST_F(ConvertTest, TheAudioLibraryKeepsNothingInTheWorkingFolder)
{
    // No runtime folder and no TMPDIR: the audio library espeak-ng probes falls back on TEMP.
    environment.remove(u"XDG_RUNTIME_DIR"_s);
    environment.remove(u"TMPDIR"_s);
    const Result result = Convert({u"--out"_s, out.path(), Document(u"a.odt"_s)});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    // What it made where it keeps such folders goes with the test.
    for (const QFileInfo &link : QDir(home.path() + u"/.config/pulse"_s).entryInfoList(QDir::System | QDir::AllEntries))
        if (link.isSymLink() && link.symLinkTarget().startsWith(u"/tmp/pulse-"_s))
            QDir(link.symLinkTarget()).removeRecursively();
}
