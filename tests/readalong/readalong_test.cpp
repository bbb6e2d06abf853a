#include "readalong/cues.h"
#include "readalong/sentences.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QStringList Texts(QStringView text, const QList<TextSpan> &spans)
{
    QStringList texts;
    for (const TextSpan &span : spans)
        texts.append(text.mid(span.start, span.length).toString());
    return texts;
}

} // namespace

TEST(Sentences, FollowTheLanguageAndStayBoundedOnRunOnText)
{
    const QString text = u"Dr. Smith arrived at noon. He said e.g. this works!  Did it?\nYes"_s;
    EXPECT_EQ(Texts(text, Sentences(text, u"en_US"_s)),
              (QStringList{u"Dr. Smith arrived at noon."_s, u"He said e.g. this works!"_s, u"Did it?"_s, u"Yes"_s}));
    EXPECT_EQ(Texts(u"Ein Satz. Noch einer."_s, Sentences(u"Ein Satz. Noch einer."_s, u"no such language"_s)).size(), 2);
    EXPECT_TRUE(Sentences(u" \n\t "_s, u"en"_s).isEmpty());

    // Without a full stop: pieces of at most the limit, cut after a clause, in order.
    QString runOn;
    while (runOn.size() < 100'000)
        runOn += u"and the words went on, "_s;
    const QList<TextSpan> pieces = Sentences(runOn, u"en"_s);
    qsizetype shown = 0;
    for (qsizetype k = 0; k < pieces.size(); ++k) {
        ASSERT_LE(pieces[k].length, SentenceLimits::kMaxLength);
        ASSERT_EQ(runOn[pieces[k].end() - 1], u',') << k;
        if (k > 0) {
            ASSERT_EQ(pieces[k].start, pieces[k - 1].end() + 1);
        }
        shown += pieces[k].length;
    }
    EXPECT_EQ(shown + pieces.size(), runOn.size());

    // One word of 100 000 units: cut at the limit, never between the halves of a character.
    const QString word = u"\U0001F600"_s.repeated(50'000);
    const QList<TextSpan> cut = Sentences(word, u"en"_s);
    EXPECT_EQ(cut.size(), 50);
    for (const TextSpan &span : cut)
        ASSERT_FALSE(word[span.start].isLowSurrogate());

    EXPECT_EQ(Sentences(u"Go on. "_s.repeated(100'000), u"en"_s).size(), 100'000);
}

TEST(SubtitleCues, LongSentencesAreCutAtClausesInTimeAndInTwoLines)
{
    const QString longSentence = u"When the train finally pulled into the station after a journey of many hours, "
                                 "everyone on the platform cheered and waved their hats at the tired driver."_s;
    const QList<Cue> cues = SubtitleCues({
        {u"Short one."_s, 0, 1000},
        {longSentence, 1000, 7000},
        {u"Not heard."_s, 7000, 7000},
        {u"\x01Tab\tand\n\nline <b>"_s, 7000, 8000},
        {u"吾輩は猫である。"_s.repeated(15), 8000, 9000},
    });
    for (qsizetype k = 0; k < cues.size(); ++k) {
        ASSERT_GE(cues[k].lines.size(), 1);
        ASSERT_LE(cues[k].lines.size(), CueLimits::kMaxLines);
        for (const QString &line : cues[k].lines)
            ASSERT_LE(line.size(), CueLimits::kMaxLineLength) << line.toStdString();
        ASSERT_LT(cues[k].startMs, cues[k].endMs);
        if (k > 0) {
            ASSERT_LT(cues[k - 1].endMs, cues[k].startMs);
        }
    }
    ASSERT_GE(cues.size(), 6);
    EXPECT_EQ(cues[0], (Cue{{u"Short one."_s}, 0, 999}));
    EXPECT_EQ(cues[1].lines, (QStringList{u"When the train finally pulled into the"_s,
                                          u"station after a journey of many hours,"_s}));
    EXPECT_EQ(cues[1].startMs, 1000);
    EXPECT_EQ(cues[1].endMs, 1000 + 6000 * 77 / 151 - 1) << "in proportion to the characters, before the next";
    EXPECT_EQ(cues[2].lines.join(u' '), u"everyone on the platform cheered and waved their hats at the tired driver."_s);
    EXPECT_EQ(cues[2].endMs, 6999);
    EXPECT_EQ(cues[3], (Cue{{u"Tab and line <b>"_s}, 7000, 7999}));
    QString japanese;
    for (qsizetype k = 4; k < cues.size(); ++k)
        japanese += cues[k].lines.join(QString());
    EXPECT_EQ(japanese, u"吾輩は猫である。"_s.repeated(15));
    EXPECT_EQ(cues.last().endMs, 9000);

    const QList<Cue> written = {{{u"One"_s}, 0, 1500}, {{u"Two é"_s, u"lines"_s}, 3'723'004, 3'725'999}};
    EXPECT_EQ(SrtText(written), QByteArray("1\n00:00:00,000 --> 00:00:01,500\nOne\n\n"
                                           "2\n01:02:03,004 --> 01:02:05,999\nTwo \xC3\xA9\nlines\n\n"));
    EXPECT_EQ(LrcText(written, u"The\ntitle"_s, u"Voice"_s),
              QByteArray("[ti:The title]\n[ar:Voice]\n[00:00.00]One\n[62:03.00]Two \xC3\xA9 lines\n"));
}
