#include "common/runtimeerror.h"
#include "pipeline/speak.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class SaveToWavTest : public ::testing::Test, protected FakeServices
{
protected:
    SaveToWavTest()
    {
        window.combo1Index = 1;
        window.slider1 = 80;
        window.slider2 = -3;
        text = dir.filePath(u"output001.txt"_s);
        wav = dir.filePath(u"output001.wav"_s);
        WriteBytes(text, "hello there");
    }

    QTemporaryDir dir;
    FakeMainWindow window;
    QString text;
    QString wav;
};

} // namespace

TEST_F(SaveToWavTest, FileModeSpeaksTheFileIntoAWavWithTheWindowsVoiceVolumeAndRate)
{
    Speak speak(services, window);
    speak.SaveToWAV(text, wav);
    EXPECT_EQ(speech.calls, (QStringList{u"CreateVoice"_s, u"SelectVoice 1"_s, u"SetVolume 80"_s, u"SetRate -3"_s,
                                         u"CreateFileStream"_s, u"SetFormat 22050/16/1"_s, u"Open "_s + wav,
                                         u"SetOutput stream"_s, u"SpeakFile "_s + text, u"Close"_s,
                                         u"SetOutput none"_s}));
    EXPECT_EQ(ReadBytes(wav).size(), 44 + 11 * 10 * 2);
    EXPECT_EQ(events.yields, 1);
    EXPECT_FALSE(speak.HoldsRenderingVoice());
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(SaveToWavTest, NothingSelectedKeepsTheDefaultVoiceAndAnEmptySegmentStillGivesAWav)
{
    window.combo1Index = -1;
    WriteBytes(text, "");
    Speak speak(services, window);
    speak.SaveToWAV(text, wav);
    EXPECT_FALSE(speech.calls.join(u'|').contains(u"SelectVoice"_s));
    EXPECT_EQ(ReadBytes(wav).size(), 44);
}

TEST_F(SaveToWavTest, PhraseModeSpeaksThroughTheDefaultOutputAndWritesNoFile)
{
    Speak speak(services, window);
    speak.SaveToWAV(u"This is a test"_s, QString());
    EXPECT_EQ(speech.calls, (QStringList{u"CreateVoice"_s, u"SelectVoice 1"_s, u"SetVolume 80"_s, u"SetRate -3"_s,
                                         u"Speak This is a test"_s}));
    EXPECT_EQ(events.yields, 0);
}

TEST_F(SaveToWavTest, AnUnregisteredVoiceShowsItsBoxAndStaysInTheSlot)
{
    speech.unregistered = {1};
    Speak speak(services, window);
    speak.SaveToWAV(text, wav);
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_EQ(boxes.shown[0].kind, FakeMessageBoxes::Kind::Information);
    EXPECT_EQ(boxes.shown[0].text, u"Class not registered\r\rPlease try selecting another voice from the dropdown."_s);
    EXPECT_TRUE(speak.HoldsRenderingVoice());
    EXPECT_FALSE(speech.calls.contains(u"Close"_s)); // not closed by this call
    EXPECT_TRUE(QFile::exists(wav));                  // the file was created before speaking

    speech.unregistered.clear();
    speak.SaveToWAV(text, wav); // the next call replaces voice and stream
    EXPECT_FALSE(speak.HoldsRenderingVoice());
    EXPECT_EQ(boxes.shown.size(), 1);
}

TEST_F(SaveToWavTest, SpeechThatCouldNotBeWrittenIsRemovedAndThrownToTheCaller)
{
    speech.speakFailure = u"The speech could not be saved to x (No space left on device)"_s;
    speech.speakFailureNumber = ErrorNumber::DiskFull;
    Speak speak(services, window);
    try {
        speak.SaveToWAV(text, wav);
        ADD_FAILURE() << "a WAV cut short passed for whole";
    } catch (const RuntimeError &e) {
        EXPECT_EQ(e.number(), ErrorNumber::DiskFull);
    }
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_FALSE(QFile::exists(wav));
    EXPECT_FALSE(speak.HoldsRenderingVoice());
}

TEST_F(SaveToWavTest, OtherSpeakFailuresAreDroppedSilently)
{
    speech.speakFailure = u"The default audio output could not be used"_s;
    Speak speak(services, window);
    speak.SaveToWAV(u"This is a test"_s, QString());
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(SaveToWavTest, NoEngineIsReportedAtLine100AndNothingIsWritten)
{
    speech.failCreateVoice = true;
    Speak speak(services, window);
    speak.SaveToWAV(text, wav);
    ASSERT_EQ(boxes.ErrorReports().size(), 1);
    EXPECT_TRUE(boxes.ErrorReports()[0].contains(u"in Lectorn2021/08/31.Speak.SaveToWAV at line 100\r\r"_s));
    EXPECT_FALSE(QFile::exists(wav));
}

TEST_F(SaveToWavTest, AWavThatCannotBeOpenedIsReportedAtLine120)
{
    const QString bad = dir.filePath(u"no/such/folder/x.wav"_s);
    Speak speak(services, window);
    speak.SaveToWAV(text, bad);
    ASSERT_GE(boxes.ErrorReports().size(), 1);
    EXPECT_TRUE(boxes.ErrorReports()[0].contains(u"at line 120\r\r"_s));
    EXPECT_FALSE(QFile::exists(bad));
}
