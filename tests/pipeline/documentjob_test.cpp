#include "common/runtimeerror.h"
#include "pipeline/commandline.h"
#include "pipeline/documentjob.h"
#include "pipeline/encoder.h"
#include "pipeline/outcome.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <taglib/chapterframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// The text frames of an MP3's tag ("TIT2=...") by name, then its chapters' titles ("CHAP=...") in order.
QStringList TagFrames(const QString &mp3)
{
    TagLib::MPEG::File file(QFile::encodeName(mp3).constData());
    QStringList frames;
    if (!file.hasID3v2Tag())
        return frames;
    auto text = [](const TagLib::ID3v2::Frame *frame) { return QString::fromStdWString(frame->toString().toWString()); };
    QStringList chapters;
    for (const TagLib::ID3v2::Frame *frame : file.ID3v2Tag()->frameList()) {
        const QString id = QString::fromLatin1(frame->frameID().data(), 4);
        if (const auto *chapter = dynamic_cast<const TagLib::ID3v2::ChapterFrame *>(frame))
            chapters.append(u"CHAP="_s + text(chapter->embeddedFrameListMap()["TIT2"].front()));
        else if (id != u"CTOC"_s)
            frames.append(id + u'=' + text(frame));
    }
    frames.sort();
    return frames + chapters;
}

// Steps through a document's job as a front end does, stopping at the first failure.
class JobTest : public ::testing::Test, protected FakeServices
{
protected:
    JobTest() { encoder.Install(events, working, resources.resources.value(u"CUSTOM/101"_s)); }

    QString Document(const QString &name, const QByteArray &body, int lines = 1)
    {
        QByteArray content;
        for (int i = 0; i < lines; ++i)
            content += body;
        const QString path = docs.filePath(name);
        WriteZip(path, {{u"content.xml"_s, ContentXml(content)}});
        return path;
    }

    JobSetup Setup(const QString &document, int rate = 0)
    {
        JobSetup setup;
        setup.document = document;
        setup.choice.rate = rate;
        setup.limits = SegmentLimitsForRate(rate);
        return setup;
    }

    JobOutcome Convert(DocumentJob &job, const QString &output)
    {
        JobOutcome outcome = job.ReadText();
        for (auto step : std::initializer_list<std::function<JobOutcome()>>{
                 [&] { return job.PlanOutput(output); }, [&] { return job.Cut(); }, [&] { return Pieces(job); },
                 [&] { return job.Pieces() > 1 ? Join(job) : JobOutcome::Done(); }, [&] { return job.Tag(); },
                 [&] { return job.PutInPlace(); }}) {
            if (outcome.failed)
                break;
            outcome = step();
        }
        if (outcome.failed && outcome.step != JobStep::Tags)
            job.Cancel();
        else
            job.Close();
        return outcome;
    }

    JobOutcome Pieces(DocumentJob &job)
    {
        for (int piece = 1; piece <= job.Pieces(); ++piece) {
            if (const JobOutcome spoken = job.SpeakPiece(speak, piece); spoken.failed)
                return spoken;
            Started started;
            if (const JobOutcome made = job.StartEncoder(processes, encoder, piece, started); made.failed)
                return made;
            if (const JobOutcome encoded = job.Encoded(piece, ShellAndWait(events, std::move(started), {})); encoded.failed)
                return encoded;
        }
        return JobOutcome::Done();
    }

    JobOutcome Join(DocumentJob &job)
    {
        if (const JobOutcome written = job.WriteJoin(); written.failed)
            return written;
        const JobOutcome joined = job.Joined(ShellAndWait(events, job.StartJoin(processes), {}));
        job.DropJoinFiles();
        return joined;
    }

    QString Work(const QString &name) const { return working.path + u'/' + name; }
    QStringList WorkFiles() const { return QDir(working.path).entryList(QDir::Files, QDir::Name); }
    QStringList OutFiles() const { return QDir(out.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    QTemporaryDir docs;
    QTemporaryDir out;
    EncoderProgram encoder;
    Speak speak{services};
};

} // namespace

TEST_F(JobTest, OnePieceIsEncodedBesideItsOutputAndSeveralAreJoinedThereEachTakingItsPlaceWhole)
{
    DocumentJob one(Setup(Document(u"report.v2.odt"_s, "<text:p>Hello, World!</text:p>")), services, reports);
    ASSERT_FALSE(Convert(one, out.filePath(u"report.v2.mp3"_s)).failed);
    // The encoder wrote under a hidden name of its own beside the MP3, renamed when complete.
    const QStringList words = QProcess::splitCommand(processes.commandLines.value(0));
    ASSERT_EQ(words.size(), 4);
    EXPECT_EQ(words.mid(0, 3), (QStringList{Work(u"lame.exe"_s), u"-h"_s, Work(u"output001.wav"_s)}));
    EXPECT_TRUE(words[3].startsWith(out.filePath(u".vt-"_s)) && words[3].endsWith(u".part"_s));
    EXPECT_EQ(OutFiles(), QStringList{u"report.v2.mp3"_s});
    EXPECT_EQ(ReadBytes(Work(u"output001.txt"_s)), QByteArray("hello, world!\n")); // the segment text stays
    EXPECT_EQ(processes.openedCommandLines.size(), 1);                              // from the checked encoder

    DocumentJob many(Setup(Document(u"long.odt"_s, "<text:p>Line.</text:p>", 60), -10), services, reports);
    ASSERT_FALSE(Convert(many, out.filePath(u"long.mp3"_s)).failed);
    ASSERT_EQ(processes.commandLines.size(), 4);
    EXPECT_EQ(processes.commandLines[3], u"\""_s + Work(u"JoinMP3.bat"_s) + u'"');
    const QByteArray joined = ReadBytes(out.filePath(u"long.mp3"_s));
    EXPECT_EQ(joined.count("MP3("), 2) << joined.toStdString();
    EXPECT_EQ(WorkFiles(), (QStringList{u"lame.exe"_s, u"output001.txt"_s, u"output002.txt"_s}));
    EXPECT_EQ(OutFiles(), (QStringList{u"long.mp3"_s, u"report.v2.mp3"_s}));

    // The join's command line, exactly.
    EXPECT_EQ(JoinCommandText(u"/w/output.txt"_s, 2, u"/a \"q\".mp3"_s),
              u"copy /y \"/w/output001.mp3\" /b + \"/w/output002.mp3\" /b \"/a \"\"\"q\"\"\".mp3\""_s);
    EXPECT_TRUE(JoinCommandText(u"/w/output.txt"_s, 1000, u"/o.mp3"_s).contains(u"\"/w/output1000.mp3\" /b \"/o.mp3\""_s));
}

TEST_F(JobTest, AFailedEncoderOrJoinIsSaidInWordsAndTheOlderOutputStays)
{
    WriteBytes(out.filePath(u"a.mp3"_s), "the good MP3 of yesterday");
    const QString a = Document(u"a.odt"_s, "<text:p>A.</text:p>");
    processes.fails = [](const QString &) { return true; };
    processes.errorOutput = u"LAME 3.100\n\x1b[KEncoding...\rError writing output file\n"_s;
    DocumentJob failing(Setup(a), services, reports);
    JobOutcome outcome = Convert(failing, out.filePath(u"a.mp3"_s));
    EXPECT_EQ(outcome.step, JobStep::Encoding);
    EXPECT_EQ(outcome.description, u"The MP3 encoder failed (exit code 1) on "_s + Work(u"output001.wav"_s)
                                       + u": Error writing output file"_s);

    processes.fails = nullptr;
    processes.startError = 13;
    DocumentJob unstarted(Setup(a), services, reports);
    EXPECT_EQ(Convert(unstarted, out.filePath(u"a.mp3"_s)).description, u"The MP3 encoder could not be started: cannot start"_s);

    processes.startError = 0;
    processes.encoderWritesNothing = true; // ends well, writes nothing: no success either
    DocumentJob empty(Setup(a), services, reports);
    EXPECT_TRUE(Convert(empty, out.filePath(u"a.mp3"_s)).description.startsWith(u"The MP3 encoder wrote no MP3 file to "_s
                                                                                + out.filePath(u".vt-"_s)));

    // The second piece's encoder fails: its MP3 is missing from the join.
    processes.encoderWritesNothing = false;
    processes.fails = [](const QString &command) { return command.contains(u"output002.mp3"_s); };
    DocumentJob join(Setup(Document(u"long.odt"_s, "<text:p>Line.</text:p>", 60), -10), services, reports);
    JobOutcome piece = join.ReadText();
    piece = join.PlanOutput(out.filePath(u"a.mp3"_s));
    piece = join.Cut();
    piece = Pieces(join);
    EXPECT_EQ(piece.step, JobStep::Encoding);
    outcome = Join(join);
    EXPECT_EQ(outcome.step, JobStep::Joining);
    EXPECT_EQ(outcome.description, u"The segments could not be joined into "_s + out.filePath(u"a.mp3"_s)
                                       + u": The system cannot find the file specified: "_s + Work(u"output002.mp3"_s));
    join.Cancel();
    EXPECT_EQ(ReadBytes(out.filePath(u"a.mp3"_s)), QByteArray("the good MP3 of yesterday"));
    EXPECT_EQ(OutFiles(), QStringList{u"a.mp3"_s});
}

TEST_F(JobTest, AnOutputThatCannotOrMustNotBeReplacedIsRefusedBeforeAnythingIsSpoken)
{
    QDir(out.path()).mkdir(u"a.mp3"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(out.filePath(u"b.mp3"_s)).constData(), 0600), 0);
    const QString document = Document(u"notes.odt"_s, "<text:p>A.</text:p>");
    DocumentJob job(Setup(document), services, reports);
    EXPECT_EQ(job.PlanOutput(out.filePath(u"a.mp3"_s)).description,
              u"The MP3 file cannot be written because something that is not a file stands at its place: "_s
                  + out.filePath(u"a.mp3"_s));
    EXPECT_TRUE(job.PlanOutput(out.filePath(u"b.mp3"_s)).failed);
    EXPECT_TRUE(job.PlanOutput(document).description.contains(u"written over the document itself"_s));

    // A text of the user's where the document's text would go is theirs; one Vocatext wrote is not.
    JobSetup text = Setup(document);
    text.form = OutputForm::Txt;
    DocumentJob texts(text, services, reports);
    WriteBytes(out.filePath(u"notes.txt"_s), "My own notes.");
    EXPECT_TRUE(texts.PlanOutput(out.filePath(u"notes.txt"_s)).description.contains(u"is a file of yours"_s));
    ASSERT_EQ(FileSystem::MarkAsProgramOutput(out.filePath(u"notes.txt"_s)), 0);
    EXPECT_FALSE(texts.PlanOutput(out.filePath(u"notes.txt"_s)).failed);
    // Written over in place since (an editor that keeps the mark), it is the user's again.
    {
        QFile notes(out.filePath(u"notes.txt"_s));
        ASSERT_TRUE(notes.open(QIODevice::WriteOnly | QIODevice::Truncate));
        notes.write("My notes, typed over the text.");
    }
    EXPECT_TRUE(texts.PlanOutput(out.filePath(u"notes.txt"_s)).failed);
    EXPECT_TRUE(speech.calls.filter(u"SpeakFile"_s).isEmpty());
}

TEST_F(JobTest, WorkingFilesAreTheUsersAloneNoLinkIsFollowedAndAnOutputLinkIsReplacedItself)
{
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(u"precious"_s);
    WriteBytes(victim, "precious");
    ::chmod(QFile::encodeName(victim).constData(), 0600);
    for (const QString &name : {u"output.txt"_s, u"output001.txt"_s, u"output002.txt"_s, u"output001.wav"_s,
                                u"output001.mp3"_s, u"JoinMP3.bat"_s, u"output.wav"_s})
        ASSERT_TRUE(QFile::link(victim, Work(name)));
    ASSERT_TRUE(QFile::link(victim, out.filePath(u"long.mp3"_s)));
    std::optional<QStringList> loose;
    processes.fails = [&](const QString &command) {
        if (command.contains(u"JoinMP3.bat"_s)) {
            QStringList open;
            for (const QFileInfo &file : QDir(working.path).entryInfoList(QDir::Files | QDir::Hidden)) {
                if (file.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther))
                    open.append(file.fileName());
            }
            loose = open;
        }
        return false;
    };
    DocumentJob::ClearStale(services);
    DocumentJob job(Setup(Document(u"long.odt"_s, "<text:p>Line.</text:p>", 60), -10), services, reports);
    ASSERT_FALSE(Convert(job, out.filePath(u"long.mp3"_s)).failed);
    EXPECT_EQ(ReadBytes(victim), QByteArray("precious"));
    EXPECT_EQ(QFileInfo(victim).permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    ASSERT_TRUE(loose.has_value());
    EXPECT_EQ(*loose, QStringList()) << "readable or writable by others while the join ran";
    EXPECT_FALSE(QFileInfo(out.filePath(u"long.mp3"_s)).isSymLink());
}

TEST_F(JobTest, TheMp3CarriesItsDocumentsTagsAndChaptersOrGoesInPlaceWithout)
{
    QByteArray body = "<text:p>Opening words.</text:p>";
    for (int chapter = 1; chapter <= 2; ++chapter) {
        body += "<text:h text:outline-level=\"" + QByteArray::number(chapter) + "\">Part " + QByteArray::number(chapter)
                + " – ä</text:h>";
        for (int i = 0; i < 30; ++i)
            body += "<text:p>Line.</text:p>";
    }
    const QString book = docs.filePath(u"book.odt"_s);
    WriteZip(book, {{u"content.xml"_s, ContentXml(body)},
                    {u"meta.xml"_s, "<office:document-meta xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                                    "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><office:meta><dc:title>Über "
                                    "Sterne</dc:title><dc:creator>Ann Ödegaard</dc:creator></office:meta>"
                                    "</office:document-meta>"}});
    JobSetup setup = Setup(book, -10); // two pieces
    setup.choice.voice = 1;
    setup.track = 1;
    setup.trackCount = 2;
    NameTheVoice(speech, setup);
    DocumentJob job(setup, services, reports);
    ASSERT_FALSE(Convert(job, out.filePath(u"book.mp3"_s)).failed);
    const QString folder = QFileInfo(docs.path()).fileName();
    EXPECT_EQ(TagFrames(out.filePath(u"book.mp3"_s)),
              (QStringList{u"COMM=Voice: eSpeak NG German"_s, u"TALB="_s + folder, u"TCON=Speech"_s, u"TIT2=Über Sterne"_s,
                           u"TLAN=ger"_s, u"TPE1=Ann Ödegaard"_s, u"TRCK=1/2"_s, u"CHAP=Über Sterne"_s,
                           u"CHAP=Part 1 – ä"_s, u"CHAP=Part 2 – ä"_s}));

    // On a disk too full for the tag, the MP3 takes its place without it.
    ScopedTmpfs small("size=8k,mode=0700");
    if (!small.IsMounted())
        GTEST_SKIP() << "mounting needs root";
    QByteArray headings;
    for (int i = 0; i < 40; ++i)
        headings += "<text:h>" + QByteArray(200, 'h') + QByteArray::number(i) + "</text:h>";
    DocumentJob full(Setup(Document(u"a.odt"_s, headings)), services, reports);
    const JobOutcome outcome = Convert(full, small.Path() + u"/a.mp3"_s);
    EXPECT_EQ(outcome.step, JobStep::Tags);
    EXPECT_TRUE(outcome.description.startsWith(u"The tags and chapters of "_s + small.Path()
                                               + u"/a.mp3 could not be written (Disk full"_s))
        << outcome.description.toStdString();
    EXPECT_FALSE(full.PutInPlace().failed);
    EXPECT_EQ(QDir(small.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"a.mp3"_s});
}

TEST_F(JobTest, ACancelledJobLeavesNothingBehindAndALentWorkspaceIsLeftToItsOwner)
{
    WriteBytes(out.filePath(u"a.mp3"_s), "older");
    JobSetup setup = Setup(Document(u"a.odt"_s, "<text:p>A.</text:p>"));
    setup.ownWorkspace = true;
    auto job = std::make_unique<DocumentJob>(setup, services, reports);
    ASSERT_FALSE(job->ReadText().failed);
    ASSERT_FALSE(job->PlanOutput(out.filePath(u"a.mp3"_s)).failed);
    ASSERT_FALSE(job->Cut().failed);
    const QString workspace = job->Workspace();
    EXPECT_TRUE(workspace.startsWith(working.path + u"/vt-job-"_s));

    // A worker's job of that workspace speaks into it and never clears it.
    JobSetup lent = Setup(QString());
    lent.workspace = workspace;
    {
        DocumentJob worker(lent, services, reports);
        ASSERT_FALSE(worker.SpeakPiece(speak, 1).failed);
        EXPECT_GT(worker.Spoken(1).seconds, 0);
    }
    EXPECT_TRUE(QFile::exists(workspace + u"/output001.wav"_s));

    Started started;
    ASSERT_FALSE(job->StartEncoder(processes, encoder, 1, started).failed);
    ASSERT_EQ(OutFiles().size(), 2); // the partial file beside the older MP3
    JobsUnderWay underWay;
    underWay.Add(*job);
    underWay.CancelAll();
    EXPECT_EQ(OutFiles(), QStringList{u"a.mp3"_s});
    EXPECT_EQ(ReadBytes(out.filePath(u"a.mp3"_s)), QByteArray("older"));
    EXPECT_FALSE(QFileInfo::exists(workspace));
}

TEST_F(JobTest, OnlyTheProgramsOwnEncoderEverRuns)
{
    // Anything else found under its name is replaced before it is started.
    WriteBytes(Work(u"lame.exe"_s), "#!/bin/sh\ncp ~/.ssh/id_rsa /tmp/\n");
    EncoderProgram replaced;
    replaced.Install(events, working, resources.resources.value(u"CUSTOM/101"_s));
    EXPECT_EQ(ReadBytes(Work(u"lame.exe"_s)), resources.resources.value(u"CUSTOM/101"_s));
    EXPECT_TRUE(replaced.IsInstalled());
    replaced.Remove(events);
    EXPECT_FALSE(QFile::exists(Work(u"lame.exe"_s)));
}

TEST_F(JobTest, SpeechThatIsSilentOrCutShortNeverReachesAnOutputAndKeptPiecesComeBackWhole)
{
    JobSetup setup = Setup(Document(u"a.odt"_s, "<text:p>Several words to say here.</text:p>"));
    setup.checkSpeech = true;
    setup.soundParts = {u"voice"_s, u"rate 0"_s};
    speech.samplesPerCharacter = 0;
    DocumentJob silent(setup, services, reports);
    EXPECT_TRUE(Convert(silent, out.filePath(u"a.mp3"_s)).description.endsWith(u"has 5 words, but its speech is silent"_s));
    speech.samplesPerCharacter = 1;
    DocumentJob cut(setup, services, reports);
    EXPECT_TRUE(Convert(cut, out.filePath(u"a.mp3"_s)).description.endsWith(u"it was cut short"_s));
    EXPECT_EQ(OutFiles(), QStringList());

    // Spoken whole, the piece is kept and comes back from the cache unspoken, as it was.
    QTemporaryDir cacheFolder;
    PieceCache cache(cacheFolder.filePath(u"cache"_s), 1 << 20);
    ASSERT_TRUE(cache.Serves()) << cache.Problem().toStdString();
    speech.samplesPerCharacter = 2000;
    DocumentJob spoken(setup, services, reports);
    ASSERT_FALSE(spoken.ReadText().failed || spoken.PlanOutput(out.filePath(u"a.mp3"_s)).failed || spoken.Cut().failed);
    EXPECT_FALSE(spoken.FromCache(cache, 1));
    ASSERT_FALSE(Pieces(spoken).failed);
    spoken.KeepInCache(cache, 1);
    const QByteArray audio = ReadBytes(QDir(out.path()).entryInfoList(QDir::Files | QDir::Hidden).value(0).filePath());
    spoken.Cancel();
    DocumentJob again(setup, services, reports);
    ASSERT_FALSE(again.ReadText().failed || again.PlanOutput(out.filePath(u"a.mp3"_s)).failed || again.Cut().failed);
    const int speakCalls = static_cast<int>(speech.calls.filter(u"SpeakFile"_s).size());
    ASSERT_TRUE(again.FromCache(cache, 1));
    EXPECT_EQ(speech.calls.filter(u"SpeakFile"_s).size(), speakCalls);
    EXPECT_EQ(again.Spoken(1).seconds, spoken.Spoken(1).seconds);
    ASSERT_FALSE(again.Tag().failed || again.PutInPlace().failed);
    EXPECT_TRUE(ReadBytes(out.filePath(u"a.mp3"_s)).endsWith(audio)); // behind its tag
}
