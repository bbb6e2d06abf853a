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
        text = dir.filePath(u"output001.txt"_s);
        wav = dir.filePath(u"output001.wav"_s);
        WriteBytes(text, "hello there");
    }

    SpeechOutcome Save(const QString &what, const QString &where) { return speak.SaveToWAV(reports, choice, what, where); }

    QTemporaryDir dir;
    SpeechChoice choice{1, 80, -3};
    Speak speak{services};
    QString text;
    QString wav;
};

} // namespace

TEST_F(SaveToWavTest, FileModeSpeaksTheFileIntoAWavWithTheChosenVoiceVolumeAndRate)
{
    EXPECT_FALSE(Save(text, wav).failed);
    EXPECT_EQ(speech.calls, (QStringList{u"CreateVoice"_s, u"SelectVoice 1"_s, u"SetVolume 80"_s, u"SetRate -3"_s,
                                         u"CreateFileStream"_s, u"SetFormat 22050/16/1"_s, u"Open "_s + wav,
                                         u"SetOutput stream"_s, u"SpeakFile "_s + text, u"Close"_s,
                                         u"SetOutput none"_s}));
    EXPECT_EQ(ReadBytes(wav).size(), 44 + 11 * 10 * 2);
    EXPECT_TRUE(SpokenWavListed(wav));
    EXPECT_EQ(events.yields, 1);
    EXPECT_FALSE(speak.HoldsRenderingVoice());
    EXPECT_TRUE(boxes.shown.isEmpty());

    // Nothing chosen keeps the engine's default voice; an empty segment still gives a WAV.
    choice.voice = -1;
    WriteBytes(text, "");
    speech.calls.clear();
    Save(text, wav);
    EXPECT_FALSE(speech.calls.join(u'|').contains(u"SelectVoice"_s));
    EXPECT_EQ(ReadBytes(wav).size(), 44);
}

TEST_F(SaveToWavTest, PhraseModeSpeaksThroughTheDefaultOutputAndWritesNoFile)
{
    Save(u"This is a test"_s, QString());
    EXPECT_EQ(speech.calls, (QStringList{u"CreateVoice"_s, u"SelectVoice 1"_s, u"SetVolume 80"_s, u"SetRate -3"_s,
                                         u"Speak This is a test"_s}));
    EXPECT_EQ(events.yields, 0);
}

TEST_F(SaveToWavTest, AFailedSpeakCallIsAnsweredNotReportedAndItsSpeechNeverKept)
{
    speech.unregistered = {1};
    SpeechOutcome outcome = Save(text, wav);
    EXPECT_TRUE(outcome.failed);
    EXPECT_TRUE(outcome.ClassNotRegistered());
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_FALSE(QFile::exists(wav));
    EXPECT_TRUE(speak.HoldsRenderingVoice()); // until the next call replaces it

    speech.unregistered.clear();
    speech.speakFailure = u"The speech could not be saved to x (No space left on device)"_s;
    speech.speakFailureNumber = ErrorNumber::DiskFull;
    outcome = Save(text, wav);
    EXPECT_FALSE(outcome.ClassNotRegistered());
    EXPECT_EQ(outcome.number, ErrorNumber::DiskFull);
    EXPECT_EQ(outcome.description, speech.speakFailure);
    EXPECT_FALSE(QFile::exists(wav));

    speech.speakFailure.clear();
    EXPECT_FALSE(Save(text, wav).failed);
    EXPECT_FALSE(speak.HoldsRenderingVoice());
}

TEST_F(SaveToWavTest, FailuresBeforeSpeakingAreReportedAtTheirStatements)
{
    speech.failCreateVoice = true;
    Save(text, wav);
    ASSERT_EQ(boxes.ErrorReports().size(), 1);
    EXPECT_TRUE(boxes.ErrorReports()[0].contains(u"in Lectorn2021/08/31.Speak.SaveToWAV at line 100\r\r"_s));
    EXPECT_FALSE(QFile::exists(wav));

    speech.failCreateVoice = false;
    boxes.shown.clear();
    const QString bad = dir.filePath(u"no/such/folder/x.wav"_s);
    Save(text, bad);
    ASSERT_GE(boxes.ErrorReports().size(), 1);
    EXPECT_TRUE(boxes.ErrorReports()[0].contains(u"at line 120\r\r"_s));
    EXPECT_FALSE(QFile::exists(bad));
}
