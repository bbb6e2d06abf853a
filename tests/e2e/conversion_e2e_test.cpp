// End to end: real documents through the real espeak-ng and the real LAME encoder.
#include "audio/levelstage.h"
#include "audio/loudness.h"
#include "audio/voicelevels.h"
#include "system/qteventloop.h"
#include "system/qtresources.h"
#include "system/privateworkingfolder.h"
#include "system/posixprocessrunner.h"
#include "engines/speechengine.h"
#include "documents/dispatchingreader.h"
#include "documents/odtreader.h"
#include "filelist/addfiles.h"
#include "common/runtimeerror.h"
#include "tests/support/plainwindow.h"
#include "common/services.h"
#include "app/conversionrun.h"
#include "pipeline/documentjob.h"
#include "pipeline/speak.h"
#include "api/documentreader.h"
#include "engines/espeakengine.h"
#include "engines/fliteengine.h"
#include "api/speech.h"
#include "api/processes.h"
#include "api/resources.h"
#include "api/workingfolder.h"
#include "tests/audio.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// The real event loop, with a hook that runs inside every yield, as a nested handler would.
class HookedEventLoop final : public IEventLoop
{
public:
    void Yield() override
    {
        ++yields;
        if (hook)
            hook();
        m_real.Yield();
    }
    void Sleep(int milliseconds) override { m_real.Sleep(milliseconds); }

    std::function<void()> hook;
    int yields = 0;

private:
    QtEventLoop m_real;
};

HookedEventLoop &EngineEvents()
{
    static HookedEventLoop events;
    return events;
}

// espeak-ng keeps global state: one engine for the whole test program.
// espeak-ng and Flite keep global state: one of each for the whole test program; the
// service lists espeak-ng's voices first here, as for a user of another language.
EspeakEngine &Espeak()
{
    static EspeakEngine engine(EngineEvents(), u"en_GB"_s);
    return engine;
}

FliteEngine &Flite()
{
    static FliteEngine engine(EngineEvents());
    return engine;
}

// Every voice levelled as in the program, the levels kept in memory.
SpeechEngine &Engine()
{
    static VoiceLevels levels;
    static SpeechEngine engine({&Espeak(), &Flite()}, &levels);
    return engine;
}

class ConversionEndToEnd : public ::testing::Test
{
protected:
    ConversionEndToEnd()
        : temp("TEMP", work.path())
        , processes(QStringLiteral(VOCATEXT_PROGRAM_DIR "/vocatext-cmd"))
    {
        services.boxes = &boxes;
        services.reports = &reports;
        services.events = &events;
        services.speech = &Engine();
        services.reader = &reader;
        services.processes = &processes;
        services.resources = &resources;
        services.workingFolder = &working;
        services.diagnostics = &diagnostics;
        window.combo1Index = 0;
        window.text1 = out.path();
    }

    void Start()
    {
        Speak speak(services);
        JobsUnderWay underWay;
        PushButton1_Click(services, window, speak, underWay);
    }

    /// Speaks a segment text file again into a WAV of its own, to know how long it lasts.
    WavInfo SpeakAgain(const QString &segmentText)
    {
        const QString wav = out.filePath(u"again.wav"_s);
        Speak speak(services);
        speak.SaveToWAV(reports, {window.combo1Index, window.slider1, window.slider2}, segmentText, wav);
        return ReadWav(wav);
    }

    QTemporaryDir work;
    QTemporaryDir out;
    ScopedEnv temp;
    FakeMessageBoxes boxes;
    BoxReports reports{boxes};
    QtEventLoop events;
    OdtReader reader;
    PosixProcessRunner processes;
    QtResources resources;
    FakeDiagnostics diagnostics;
    PrivateWorkingFolder working{&diagnostics};
    PlainMainWindow window;
    Services services;
};

} // namespace

TEST_F(ConversionEndToEnd, OneSegmentGivesAnMp3AsLongAsTheSpeech)
{
    window.slider2 = 0;
    window.list.Append(TestDataPath(u"notes.odt"_s));
    Start();
    EXPECT_EQ(boxes.Texts(), QStringList{u"Done."_s});

    const QString mp3 = out.filePath(u"notes.mp3"_s);
    const WavInfo decoded = DecodeMp3(mp3);
    ASSERT_TRUE(decoded.valid);
    EXPECT_EQ(decoded.sampleRate, 22050);
    EXPECT_EQ(decoded.channels, 1);
    const WavInfo spoken = SpeakAgain(work.filePath(u"output001.txt"_s));
    ASSERT_TRUE(spoken.valid);
    EXPECT_EQ(spoken.sampleRate, 22050);
    EXPECT_GT(spoken.seconds, 2.0);
    EXPECT_NEAR(decoded.seconds, spoken.seconds, 0.15);
    EXPECT_GT(decoded.rms, 300); // speech, not silence
    EXPECT_EQ(QDir(work.path()).entryList(QDir::Files), QStringList{u"output001.txt"_s});
}

TEST_F(ConversionEndToEnd, BothFrontEndsJoinTheSameSpeechIntoOneMp3ThatDecodesInFull)
{
    QByteArray body;
    for (int i = 1; i <= 60; ++i)
        body += "<text:p>Line " + QByteArray::number(i) + ".</text:p>";
    const QString document = out.filePath(u"sixty lines.odt"_s);
    WriteZip(document, {{u"content.xml"_s, ContentXml(body)}});
    window.slider2 = -10; // 49 lines a segment
    window.list.Append(document);
    Start();
    EXPECT_EQ(boxes.Texts(), QStringList{u"Done."_s});

    EXPECT_EQ(QDir(work.path()).entryList(QDir::Files, QDir::Name),
              (QStringList{u"output001.txt"_s, u"output002.txt"_s}));
    const QString mp3 = out.filePath(u"sixty lines.mp3"_s);
    int samplesPerFrame = 0;
    int rate = 0;
    const int frames = Mp3FrameCount(mp3, &samplesPerFrame, &rate);
    ASSERT_GT(frames, 0) << "the joined file is a clean run of MPEG frames";
    EXPECT_EQ(rate, 22050);

    // espeak-ng's speech of a text is longer or shorter by up to a few tenths of a second
    // (here 0.3 s in 164 s) with what it spoke before it, and the run says the numbers of
    // the lines in words where the segment files hold digits (another 0.3 s).
    const double first = SpeakAgain(work.filePath(u"output001.txt"_s)).seconds;
    const double second = SpeakAgain(work.filePath(u"output002.txt"_s)).seconds;
    const double joinedSeconds = static_cast<double>(frames) * samplesPerFrame / rate;
    EXPECT_NEAR(joinedSeconds, first + second, 0.8);
    const WavInfo decoded = DecodeMp3(mp3);
    ASSERT_TRUE(decoded.valid);
    EXPECT_NEAR(decoded.seconds, first + second, 0.8);

    // The headless converter, with pieces of its own, makes the same speech.
    QTemporaryDir convertedInto;
    QTemporaryDir home;
    QProcess convert;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_s, home.path());
    environment.insert(u"XDG_CONFIG_HOME"_s, home.path());
    convert.setProcessEnvironment(environment);
    convert.start(QStringLiteral(VOCATEXT_PROGRAM_DIR "/vocatext-convert"),
                  {u"--quiet"_s, u"--voice"_s, u"eSpeak NG English (Great Britain)"_s, u"--rate"_s, u"-10"_s, u"--volume"_s, u"100"_s, u"--out"_s,
                   convertedInto.path(), document});
    ASSERT_TRUE(convert.waitForFinished(120000));
    EXPECT_EQ(convert.exitCode(), 0) << convert.readAllStandardError().toStdString();
    const int convertedFrames = Mp3FrameCount(convertedInto.filePath(u"sixty lines.mp3"_s), &samplesPerFrame, &rate);
    EXPECT_NEAR(convertedFrames, frames, frames / 100.0);
}

namespace {

QString SixtyLines(const QString &path)
{
    QByteArray body;
    for (int i = 1; i <= 60; ++i)
        body += "<text:p>Line " + QByteArray::number(i) + ".</text:p>";
    WriteZip(path, {{u"content.xml"_s, ContentXml(body)}});
    return path;
}

} // namespace

TEST_F(ConversionEndToEnd, FoldersThatBeginWithTheSwitchLettersAndAwkwardNamesAreJoined)
{
    // The output folder at the root begins with "/b", the working folder's path holds "/y";
    // both hold blanks, quotes and a line feed.
    QTemporaryDir root(u"/bvocatext-XXXXXX"_s);
    if (!root.isValid())
        GTEST_SKIP() << "a folder at the root cannot be made here";
    const QString output = root.path() + u"/backup \"audio\"\nnew"_s;
    const QString workingPath = root.path() + u"/y work"_s;
    ASSERT_TRUE(QDir().mkpath(output));
    ASSERT_TRUE(QDir().mkpath(workingPath));
    ::chmod(QFile::encodeName(workingPath).constData(), 0700);
    ScopedEnv tempHere("TEMP", workingPath);
    window.text1 = output;
    window.slider2 = -10; // two segments
    window.list.Append(SixtyLines(out.filePath(u"say \"hi\" + b.odt"_s)));
    Start();
    EXPECT_EQ(boxes.Texts(), QStringList{u"Done."_s});
    const QString mp3 = output + u"/say \"hi\" + b.mp3"_s;
    EXPECT_GT(Mp3FrameCount(mp3), 0) << "the joined file is a clean run of MPEG frames";
    EXPECT_EQ(QDir(output).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

// A drop reads every type, as the office suite did; what only LibreOffice reads goes
// through it when it is installed, and says what to install when it is not.
TEST_F(ConversionEndToEnd, EveryTypeDroppedOnTheListIsSpoken)
{
    QTemporaryDir dropped;
    QStringList names = {u"a.odt"_s, u"b.docx"_s, u"c.epub"_s, u"d.fodt"_s, u"e.txt"_s, u"f.html"_s, u"g.md"_s,
                         u"h.rtf"_s, u"i.doc"_s};
    QFile::copy(TestDataPath(u"lists.odt"_s), dropped.filePath(names[0]));
    QFile::copy(TestDataPath(u"docx/word-footnote.docx"_s), dropped.filePath(names[1]));
    QFile::copy(TestDataPath(u"epub/book2.epub"_s), dropped.filePath(names[2]));
    QFile::copy(TestDataPath(u"src/table.fodt"_s), dropped.filePath(names[3]));
    WriteBytes(dropped.filePath(names[4]), "A plain text.\nIts second line.\n");
    WriteBytes(dropped.filePath(names[5]), "<title>Page</title><p>A web page.</p>");
    WriteBytes(dropped.filePath(names[6]), "# Notes\n\n- one\n- two\n");
    QFile::copy(TestDataPath(u"office/paragraphs.rtf"_s), dropped.filePath(names[7]));
    QFile::copy(TestDataPath(u"office/paragraphs.doc"_s), dropped.filePath(names[8]));
    const bool office = !OfficeConverter::InstalledOffice().isEmpty();
    DispatchingReader every(&events, &processes, &working);
    services.reader = &every;
    window.slider2 = 10;
    DropOnList(services, window.list, {dropped.path()});
    EXPECT_EQ(window.list.Entries().size(), names.size());
    Start();
    const QString needs = u"This type of document needs LibreOffice: apt-get install libreoffice-writer-nogui"_s;
    EXPECT_EQ(boxes.ErrorReports().size(), office ? 0 : 2) << boxes.Texts().join(u'|').toStdString();
    for (const QString &name : names) {
        const bool made = office || (!name.endsWith(u"rtf"_s) && !name.endsWith(u"doc"_s));
        const WavInfo decoded = DecodeMp3(out.filePath(name.section(u'.', 0, 0) + u".mp3"_s));
        EXPECT_EQ(decoded.valid, made) << name.toStdString();
        if (made) {
            EXPECT_GT(decoded.seconds, 0.2) << name.toStdString();
        }
    }
    if (!office) {
        EXPECT_TRUE(boxes.ErrorReports().value(0).startsWith(needs));
    }
}

TEST_F(ConversionEndToEnd, AWorkingFolderThatCannotRunProgramsIsReportedForEveryDocument)
{
    ScopedTmpfs noexec("noexec,mode=0700");
    if (!noexec.IsMounted())
        GTEST_SKIP() << "mounting needs root";
    ScopedEnv tempHere("TEMP", noexec.Path());
    window.slider2 = 0;
    WriteBytes(out.filePath(u"notes.mp3"_s), "yesterday's MP3");
    window.list.Append(TestDataPath(u"notes.odt"_s));
    window.list.Append(TestDataPath(u"fields.odt"_s));
    Start();
    const QStringList shownReports = boxes.ErrorReports();
    ASSERT_EQ(shownReports.size(), 2);
    for (const QString &report : shownReports) {
        EXPECT_TRUE(report.startsWith(u"The MP3 encoder could not be started: Permission denied: "_s))
            << report.toStdString();
        EXPECT_TRUE(report.contains(u"PushButton1_Click at line 184\r\r"_s));
    }
    EXPECT_EQ(boxes.Texts().last(), u"Done."_s);
    EXPECT_EQ(diagnostics.lines.size(), 2);
    EXPECT_EQ(ReadBytes(out.filePath(u"notes.mp3"_s)), QByteArray("yesterday's MP3"));
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"notes.mp3"_s});
}

TEST_F(ConversionEndToEnd, ATargetFolderThatCannotBeWrittenIsReported)
{
    ScopedTmpfs target("mode=0755");
    if (!target.IsMounted() || !target.MakeReadOnly())
        GTEST_SKIP() << "mounting needs root";
    window.text1 = target.Path();
    window.slider2 = 0;
    window.list.Append(TestDataPath(u"notes.odt"_s));
    window.list.Append(SixtyLines(out.filePath(u"long.odt"_s)));
    window.slider2 = -10;
    Start();
    const QStringList shownReports = boxes.ErrorReports();
    ASSERT_EQ(shownReports.size(), 2);
    EXPECT_TRUE(shownReports[0].startsWith(u"The MP3 file cannot be written to its folder: "_s + target.Path()
                                      + u"/notes.mp3 (Permission denied: "_s))
        << shownReports[0].toStdString();
    EXPECT_TRUE(shownReports[0].contains(u"at line 184\r\r"_s));
    EXPECT_TRUE(shownReports[1].startsWith(u"The segments could not be joined into "_s + target.Path()
                                      + u"/long.mp3: Access is denied: "_s))
        << shownReports[1].toStdString();
    EXPECT_TRUE(shownReports[1].contains(u"at line 220\r\r"_s));
    EXPECT_EQ(boxes.Texts().last(), u"Done."_s);
    // Nothing of the run is left behind in the working folder but the segment texts.
    EXPECT_EQ(QDir(work.path()).entryList(QDir::Files), (QStringList{u"output001.txt"_s, u"output002.txt"_s}));
}

TEST_F(ConversionEndToEnd, AFullOutputDiskIsSaidInWords)
{
    ScopedTmpfs small("size=16k,mode=0755");
    if (!small.IsMounted())
        GTEST_SKIP() << "mounting needs root";
    QByteArray body;
    for (int i = 0; i < 20; ++i)
        body += "<text:p>This sentence is spoken again so that the MP3 outgrows the small disk.</text:p>";
    WriteZip(out.filePath(u"long.odt"_s), {{u"content.xml"_s, ContentXml(body)}});
    window.text1 = small.Path();
    window.slider2 = 0;
    window.list.Append(out.filePath(u"long.odt"_s));
    Start();
    const QStringList shownReports = boxes.ErrorReports();
    ASSERT_EQ(shownReports.size(), 1);
    // Not the encoder's progress histogram.
    EXPECT_TRUE(shownReports[0].startsWith(u"The MP3 file cannot be written, the disk is full: "_s + small.Path()
                                           + u"/.vt-"_s))
        << shownReports[0].toStdString();
    EXPECT_TRUE(QDir(small.Path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(ConversionEndToEnd, AFullDiskCutsNoSpeechShortSilently)
{
    ScopedTmpfs small("size=400k,mode=0700");
    if (!small.IsMounted())
        GTEST_SKIP() << "mounting needs root";
    ScopedEnv tempHere("TEMP", small.Path());
    WriteBytes(out.filePath(u"long.mp3"_s), "yesterday's MP3");
    QByteArray body;
    for (int i = 0; i < 40; ++i)
        body += "<text:p>This sentence is spoken again so that the speech outgrows the small disk.</text:p>";
    WriteZip(out.filePath(u"long.odt"_s), {{u"content.xml"_s, ContentXml(body)}});
    window.slider2 = 0;
    window.list.Append(out.filePath(u"long.odt"_s));
    Start();
    const QStringList shownReports = boxes.ErrorReports();
    ASSERT_GE(shownReports.size(), 1);
    EXPECT_TRUE(shownReports[0].startsWith(u"The speech could not be saved to "_s + small.Path()
                                      + u"/output001.wav (No space left on device)"_s))
        << shownReports[0].toStdString();
    EXPECT_TRUE(shownReports[0].contains(u"at line 172\r\r"_s));
    EXPECT_EQ(ReadBytes(out.filePath(u"long.mp3"_s)), QByteArray("yesterday's MP3"));
    EXPECT_FALSE(QFile::exists(small.Path() + u"/output001.wav"_s));
    EXPECT_EQ(boxes.Texts().last(), u"Done."_s);
}

TEST_F(ConversionEndToEnd, VolumeAndRateAreHeard)
{
    WriteBytes(work.filePath(u"phrase.txt"_s), "the quick brown fox jumps over the lazy dog.");
    auto render = [&](int volume, int rate) {
        window.slider1 = volume;
        window.slider2 = rate;
        return SpeakAgain(work.filePath(u"phrase.txt"_s));
    };
    const WavInfo normal = render(100, 0);
    const WavInfo quiet = render(30, 0);
    const WavInfo fast = render(100, 10);
    const WavInfo slow = render(100, -10);
    EXPECT_GT(normal.rms, quiet.rms * 2);
    EXPECT_LT(fast.seconds, normal.seconds * 0.6);
    EXPECT_GT(slow.seconds, normal.seconds * 1.5);
    EXPECT_EQ(render(0, 0).rms, 0);
}

TEST(SpeechEngines, OneEnumerationOfBothEnginesStartingWithTheUsersLanguage)
{
    const QStringList voices = Engine().VoiceDescriptions();
    ASSERT_GT(voices.size(), 10);
    EXPECT_EQ(voices.first(), u"eSpeak NG English (Great Britain)"_s);
    EXPECT_EQ(voices.mid(voices.size() - 4),
              (QStringList{u"Flite English (United States) female slt"_s, u"Flite English (Scotland) male awb"_s,
                           u"Flite English (United States) male rms"_s, u"Flite English (United States) male kal"_s}));
    for (const QString &voice : voices.mid(0, voices.size() - 4))
        EXPECT_TRUE(voice.startsWith(u"eSpeak NG "_s));
    EXPECT_EQ(Engine().VoiceDescriptions(), voices); // the same order every time
    // An English-speaking user gets Flite's voices first.
    SpeechEngine english({&Flite(), &Espeak()});
    EXPECT_EQ(english.VoiceDescriptions().first(), u"Flite English (United States) female slt"_s);
    EXPECT_EQ(english.VoiceDescriptions().size(), voices.size());
}

namespace {

// Speaks text with the voice at position index of the enumeration into a WAV file.
WavInfo SpeakWith(int index, const QString &text, int volume = 100, int rate = 0)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath(u"x.wav"_s);
    auto stream = Engine().CreateFileStream();
    stream->Open(wav);
    auto voice = Engine().CreateVoice();
    voice->SelectVoice(index);
    voice->SetVolume(volume);
    voice->SetRate(rate);
    voice->SetOutput(stream.get());
    voice->Speak(text);
    stream->Close();
    return ReadWav(wav);
}

int FirstFlite()
{
    return static_cast<int>(Engine().VoiceDescriptions().indexOf(u"Flite English (United States) female slt"_s));
}

} // namespace

TEST(SpeechEngines, FliteSpeaksTheProgramsWavFormatWithRateAndVolume)
{
    const QString text = u"the quick brown fox jumps over the lazy dog.\n"_s;
    for (int flite = FirstFlite(); flite < FirstFlite() + 4; ++flite) {
        const WavInfo normal = SpeakWith(flite, text);
        ASSERT_TRUE(normal.valid) << flite;
        EXPECT_EQ(normal.sampleRate, 22050);
        EXPECT_EQ(normal.bitsPerSample, 16);
        EXPECT_EQ(normal.channels, 1);
        EXPECT_GT(normal.seconds, 1.5);
        EXPECT_LT(normal.seconds, 6);
        EXPECT_GT(normal.rms, 300);
    }
    const WavInfo normal = SpeakWith(FirstFlite(), text);
    EXPECT_GT(normal.rms, SpeakWith(FirstFlite(), text, 30).rms * 2);
    EXPECT_EQ(SpeakWith(FirstFlite(), text, 0).rms, 0);
    EXPECT_LT(SpeakWith(FirstFlite(), text, 100, 10).seconds, normal.seconds * 0.6);
    EXPECT_GT(SpeakWith(FirstFlite(), text, 100, -10).seconds, normal.seconds * 1.5);
}

TEST(SpeechEngines, EveryVoiceSpeaksAtOneLoudnessAndNoPeakNearsFullScale)
{
    // Every Flite voice and two of espeak-ng's, each from its own level, on a short text.
    const QString text = u"The boats came back before the sun was up, their lanterns swinging over the grey water.\n"
                         "Nobody remembered when the market had moved from the square to the harbour.\n"
                         "Some said it was after the great storm; others said the fishmongers grew tired of the hill.\n"_s;
    const QStringList voices = Engine().VoiceDescriptions();
    QList<int> chosen = {static_cast<int>(voices.indexOf(u"eSpeak NG English (Great Britain)"_s)),
                         static_cast<int>(voices.indexOf(u"eSpeak NG German"_s))};
    for (int flite = FirstFlite(); flite < FirstFlite() + 4; ++flite)
        chosen.append(flite);
    auto loudness = [&](int voice, int volume) {
        QTemporaryDir dir;
        const QString wav = dir.filePath(u"x.wav"_s);
        auto stream = Engine().CreateFileStream();
        stream->Open(wav);
        auto speaker = Engine().CreateVoice();
        speaker->SelectVoice(voice);
        speaker->SetVolume(volume);
        speaker->SetOutput(stream.get());
        speaker->Speak(text);
        stream->Close();
        const std::vector<qint16> samples = DecodeWithFfmpeg(wav);
        return MeasureLoudness(samples.data(), static_cast<qint64>(samples.size()));
    };
    for (const int voice : std::as_const(chosen)) {
        ASSERT_GE(voice, 0);
        const Loudness full = loudness(voice, 100);
        EXPECT_NEAR(full.integrated, kTargetLoudness, 1.0) << voices[voice].toStdString();
        EXPECT_LE(full.truePeak, kPeakCeiling + 0.1) << voices[voice].toStdString();
    }
    // Half the volume is 6 dB less.
    for (const int voice : {chosen[0], FirstFlite()})
        EXPECT_NEAR(loudness(voice, 100).integrated - loudness(voice, 50).integrated, 6.02, 0.3) << voice;
}

TEST(SpeechEngines, EveryLineEndIsAPauseInBothEngines)
{
    // A heading and the body's first line; joined with nothing they ran into one word.
    for (const int voice : {0, FirstFlite()}) {
        const WavInfo lines = SpeakWith(voice, u"packing list for a weekend trip\nhere is a list\n"_s);
        const WavInfo joined = SpeakWith(voice, u"packing list for a weekend triphere is a list"_s);
        EXPECT_GE(lines.longestInnerPause, 0.150) << voice << " joined " << joined.longestInnerPause;
        EXPECT_LT(joined.longestInnerPause, 0.150) << voice;
    }
}

TEST(SpeechEngines, OneSynthesisAtATimeAcrossBothEngines)
{
    QTemporaryDir dir;
    QByteArray text;
    for (int i = 0; i < 40; ++i)
        text += "this sentence is spoken again and again so that the segment lasts a while.\n";
    WriteBytes(dir.filePath(u"long.txt"_s), text);
    int nested = 0;
    QStringList failures;
    HookedEventLoop &events = EngineEvents();
    events.hook = [&] {
        ++nested;
        try {
            auto other = Engine().CreateVoice();
            other->SelectVoice(0); // espeak-ng, while Flite speaks
            other->Speak(u"nested"_s);
        } catch (const RuntimeError &e) {
            failures.append(e.description());
        }
    };
    auto stream = Engine().CreateFileStream();
    stream->Open(dir.filePath(u"long.wav"_s));
    auto voice = Engine().CreateVoice();
    voice->SelectVoice(FirstFlite());
    voice->SetOutput(stream.get());
    voice->SpeakFile(dir.filePath(u"long.txt"_s));
    stream->Close();
    events.hook = nullptr;
    EXPECT_GT(nested, 0) << "the window was served during the synthesis";
    EXPECT_EQ(failures.size(), nested);
    EXPECT_EQ(failures.value(0), u"The speech engine is busy"_s);
    EXPECT_GT(ReadWav(dir.filePath(u"long.wav"_s)).seconds, 60);
}

TEST(EspeakEngine, OrderForLocalePrefersTheTagThenTheLanguageThenEnglish)
{
    const QList<QList<std::pair<int, QString>>> languages = {
        {{5, u"af"_s}},
        {{5, u"en-029"_s}, {10, u"en"_s}},
        {{2, u"en-gb"_s}, {2, u"en"_s}},
        {{2, u"en-us"_s}, {3, u"en"_s}},
        {{5, u"de"_s}},
    };
    EXPECT_EQ(EspeakEngine::OrderForLocale(languages, u"en_US"_s), (QList<int>{3, 0, 1, 2, 4}));
    EXPECT_EQ(EspeakEngine::OrderForLocale(languages, u"de_AT.UTF-8"_s), (QList<int>{4, 0, 1, 2, 3}));
    EXPECT_EQ(EspeakEngine::OrderForLocale(languages, u"en_AU"_s), (QList<int>{2, 0, 1, 3, 4}));
    EXPECT_EQ(EspeakEngine::OrderForLocale(languages, u"C"_s), (QList<int>{2, 0, 1, 3, 4}));
}

TEST(EspeakEngine, ALongSegmentServesTheWindowAndTurnsAwayNestedCalls)
{
    QTemporaryDir dir;
    QByteArray text;
    for (int i = 0; i < 400; ++i)
        text += "this sentence is spoken again and again so that the segment lasts a while. ";
    WriteBytes(dir.filePath(u"long.txt"_s), text);
    const QStringList voices = Engine().VoiceDescriptions();

    int nested = 0;
    QStringList nestedFailures;
    HookedEventLoop &events = EngineEvents();
    events.yields = 0;
    events.hook = [&] {
        ++nested;
        EXPECT_EQ(Engine().VoiceDescriptions(), voices); // answered from the last list read
        try {
            Engine().CreateVoice()->Speak(u"nested"_s);
        } catch (const RuntimeError &e) {
            nestedFailures.append(e.description());
        }
    };
    auto stream = Engine().CreateFileStream();
    stream->Open(dir.filePath(u"long.wav"_s));
    auto voice = Engine().CreateVoice();
    voice->SetOutput(stream.get());
    voice->SpeakFile(dir.filePath(u"long.txt"_s));
    stream->Close();
    events.hook = nullptr;

    EXPECT_GT(nested, 0);
    EXPECT_EQ(nestedFailures.size(), nested);
    EXPECT_EQ(nestedFailures.value(0), u"The speech engine is busy"_s);
    const WavInfo wav = ReadWav(dir.filePath(u"long.wav"_s));
    EXPECT_GT(wav.seconds, 60);
}

TEST_F(ConversionEndToEnd, EveryChapterBeginsWhereItsHeadingIsHeard)
{
    // Three headings, the third in the second segment at the slowest rate (49 lines a
    // segment), read by each engine: a chapter begins at the end of the pause before its
    // heading, within 50 ms, as a player plays the joined MP3.
    QByteArray body = "<text:p>An opening before the first heading.</text:p>";
    for (int h = 1; h <= 3; ++h) {
        body += "<text:h>Heading number " + QByteArray::number(h) + "</text:h>";
        for (int i = 0; i < 24; ++i)
            body += "<text:p>Words of paragraph " + QByteArray::number(i) + ".</text:p>";
    }
    const QString document = out.filePath(u"chapters.odt"_s);
    WriteZip(document, {{u"content.xml"_s, ContentXml(body)}});
    window.slider2 = -10;
    window.list.Append(document);
    for (const QString &voice : {u"Flite English (United States) female slt"_s, u"eSpeak NG English (Great Britain)"_s}) {
        window.combo1Index = static_cast<int>(Engine().VoiceDescriptions().indexOf(voice));
        ASSERT_GE(window.combo1Index, 0);
        boxes.shown.clear();
        Start();
        EXPECT_EQ(boxes.Texts(), QStringList{u"Done."_s});
        const QString mp3 = out.filePath(u"chapters.mp3"_s);
        const Probed probed = Ffprobe(mp3);
        ASSERT_EQ(probed.chapters.size(), 4) << voice.toStdString();
        EXPECT_EQ(probed.chapters[0].title, u"chapters"_s);
        EXPECT_EQ(probed.chapters[0].start, 0);
        EXPECT_NEAR(probed.chapters[3].end, probed.seconds, 0.01);
        const QList<double> pauseEnds = SoundAfterSilence(DecodeWithFfmpeg(mp3), 22050, 0.08);
        for (qsizetype k = 1; k < 4; ++k) {
            const Probed::Chapter &chapter = probed.chapters[k];
            EXPECT_EQ(chapter.title, u"Heading number %1"_s.arg(k));
            EXPECT_EQ(chapter.start, probed.chapters[k - 1].end);
            const auto nearest = std::min_element(pauseEnds.begin(), pauseEnds.end(), [&](double a, double b) {
                return std::abs(a - chapter.start) < std::abs(b - chapter.start);
            });
            ASSERT_NE(nearest, pauseEnds.end());
            EXPECT_NEAR(chapter.start, *nearest, 0.05) << voice.toStdString() << ", chapter " << k;
        }
        EXPECT_EQ(probed.tags.value(u"title"_s), u"chapters"_s);
        EXPECT_EQ(probed.tags.value(u"track"_s), u"1/1"_s);
        EXPECT_EQ(probed.tags.value(u"comment"_s), u"Voice: "_s + voice);
    }
}
