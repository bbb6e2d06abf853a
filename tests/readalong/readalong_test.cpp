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
