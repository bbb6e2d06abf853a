// The language of each passage: what the document says where it fits the script, else the
// script, else the letters.
#include "languages/languageruns.h"
#include "languages/languagetag.h"
#include "tests/testutil.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kLongEnglish =
    u"The committee met on a grey morning to read the reports that had arrived during the winter, and each "
    u"member agreed that the roads, the bridges and the old railway station would need far more money than "
    u"the town had set aside for the coming year, so the mayor wrote again."_s;
const QString kLongFrench =
    u"Le conseil municipal s'est réuni un matin gris pour lire les rapports arrivés pendant l'hiver, et chacun "
    u"de ses membres a reconnu que les routes, les ponts et la vieille gare demanderaient bien plus d'argent "
    u"que la ville n'en avait prévu pour l'année à venir."_s;

// Each run as «its first characters»language/script, with * when the document said so;
// the runs must follow each other and cover the text.
QString Rendered(const QString &text, const QList<LanguageRun> &runs)
{
    QString rendered;
    qsizetype next = 0;
    for (const LanguageRun &run : runs) {
        if (run.start != next || run.length <= 0)
            return u"runs do not cover the text"_s;
        next = run.start + run.length;
        rendered += u"«"_s + text.mid(run.start, std::min<qsizetype>(run.length, 8)).trimmed() + u"»"_s + run.language
                    + u'/' + run.script + (run.marked ? u"*"_s : QString()) + u' ';
    }
    return next == text.size() ? rendered.trimmed() : u"runs do not cover the text"_s;
}

struct Case
{
    const char *what;
    QString text;
    QString defaultLanguage;
    QList<LanguageMark> marks;
    QString expected;
};

} // namespace

TEST(LanguageRuns, ThePassagesOfATextInTheirLanguages)
{
    const QList<Case> cases = {
        {"one language", u"Plain English.\nMore of it, 42 times."_s, u"en-US"_s, {}, u"«Plain En»en-US/Latn*"_s},
        {"no letters", u"1984 — 2024.\n"_s, u"en-US"_s, {}, u"«1984 — 2»/Zyyy"_s},
        {"every script its language, Common joining its neighbours",
         u"Ελληνικά,\nעברית\nالعربية\nहिन्दी\nไทย\nქართული\nՀայերեն\n한국어\nབོད་ཡིག\nবাংলা\nதமிழ்\n«ગુજરાતી»"_s,
         u"en-US"_s, {},
         u"«Ελληνικά»el/Grek «עברית»he/Hebr «العربية»ar/Arab «हिन्दी»hi/Deva «ไทย»th/Thai «ქართული»ka/Geor "
         u"«Հայերեն»hy/Armn «한국어»ko/Kore «བོད་ཡིག»bo/Tibt «বাংলা»bn/Beng «தமிழ்»ta/Taml ««ગુજરાતી»gu/Gujr"_s},
        {"the Asian and complex defaults of office suites against Hebrew and Chinese",
         u"Shalom: שלום and 中文."_s, u"en-US"_s, {{0, 8, u"hi-IN"_s}, {0, 13, u""_s}, {0, 17, u"zh-CN"_s}},
         u"«Shalom:»en-US/Latn* «שלום»he/Hebr «and»en-US/Latn* «中文.»zh-CN/Hani*"_s},
        {"a short English sentence in a French document stays French",
         u"Le livre est sur la table.\nThis is a short English sentence.\nEncore du français."_s, u"fr-FR"_s, {},
         u"«Le livre»fr-FR/Latn*"_s},
        {"unless it is marked",
         u"Le livre est sur la table.\nThis is a short English sentence.\nEncore du français."_s, u"fr-FR"_s,
         {{1, 0, u"en-GB"_s}, {2, 0, u""_s}}, u"«Le livre»fr-FR/Latn* «This is»en-GB/Latn* «Encore d»fr-FR/Latn*"_s},
        {"a long unmarked paragraph in another language is told by its letters",
         kLongFrench + u'\n' + kLongEnglish, u"fr-FR"_s, {}, u"«Le conse»fr-FR/Latn* «The comm»en/Latn"_s},
        {"a long marked paragraph keeps its mark", kLongEnglish, u"en-US"_s, {{0, 0, u"fr"_s}},
         u"«The comm»fr/Latn*"_s},
        {"Ukrainian and Russian paragraphs in a Russian document",
         u"Москва — столица России. Город стоит на берегах Москвы-реки.\nКиїв — столиця України. Місто стоїть на "
         u"берегах Дніпра."_s,
         u"ru"_s, {}, u"«Москва —»ru/Cyrl* «Київ — с»uk/Cyrl"_s},
        {"and in an English one", u"Москва — столица России.\nДоброго ранку, друзі! Як справи?"_s, u"en-GB"_s, {},
         u"«Москва —»ru/Cyrl «Доброго»uk/Cyrl"_s},
        {"a mark in a script its language is not written in says nothing", u"Привет, мир."_s, u"en"_s,
         {{0, 0, u"fr-FR"_s}}, u"«Привет,»ru/Cyrl"_s},
        {"kanji beside kana are Japanese, whatever the Asian default; without kana Chinese",
         u"日本語の文章です。\n中文的句子。"_s, u""_s, {{0, 0, u"zh-CN"_s}},
         u"«日本語の文章です»ja/Jpan «中文的句子。»zh-CN/Hani*"_s},
        {"Hanja beside Hangul are Korean", u"大韓民國은 나라다."_s, u"en"_s, {{0, 0, u"zh-CN"_s}},
         u"«大韓民國은 나라»ko/Kore"_s},
        {"Cantonese and Japanese when marked", u"廣東話\n漢字"_s, u""_s, {{0, 0, u"yue"_s}, {1, 0, u"ja"_s}},
         u"«廣東話»yue/Hani* «漢字»ja/Jpan*"_s},
        {"Devanagari is Hindi unless marked Marathi", u"नमस्ते\nमराठी भाषा"_s, u"en"_s, {{1, 0, u"mr-IN"_s}},
         u"«नमस्ते»hi/Deva «मराठी भा»mr-IN/Deva*"_s},
        {"Serbian is written in both its scripts", u"Добар дан. Dobar dan."_s, u"sr"_s, {},
         u"«Добар да»sr/Cyrl* «Dobar da»sr/Latn*"_s},
        {"a text whose language nobody named", kLongEnglish, u""_s, {}, u"«The comm»en/Latn"_s},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Rendered(c.text, LanguageRuns(c.text, c.defaultLanguage, c.marks)), c.expected) << c.what;
    EXPECT_TRUE(LanguageRuns(u""_s, u"en"_s, {}).isEmpty());
}

TEST(LanguageRuns, MarksOnAPartOfTheTextAndTheirBounds)
{
    const QList<LanguageMark> document = {{1, 4, u"fr"_s}, {2, 0, u""_s}, {2, 6, u"de"_s}, {5, 0, u""_s}};
    // Text from line 1, column 6 to line 3: the French in effect at its start, then what follows.
    EXPECT_EQ(MarksOnText(document, 1, 6, u"xx\nabcdefgh\nyy"_s),
              (QList<LanguageMark>{{0, 0, u"fr"_s}, {1, 0, u""_s}, {1, 6, u"de"_s}}));
    EXPECT_EQ(MarksOnText(document, 2, 0, u"abcdef"_s), (QList<LanguageMark>{}));
    EXPECT_EQ(MarksOnText(document, 2, 6, u"ghi"_s), (QList<LanguageMark>{{0, 0, u"de"_s}}));

    // Marks beyond the text, out of order, or past a line's end are taken where they can stand.
    const QString text = u"ab\ncd"_s;
    EXPECT_EQ(Rendered(text, LanguageRuns(text, u"en"_s, {{0, 99, u"fr"_s}, {0, 0, u"de"_s}, {7, 0, u"it"_s}})),
              u"«ab»en/Latn* «cd»de/Latn*"_s);
}

TEST(LanguageTags, WhatDocumentsWriteAsBcp47)
{
    const QList<std::tuple<QString, QString, QString>> cases = {
        {u"fr"_s, u"FR"_s, u"fr-FR"_s},          {u"en_us"_s, u""_s, u"en-US"_s},
        {u"ZH-hant-tw"_s, u""_s, u"zh-Hant-TW"_s}, {u"es"_s, u"419"_s, u"es-419"_s},
        {u"de"_s, u"none"_s, u"de"_s},            {u"x-none"_s, u""_s, u"und"_s},
        {u"en-US-x-Twain"_s, u""_s, u"en-US-x-twain"_s}, {u"  "_s, u"US"_s, QString()},
        {u"e n"_s, u""_s, QString()},             {QString(100, u'a'), u""_s, QString()},
    };
    for (const auto &[language, country, tag] : cases)
        EXPECT_EQ(LanguageTag(language, country), tag) << language.toStdString();
    EXPECT_EQ(ScriptName(u"Tibt"_s), u"Tibetan"_s);
    EXPECT_EQ(ScriptName(u"Cans"_s), u"Canadian Aboriginal"_s);
    EXPECT_EQ(ScriptName(u"Jpan"_s), u"Japanese"_s);
    EXPECT_EQ(ScriptName(u"Qqqq"_s), u"Qqqq"_s);
    EXPECT_EQ(LetterCount(u"Ab 1, 中文 😀 ё"_s), 5);
    EXPECT_EQ(CharacterClass(U'ש'), ScriptClass::Complex);
    EXPECT_EQ(CharacterClass(U'か'), ScriptClass::Asian);
    EXPECT_EQ(CharacterClass(U'ж'), ScriptClass::Western);
    EXPECT_EQ(CharacterClass(U'7'), ScriptClass::Neutral);
}
