#include "common/codepage.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(CodePage, EveryByteRoundTrips)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const QString text = CodePage::Decode(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(CodePage::Encode(text), all);
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(CodePage::Asc(text[b].unicode()), b);
        EXPECT_EQ(CodePage::Chr(b), text[b]);
    }
}

TEST(CodePage, Windows1252CharactersAndUnrepresentableOnes)
{
    EXPECT_EQ(CodePage::Encode(u"\u20ac\u2019\u00e9\u00a0"_s), QByteArray("\x80\x92\xe9\xa0"));
    // One "?" per character outside the code page, also for a surrogate pair.
    EXPECT_EQ(CodePage::Encode(u"a\u4e2db\U0001F600c"_s), QByteArray("a?b?c"));
    EXPECT_EQ(CodePage::Asc(U'\u4e2d'), 63);
    EXPECT_EQ(CodePage::Asc(U'?'), 63);
    EXPECT_EQ(CodePage::Decode("\x93hi\x94"), u"\u201chi\u201d"_s);
}
