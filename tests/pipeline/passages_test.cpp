#include "pipeline/clean.h"
#include "pipeline/cut.h"
#include "pipeline/passages.h"
#include "tests/testutil.h"
#include "pipeline/readalongtext.h"
#include "pipeline/voicepicker.h"
#include "reading/lexicon.h"
#include "tests/fakes/fakes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QList<std::pair<int, QString>> Voiced(const QList<Passage> &passages)
{
    QList<std::pair<int, QString>> voiced;
    for (const Passage &passage : passages)
        voiced.append({passage.voice, passage.text});
    return voiced;
}

} // namespace

TEST(Passages, EachPassageIsReadByTheVoiceOfItsLanguageAndNeighboursOfOneVoiceAreOne)
{
    FakeSpeechEngine engine; // English (Great Britain), German, French (France)
    const VoicePicker voices(engine, 0, {});
    QStringList unspoken;
    // A French mark on a line, German by the user's mark inside a line, Tibetan that no voice speaks.
    const QString text = u"An English line.\nUne ligne en français.\nEnglish, then Deutsch hier.\nབོད་ཡིག\n"_s;
    const QList<LanguageMark> marks{{1, 0, u"fr-FR"_s}, {2, 0, u""_s}, {2, 14, u"de"_s}, {3, 0, u""_s}};
    const QList<Passage> passages = PassagesOf(text, u"en-GB"_s, marks, voices, &unspoken);
    EXPECT_EQ(Voiced(passages), (QList<std::pair<int, QString>>{{0, u"An English line.\n"_s},
                                                                 {2, u"Une ligne en français.\n"_s},
                                                                 {0, u"English, then "_s},
                                                                 {1, u"Deutsch hier.\n"_s},
                                                                 {0, u"       \n"_s}}));
    EXPECT_FALSE(passages[2].continuesLine);
    EXPECT_TRUE(passages[3].continuesLine);
    // Letters that no voice speaks are left out and counted (vowel signs are no letters).
    EXPECT_EQ(unspoken, QStringList{u"Tibetan=4"_s});
    EXPECT_EQ(UnspokenWords(unspoken), u"4 letters in Tibetan script have no voice and were not spoken"_s);
    QStringList one;
    CountUnspoken(one, u"Ethiopic"_s, 1);
    EXPECT_EQ(UnspokenWords(one), u"1 letter in Ethiopic script has no voice and was not spoken"_s);
    CountUnspoken(unspoken, u"Ethiopic"_s, 1);
    CountUnspoken(unspoken, u"Tibetan"_s, 6);
    EXPECT_EQ(UnspokenWords(unspoken),
              u"10 letters in Tibetan script, 1 letter in Ethiopic script have no voice and were not spoken"_s);

    // The user's voice for a language comes before the engine's.
    const VoicePicker mine(engine, 0, {{u"fr"_s, 1}});
    EXPECT_EQ(PassagesOf(u"Une ligne en français.\n"_s, u"fr"_s, {}, mine, nullptr).value(0).voice, 1);
}

TEST(Passages, AMarksReadingGoesToThePassagesUnderItWithItsVoiceWhereThatSpeaksThem)
{
    FakeSpeechEngine engine;
    const VoicePicker voices(engine, 0, {});
    // Slower inside a line; the German voice named for English words the document marks as
    // its own; a voice that is not installed leaves the choice to the language; softer.
    const QString text = u"Read slowly now. By the German voice.\nUne ligne en français.\nAnd softly.\n"_s;
    const QList<LanguageMark> marks{{0, 5, u""_s, u""_s, 50, 100},
                                    {0, 17, u""_s, u" esPEAK NG German"_s},
                                    {1, 0, u"fr-FR"_s, u"Nobody"_s},
                                    {2, 0, u""_s, u""_s, 100, 400}};
    const QList<Passage> passages = PassagesOf(text, u"en-GB"_s, marks, voices, nullptr);
    EXPECT_EQ(Voiced(passages), (QList<std::pair<int, QString>>{{0, u"Read "_s},
                                                                 {0, u"slowly now. "_s},
                                                                 {1, u"By the German voice.\n"_s},
                                                                 {2, u"Une ligne en français.\n"_s},
                                                                 {0, u"And softly.\n"_s}}));
    QList<std::pair<int, int>> prosody;
    for (const Passage &passage : passages)
        prosody.append({passage.ratePercent, passage.volumePercent});
    EXPECT_EQ(prosody, (QList<std::pair<int, int>>{{100, 100}, {50, 100}, {100, 100}, {100, 100}, {100, 400}}));
    EXPECT_TRUE(passages[1].continuesLine);
    EXPECT_FALSE(passages[0].AsChosen() && passages[1].AsChosen());
    // A named voice does not read letters of a script its language is not written in.
    EXPECT_EQ(PassagesOf(u"Привет\n"_s, u"en-GB"_s, {{0, 0, u""_s, u"eSpeak NG German"_s}}, voices, nullptr)
                  .value(0)
                  .voice,
              0);
}

TEST(Passages, TheMarksKeptBesideThePiecesComeBackForEachPieceWithTheLanguageInEffectAtItsStart)
{
    const QList<LanguageMark> marks{{0, 5, u"fr"_s}, {3, 0, u""_s}, {7, 2, u"de"_s, u"eSpeak NG German"_s, 150, 25}};
    const QList<LinePlace> places{{1, 0}, {1, 3}, {2, 1}};
    const QByteArray file = LanguagesFileText(u"en"_s, marks, places);
    QString language;
    EXPECT_EQ(MarksOfPiece(file, 1, &language), (QList<LanguageMark>{{0, 5, u"fr"_s}, {3, 0, u""_s}}));
    EXPECT_EQ(language, u"en"_s);
    EXPECT_EQ(MarksOfPiece(file, 2, nullptr),
              (QList<LanguageMark>{{0, 0, u""_s}, {1, 2, u"de"_s, u"eSpeak NG German"_s, 150, 25}}));
    EXPECT_EQ(MarksOfPiece(file, 3, nullptr), (QList<LanguageMark>{{0, 0, u"de"_s, u"eSpeak NG German"_s, 150, 25}}));
    EXPECT_TRUE(MarksOfPiece(QByteArray(), 1, nullptr).isEmpty());
}

TEST(Passages, ReadAlongTheMarksStandOnTheSentencesTheyFallIn)
{
    QTemporaryDir dir;
    WriteBytes(dir.filePath(u"1.txt"_s), "one. two.\nthree.\n");
    WriteBytes(dir.filePath(u"own.txt"_s), "One. Two.\nThree.\n");
    ReadAlongText text([&dir](int) { return dir.filePath(u"1.txt"_s); }, dir.filePath(u"own.txt"_s), u"en"_s);
    EXPECT_EQ(text.SentenceMarks(1, {{0, 0, u""_s}, {0, 7, u"fr"_s}, {1, 0, u""_s}}),
              (QList<LanguageMark>{{0, 0, u""_s}, {1, 2, u"fr"_s}, {2, 0, u""_s}}));
}

TEST(Passages, ACarefulReaderSaysNumbersAndAbbreviationsFromTheDocumentsOwnCharacters)
{
    const QString own = u"The ticket costs $12.50 on 3/4/2024 at 12:30.\nChapter IV begins on Elm St. near p. 14.\n"_s;
    QString cleaned; // as the cut writes the lines: the cleaning keeps one character for one
    for (const QString &line : own.split(u'\n', Qt::SkipEmptyParts))
        cleaned += CleanLineOfAnyScript(line) + u'\n';
    ASSERT_EQ(cleaned.size(), own.size());
    const QString spoken = SpokenPassage(cleaned, own, u"en-US"_s, nullptr, false);
    for (const QString &said : {u"twelve dollars and fifty cents on March fourth, twenty twenty-four at twelve thirty"_s,
                                u"chapter four begins"_s, u"Street near page fourteen"_s})
        EXPECT_TRUE(spoken.contains(said)) << spoken.toStdString();
    EXPECT_EQ(spoken.count(u'\n'), 2); // the lines, where the engine says each begins
    // The lexicon's word as it says, in every case; a word of a passage that is not the
    // document's own characters is read as the cleaning left it.
    const LexiconResult lexicon = ReadPlainLexicon("nginx = engine x\n");
    ASSERT_TRUE(lexicon.ok());
    EXPECT_EQ(SpokenPassage(u"we run nginx\n"_s, u"We run Nginx\n"_s, u"en"_s, &lexicon.lexicon, false),
              u"we run engine x\n"_s);
    EXPECT_EQ(SpokenPassage(u"3 4\n"_s, u"3/4/\n"_s, u"en"_s, nullptr, false), u"3 4\n"_s);
    EXPECT_EQ(ReadPlainLexicon(PlainLexiconText(lexicon.lexicon)).lexicon.entries(), lexicon.lexicon.entries());
}
