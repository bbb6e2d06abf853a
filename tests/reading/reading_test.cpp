#include "reading/lexicon.h"
#include "reading/phonemes.h"
#include "reading/speechplan.h"
#include "reading/spokenform.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct Golden
{
    const char16_t *language;
    const char16_t *written;
    // The readings a careful reader gives, separated by " | ".
    const char16_t *said;
};

// What a careful reader says; where people say it in more than one way, each way is taken.
const Golden kGolden[] = {
    {u"en-US", u"$12.50", u"twelve dollars and fifty cents"},
    {u"en-US", u"Chapter IV", u"Chapter four"},
    {u"en-US", u"Elm St.", u"Elm Street."},
    {u"en-US", u"St. Paul", u"Saint Paul"},
    {u"en-US", u"Fig. 3 shows", u"Figure three shows | figure three shows"},
    {u"en-US", u"see p. 14.", u"see page fourteen."},
    {u"en-US", u"3/4/2024", u"March fourth, twenty twenty-four | March fourth twenty twenty-four"},
    {u"en-GB", u"3/4/2024", u"the third of April twenty twenty-four | the third of April, twenty twenty-four"},
    {u"en-US", u"12:30", u"twelve thirty"},
    {u"en-US", u"Henry VIII", u"Henry the eighth"},
    {u"en-US", u"I went", u"I went"},
    {u"en-US", u"the 19th century", u"the nineteenth century"},
    {u"en-US", u"XIX century", u"nineteenth century"},
    {u"en-US", u"1990–1995", u"nineteen ninety to nineteen ninety-five"},
    {u"en-US", u"-5 °C", u"minus five degrees Celsius"},
    {u"en-US", u"+44 20 7946 0958", u"plus four four, two zero, seven nine four six, zero nine five eight"},
    {u"en-US", u"ISBN 978-3-16-148410-0",
     u"ISBN nine seven eight, three, one six, one four eight four one zero, zero"},
    {u"en-US", u"www.example.com", u"w w w dot example dot com"},
    {u"en-US", u"jane@example.org", u"jane at example dot org"},
    {u"en-US", u"Meet Dr. Jones at 9:05 am on March 4, 2024 on Oak Dr. by the Thames.",
     u"Meet Doctor Jones at nine oh five a m on March fourth, twenty twenty-four on Oak Drive by the Thames."},
    {u"en-US", u"In 1999, 3/4 of 1,250 people paid £3.20, $1 or 12.5% for 5km.",
     u"In nineteen ninety-nine, three quarters of one thousand two hundred fifty people paid three pounds and "
     u"twenty pence, one dollar or twelve point five percent for five kilometers. | In nineteen ninety-nine, three "
     u"fourths of one thousand two hundred fifty people paid three pounds and twenty pence, one dollar or twelve "
     u"point five percent for five kilometers."},
    {u"en-US", u"e.g. Mr. Smith vs. Mrs. Brown, etc. Then No. 5, pp. 12-14 and World War II.",
     u"for example Mister Smith versus Missus Brown, et cetera. Then Number five, pages twelve to fourteen and "
     u"World War two."},
    {u"en-US", u"Part C of the 1990s, $3 million, 1/2 and the 2nd one.",
     u"Part C of the nineteen nineties, three million dollars, one half and the second one."},
    {u"en-GB", u"On 4 March 1066 at 10:00, 101 came with Mr Bean.",
     u"On the fourth of March ten sixty-six at ten o'clock, one hundred and one came with Mister Bean."},
    {u"fr-FR", u"12,50 €", u"douze euros cinquante | douze euros et cinquante centimes"},
    {u"fr-FR", u"XIXe siècle", u"dix-neuvième siècle"},
    {u"fr-FR", u"Le 1er mai, la 2e fois, Louis XIV et François Ier.",
     u"Le premier mai, la deuxième fois, Louis quatorze et François premier."},
    {u"fr-FR", u"Le 3/4/2024 à 12:30 et à 14h05.",
     u"Le trois avril deux mille vingt-quatre à douze heures trente et à quatorze heures cinq."},
    {u"fr-FR", u"De 1990 à 1995, il fait -5 °C.",
     u"De dix-neuf-cent quatre-vingt-dix à dix-neuf-cent quatre-vingt-quinze, il fait moins cinq degrés Celsius. | "
     u"De mille neuf cent quatre-vingt-dix à mille neuf cent quatre-vingt-quinze, il fait moins cinq degrés Celsius."},
    {u"fr-FR", u"M. Dupont habite p. 14 avec 12 500 habitants, 3,14 et 50 %, etc. Puis 21 heures.",
     u"Monsieur Dupont habite page quatorze avec douze mille cinq cents habitants, trois virgule quatorze et "
     u"cinquante pour cent, et cetera. Puis vingt-et-une heures. | Monsieur Dupont habite page quatorze avec douze "
     u"mille cinq cents habitants, trois virgule quatorze et cinquante pour cent, et cetera. Puis vingt et une heures."},
    {u"fr-FR", u"Appelez le 01 23 45 67 89.", u"Appelez le zéro un, vingt-trois, quarante-cinq, soixante-sept, "
                                              u"quatre-vingt-neuf. | Appelez le zéro un vingt-trois quarante-cinq "
                                              u"soixante-sept quatre-vingt-neuf."},
    {u"de-DE", u"12,50 €", u"zwölf Euro fünfzig"},
    {u"de-DE", u"Am 3. Mai 2024 im 19. Jahrhundert, der 2. Weltkrieg.",
     u"Am dritten Mai zweitausendvierundzwanzig im neunzehnten Jahrhundert, der zweite Weltkrieg."},
    {u"de-DE", u"Heinrich VIII. war am 3.4.2024 um 12:30 Uhr da.",
     u"Heinrich der Achte war am dritten April zweitausendvierundzwanzig um zwölf Uhr dreißig da."},
    {u"de-DE", u"Dr. Müller, z. B. S. 14 usw. Dann 1 Stunde und 3/4 Liter.",
     u"Doktor Müller, zum Beispiel Seite vierzehn und so weiter. Dann eine Stunde und drei Viertel Liter."},
    {u"de-DE", u"Kapitel IV: Von 1990 bis 1995 sind es 1.000 km.",
     u"Kapitel vier: Von neunzehnhundertneunzig bis neunzehnhundertfünfundneunzig sind es eintausend Kilometer. | "
     u"Kapitel vier: Von neunzehnhundertneunzig bis neunzehnhundertfünfundneunzig sind es tausend Kilometer."},
    {u"es-ES", u"12,50 €", u"doce euros con cincuenta céntimos | doce euros con cincuenta"},
    {u"es-ES", u"El siglo XIX, Felipe II y Alfonso XIII.", u"El siglo diecinueve, Felipe segundo y Alfonso trece."},
    {u"es-ES", u"El 3/4/2024 a las 12:30 y el 1.º de mayo.",
     u"El tres de abril de dos mil veinticuatro a las doce y treinta y el primero de mayo. | El tres de abril de "
     u"dos mil veinticuatro a las doce y media y el primero de mayo."},
    {u"es-ES", u"El Sr. García, pág. 14, etc. Luego 1 hora y 21 libros a -5 °C.",
     u"El Señor García, página catorce, etcétera. Luego una hora y veintiún libros a menos cinco grados Celsius. | "
     u"El señor García, página catorce, etcétera. Luego una hora y veintiún libros a menos cinco grados Celsius."},
    // Without rules of its own a language is read as written, for espeak-ng to read its way.
    {u"it", u"Il 3/4/2024 costa $12.50 e Enrico VIII.", u"Il 3/4/2024 costa $12.50 e Enrico VIII."},
};

// The spans cover both texts in order without gaps, and a stretch read as written is the
// same characters in both.
void ExpectSpansCoverBoth(const QString &source, const SpokenText &spoken)
{
    qsizetype from = 0;
    qsizetype to = 0;
    for (const SpokenSpan &span : spoken.spans) {
        ASSERT_EQ(span.sourceStart, from);
        ASSERT_EQ(span.spokenStart, to);
        if (span.asWritten) {
            ASSERT_EQ(source.mid(span.sourceStart, span.sourceLength),
                      spoken.text.mid(span.spokenStart, span.spokenLength));
        }
        from += span.sourceLength;
        to += span.spokenLength;
    }
    EXPECT_EQ(from, source.size());
    EXPECT_EQ(to, spoken.text.size());
}

LexiconResult Pls(const QString &body, const QString &prolog = {})
{
    return ReadPlsLexicon((u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"_s + prolog +
                           u"<lexicon version=\"1.0\" xmlns=\"http://www.w3.org/2005/01/pronunciation-lexicon\" "
                           u"alphabet=\"ipa\" xml:lang=\"en-US\">"_s + body + u"</lexicon>"_s)
                              .toUtf8());
}

QByteArray Speak(const QString &body)
{
    return (u"<speak version=\"1.1\" xmlns=\"http://www.w3.org/2001/10/synthesis\" xml:lang=\"en-US\">"_s + body +
            u"</speak>"_s)
        .toUtf8();
}

} // namespace

TEST(SpokenForm, ReadsTheGoldenSentencesOfEachLanguageAsACarefulReaderDoes)
{
    for (const Golden &golden : kGolden) {
        const QString written = QString::fromUtf16(golden.written);
        const QString language = QString::fromUtf16(golden.language);
        SCOPED_TRACE(language.toStdString() + ": " + written.toStdString());
        const SpokenText spoken = SpokenForm(written, language);
        const QStringList accepted = QString::fromUtf16(golden.said).split(u" | "_s);
        EXPECT_TRUE(accepted.contains(spoken.text)) << spoken.text.toStdString();
        ExpectSpansCoverBoth(written, spoken);
    }
}

TEST(SpokenForm, EachSpokenPiecePointsBackToTheWordsItCameFrom)
{
    const QString written = u"Pay $12.50 by 3/4/2024, Dr. Who."_s;
    const SpokenText spoken = SpokenForm(written, u"en-US"_s);
    const auto sourceOf = [&](const QString &words) {
        const SpokenSpan span = spoken.sourceOf(spoken.text.indexOf(words), words.size());
        return written.mid(span.sourceStart, span.sourceLength);
    };
    EXPECT_EQ(sourceOf(u"twelve dollars and fifty cents"_s), u"$12.50"_s);
    EXPECT_EQ(sourceOf(u"fifty"_s), u"$12.50"_s);
    EXPECT_EQ(sourceOf(u"twenty twenty-four"_s), u"3/4/2024"_s);
    EXPECT_EQ(sourceOf(u"Doctor"_s), u"Dr."_s);
    EXPECT_EQ(sourceOf(u"Pay"_s), u"Pay"_s);
    EXPECT_EQ(sourceOf(u"ay"_s), u"ay"_s);

    // Text that needs nothing is one span; a long text with numbers stays linear and whole.
    const QString plain = u"Nothing to change here, at all."_s;
    EXPECT_EQ(SpokenForm(plain, u"en"_s).spans, (QList<SpokenSpan>{{0, plain.size(), 0, plain.size(), true}}));
    QString book;
    for (int k = 0; book.size() < 400'000; ++k)
        book += u"On %1/3/2024 page %2 cost $%3.50, Mr. Smith said. "_s.arg(k % 28 + 1).arg(k).arg(k % 97);
    QElapsedTimer timer;
    timer.start();
    const SpokenText long_ = SpokenForm(book, u"en-GB"_s);
    EXPECT_LT(timer.elapsed(), 5000);
    ExpectSpansCoverBoth(book, long_);
    const QString digits(200'000, u'7');
    EXPECT_EQ(SpokenForm(digits, u"en"_s).text.count(u"seven"_s), 200'000);
}

TEST(Lexicon, PlsAndPlainFormsMergeInOrderOfPrecedenceWholeWordsAndCaseAsDocumented)
{
    const LexiconResult document = Pls(u"<lexeme><grapheme>nginx</grapheme><alias>engine x</alias></lexeme>"
                                       u"<lexeme><grapheme>Nice</grapheme><grapheme>Nizza</grapheme>"
                                       u"<phoneme>niːs</phoneme><alias>niece</alias></lexeme>"
                                       u"<lexeme><grapheme>New York</grapheme><alias>the Big Apple</alias></lexeme>"_s);
    ASSERT_TRUE(document.ok()) << document.error.toStdString();
    EXPECT_EQ(document.lexicon.language(), u"en-US"_s);
    EXPECT_EQ(document.lexicon.size(), 4);

    QTemporaryDir folder;
    QFile beside(folder.filePath(u"beside.txt"_s));
    ASSERT_TRUE(beside.open(QIODevice::WriteOnly));
    beside.write("\xEF\xBB\xBF# the words beside the document\n\nnginx = en gin ex\nTolkien = /\xCB\x88tQlki\xCB\x90n/\n"
                 "Tolkien = /ignored/\nno equals sign\nSQL = sequel\n");
    beside.close();
    const LexiconResult plain = LoadLexiconFile(beside.fileName());
    ASSERT_TRUE(plain.ok()) << plain.error.toStdString();
    EXPECT_EQ(plain.warnings.size(), 1);
    const LexiconResult user = ReadPlainLexicon("SQL = ess cue ell\nQt = cute\n");

    const LexiconResult merged = MergeLexicons({document.lexicon, plain.lexicon, user.lexicon});
    ASSERT_TRUE(merged.ok());
    const SpokenText spoken = SpokenForm(u"NGINX and Nginx's nginxes, SQL in Qt from nice Nice, New York, Tolkien."_s,
                                         u"en"_s, &merged.lexicon);
    EXPECT_EQ(spoken.text,
              u"engine x and engine x's nginxes, sequel in cute from nice Nice, the Big Apple, Tolkien."_s);
    ASSERT_EQ(spoken.lexiconHits.size(), 7);
    EXPECT_EQ(spoken.lexiconHits[0], (LexiconHit{0, 8, u"NGINX"_s, u"engine x"_s, QString()}));
    const LexiconHit &nice = spoken.lexiconHits[4];
    EXPECT_EQ(spoken.text.mid(nice.start, nice.length), u"Nice"_s);
    EXPECT_EQ(nice.ipa, u"niːs"_s); // the first pronunciation of a lexeme is its own
    EXPECT_EQ(spoken.lexiconHits[6].ipa, u"ˈtQlkiːn"_s);
    EXPECT_EQ(EspeakInput(u"[[a]] Nice."_s, {{6, 4, u"Nice"_s, QString(), u"niːs"_s}}, u"en"_s), u"[ [a] ] [[ni:s]]."_s);

    // The lexicon works in a language without rules too, and an alias that leads to another
    // grapheme is followed to its end.
    const LexiconResult chain = ReadPlainLexicon("W3C = WWWC\nWWWC = World Wide Web Consortium\n");
    EXPECT_EQ(SpokenForm(u"Le W3C"_s, u"it"_s, &chain.lexicon).text, u"Le World Wide Web Consortium"_s);
}

TEST(Lexicon, IpaBecomesEachEnginesPhonemes)
{
    const struct
    {
        const char16_t *ipa;
        const char16_t *language;
        const char16_t *espeak;
    } cases[] = {
        {u"/təˈmɑːtəʊ/", u"en-GB", u"t@'mA:toU"}, {u"ˈnjuːtən", u"en", u"'nju:t@n"},
        {u"ˌɪntəˈnæʃənəl", u"en", u",Int@'naS@n@l"}, {u"bɔ̃ʒuʁ", u"fr", u"bO~Zur"},
        {u"ʃa.to", u"fr", u"Sato"},                 {u"ˈkɪndɐ", u"de", u"'kInd3"},
        {u"ˈʃtʁaːsə", u"de", u"'Stra:s@"},          {u"ˈpero", u"es", u"'peRo"},
        {u"ˈpeɾo", u"es", u"'pero"},                {u"ˈθjuðad", u"es", u"'TjuDad"},
        {u"ʘa", u"en", u""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IpaToEspeak(QString::fromUtf16(c.ipa), QString::fromUtf16(c.language)), QString::fromUtf16(c.espeak))
            << QString::fromUtf16(c.ipa).toStdString();
    EXPECT_EQ(IpaToFlite(u"həˈloʊ"_s), (QStringList{u"hh"_s, u"ax0"_s, u"l"_s, u"ow1"_s}));
    EXPECT_EQ(IpaToFlite(u"/ˈθɔːt/"_s), (QStringList{u"th"_s, u"ao1"_s, u"t"_s}));
    EXPECT_EQ(IpaToFlite(u"dʒʌdʒ"_s), (QStringList{u"jh"_s, u"ah1"_s, u"jh"_s}));
    EXPECT_EQ(IpaToFlite(u"ˈnɪə"_s), (QStringList{u"n"_s, u"ih1"_s, u"r"_s}));
    EXPECT_TRUE(IpaToFlite(u"bax"_s).isEmpty());
}

TEST(Lexicon, HostileInputIsRefusedOrBoundedWithAReasonNeverExpandedOrHung)
{
    QElapsedTimer timer;
    timer.start();
    QString laughs = u"<!DOCTYPE lexicon [<!ENTITY a \"ha\">"_s;
    for (char16_t c = u'b'; c <= u'k'; ++c)
        laughs += u"<!ENTITY %1 \"%2\">"_s.arg(QChar(c), u"&%1;"_s.arg(QChar(char16_t(c - 1))).repeated(10));
    laughs += u"]>"_s;
    const LexiconResult bomb = Pls(u"<lexeme><grapheme>&k;</grapheme><alias>x</alias></lexeme>"_s, laughs);
    EXPECT_TRUE(bomb.error.contains(u"entities"_s)) << bomb.error.toStdString();
    const LexiconResult external =
        Pls(u"<lexeme><grapheme>&x;</grapheme><alias>x</alias></lexeme>"_s,
            u"<!DOCTYPE lexicon [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"_s);
    EXPECT_FALSE(external.ok());
    EXPECT_FALSE(Pls(u"<lexeme><grapheme>&x;</grapheme><alias>x</alias></lexeme>"_s).ok());
    EXPECT_FALSE(Pls(u"<lexeme><grapheme>a</grapheme>"_s).ok());
    EXPECT_TRUE(ReadPlsLexicon("<html/>").error.contains(u"not a pronunciation lexicon"_s));
    EXPECT_TRUE(Pls(u"<a>"_s.repeated(100) + u"</a>"_s.repeated(100)).error.contains(u"nested"_s));

    QByteArray many;
    for (int k = 0; k < 1'000'000; ++k)
        many += "w" + QByteArray::number(k) + "=a\n";
    EXPECT_TRUE(ReadPlainLexicon(many).error.contains(u"200000"_s));
    EXPECT_TRUE(ReadPlainLexicon(QByteArray(LexiconLimits::kMaxBytes + 1, 'a')).error.contains(u"larger"_s));

    const LexiconResult huge = Pls(u"<lexeme><grapheme>"_s + QString(1 << 20, u'g') +
                                   u"</grapheme><alias>x</alias></lexeme>"
                                   u"<lexeme><grapheme>kept</grapheme><alias>x</alias></lexeme>"_s);
    ASSERT_TRUE(huge.ok());
    EXPECT_EQ(huge.lexicon.size(), 1);
    EXPECT_TRUE(huge.warnings.value(0).contains(u"longer than 200"_s));

    QByteArray chain = "self = self\nping = pong\npong = ping\n";
    for (int k = 0; k < 12; ++k)
        chain += "c" + QByteArray::number(k) + " = c" + QByteArray::number(k + 1) + "\n";
    const LexiconResult aliases = ReadPlainLexicon(chain);
    ASSERT_TRUE(aliases.ok());
    EXPECT_EQ(aliases.lexicon.find(u"self"_s), nullptr);
    EXPECT_EQ(aliases.lexicon.find(u"ping"_s), nullptr);
    EXPECT_EQ(aliases.lexicon.find(u"c0"_s), nullptr);
    ASSERT_NE(aliases.lexicon.find(u"c5"_s), nullptr);
    EXPECT_EQ(aliases.lexicon.find(u"c5"_s)->alias, u"c12"_s);
    EXPECT_TRUE(aliases.warnings.join(u'\n').contains(u"names itself"_s));
    EXPECT_TRUE(aliases.warnings.join(u'\n').contains(u"circle"_s));
    EXPECT_LT(timer.elapsed(), 20'000);
}

TEST(Ssml, APlanWrittenAndReadBackIsTheSamePlanWithEveryMarkEscaped)
{
    SpeechPlan plan;
    plan.language = u"en-US"_s;
    const LexiconResult lexicon = ReadPlainLexicon("nginx = engine x\nSmith = /sm\xC9\xAA\xCE\xB8/\n");
    const SpokenText spoken =
        SpokenForm(u"Dr. Smith paid $5 for nginx. Then a<b and c>d & e."_s, u"en-US"_s, &lexicon.lexicon);
    SpeechPassage english;
    english.voiceName = u"espeak-ng \"en\""_s;
    english.text = spoken.text;
    english.lexiconHits = spoken.lexiconHits;
    english.pauseAfterMs = 400;
    SpeechPassage french;
    french.language = u"fr-FR"_s;
    french.text = u"M. Dupont arrive. Il part."_s;
    french.ratePercent = 150;
    french.volumePercent = 63;
    SpeechPassage pause;
    pause.pauseAfterMs = 1200;
    plan.paragraphs = {{{english, french}}, {{pause, english}}};

    const QByteArray ssml = SpeechPlanSsml(plan);
    EXPECT_TRUE(ssml.contains("<sub alias=\"engine x\">nginx</sub>"));
    EXPECT_TRUE(ssml.contains("<phoneme alphabet=\"ipa\" ph=\"sm\xC9\xAA\xCE\xB8\">Smith</phoneme>"));
    EXPECT_TRUE(ssml.contains("a&lt;b and c&gt;d &amp; e.</s>"));
    EXPECT_TRUE(ssml.contains("<s xml:lang=\"fr-FR\">M. Dupont arrive.</s> <s xml:lang=\"fr-FR\">Il part.</s>"));
    EXPECT_EQ(ssml.count("<s "), 6); // "Dr." ends no sentence
    QString error;
    EXPECT_EQ(ReadSsml(ssml, &error), plan);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
}

TEST(Ssml, ReadsVoicesProsodyPausesAndSayAsAndRefusesWhatIsNotSafeSsml)
{
    QString error;
    const SpeechPlan plan = ReadSsml(
        Speak(u"Before any paragraph.<p><s>It is <say-as interpret-as=\"cardinal\">1234</say-as>, the "
              u"<say-as interpret-as=\"ordinal\">3</say-as>, <say-as interpret-as=\"characters\">AB1</say-as>, "
              u"<say-as interpret-as=\"date\" format=\"dmy\">03/04/2024</say-as>, "
              u"<say-as interpret-as=\"telephone\">+1 555 0100</say-as>.</s><break strength=\"strong\"/>"
              u"<voice name=\"Anna\" xml:lang=\"de\"><prosody rate=\"x-slow\" volume=\"+6dB\">Guten "
              u"<prosody rate=\"200%\">Tag</prosody></prosody></voice><break time=\"1.5s\"/>"
              u"<sub alias=\"World Wide Web\">WWW</sub> <desc>unsaid</desc><audio src=\"a.wav\">said</audio></p>"
              u"<p><break time=\"100s\"/></p>"_s),
        &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(plan.language, u"en-US"_s);
    ASSERT_EQ(plan.paragraphs.size(), 3);
    EXPECT_EQ(plan.paragraphs[0].passages.value(0).text, u"Before any paragraph."_s);
    const QList<SpeechPassage> &passages = plan.paragraphs[1].passages;
    ASSERT_EQ(passages.size(), 4);
    EXPECT_EQ(passages[0].text, u"It is one thousand two hundred thirty-four, the third, A B one, April third, twenty "
                                u"twenty-four, plus one, five five five, zero one zero zero."_s);
    EXPECT_EQ(passages[0].pauseAfterMs, 750);
    EXPECT_EQ(passages[1].language, u"de"_s);
    EXPECT_EQ(passages[1].voiceName, u"Anna"_s);
    EXPECT_EQ(passages[1].ratePercent, 50);
    EXPECT_EQ(passages[1].volumePercent, 200);
    EXPECT_EQ(passages[2].text, u"Tag"_s);
    EXPECT_EQ(passages[2].ratePercent, 100);
    EXPECT_EQ(passages[2].pauseAfterMs, 1500);
    EXPECT_EQ(passages[3].text, u"World Wide Web said"_s);
    EXPECT_EQ(passages[3].lexiconHits, (QList<LexiconHit>{{0, 14, u"WWW"_s, u"World Wide Web"_s, QString()}}));
    EXPECT_EQ(plan.paragraphs[2].passages.value(0).pauseAfterMs, SsmlLimits::kMaxBreakMs);

    const auto refused = [](const QByteArray &ssml) {
        QString why;
        const SpeechPlan read = ReadSsml(ssml, &why);
        EXPECT_TRUE(read.paragraphs.isEmpty());
        return why;
    };
    EXPECT_TRUE(refused("<speak>no namespace</speak>").contains(u"not SSML"_s));
    EXPECT_TRUE(refused("<!DOCTYPE speak [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>" + Speak(u"&b;"_s))
                    .contains(u"entities"_s));
    EXPECT_TRUE(refused(Speak(u"<p>"_s.repeated(300))).contains(u"nested"_s));
    EXPECT_FALSE(refused(Speak(u"<p>unclosed"_s)).isEmpty());
    EXPECT_TRUE(refused(QByteArray(SsmlLimits::kMaxBytes + 1, ' ')).contains(u"larger"_s));
}
