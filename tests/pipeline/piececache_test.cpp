#include "pipeline/piececache.h"
#include "tests/testutil.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

// An entry is found whole or not at all: a cut, damaged or planted one is removed, never
// used; the cache trims what was used longest ago and nothing but its own entries.
TEST(PieceCache, KeepsWholeEntriesAndThrowsAwayWhatFailsItsDigest)
{
    QTemporaryDir dir;
    const QString audio = dir.filePath(u"piece.mp3"_s);
    WriteBytes(audio, QByteArray(1000, 'a'));
    PieceCache cache(dir.filePath(u"cache"_s), 2500);
    ASSERT_TRUE(cache.Serves());
    EXPECT_EQ(QFile::permissions(dir.filePath(u"cache"_s)), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                                 | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    const QByteArray key = PieceCache::Key({u"voice"_s, u"rate 0"_s}, "some words\n");
    EXPECT_NE(key, PieceCache::Key({u"voice"_s, u"rate 1"_s}, "some words\n"));
    EXPECT_FALSE(cache.Find(key));
    ASSERT_TRUE(cache.Keep(key, audio, {{0, 500}, 1.5, {}}));
    const auto found = cache.Find(key);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->audio, QByteArray(1000, 'a'));
    EXPECT_EQ(found->spoken.lineStarts, (QList<qint64>{0, 500}));
    EXPECT_EQ(found->spoken.seconds, 1.5);

    // One byte changed, or the entry cut short: gone, and never taken for the piece.
    const QString entry = dir.filePath(u"cache/pieces-1/"_s + QString::fromLatin1(key.left(2)) + u'/'
                                       + QString::fromLatin1(key));
    QByteArray bytes = ReadBytes(entry);
    bytes[bytes.size() - 1] = 'b';
    WriteBytes(entry, bytes);
    EXPECT_FALSE(cache.Find(key));
    EXPECT_FALSE(QFile::exists(entry));
    ASSERT_TRUE(cache.Keep(key, audio, {}));
    WriteBytes(entry, ReadBytes(entry).chopped(10));
    EXPECT_FALSE(cache.Find(key));

    // Three entries of about 1 KB over a limit of 2.5 KB: the one used longest ago goes;
    // a file of the user's in the cache's folder stays.
    WriteBytes(dir.filePath(u"cache/pieces-1/notes.txt"_s), "mine");
    QList<QByteArray> keys;
    for (int i = 0; i < 3; ++i) {
        keys.append(PieceCache::Key({QString::number(i)}, "w"));
        ASSERT_TRUE(cache.Keep(keys.last(), audio, {}));
        QFile(dir.filePath(u"cache/pieces-1/"_s + QString::fromLatin1(keys.last().left(2)) + u'/'
                           + QString::fromLatin1(keys.last())))
            .setFileTime(QDateTime::currentDateTime().addSecs(i * 10), QFileDevice::FileModificationTime);
    }
    cache.Trim();
    EXPECT_FALSE(cache.Find(keys[0]));
    EXPECT_TRUE(cache.Find(keys[1]) && cache.Find(keys[2]));
    EXPECT_TRUE(QFile::exists(dir.filePath(u"cache/pieces-1/notes.txt"_s)));

    // A link where the cache would be: nothing is kept, and the words say why.
    ASSERT_TRUE(QFile::link(dir.path(), dir.filePath(u"linked"_s)));
    PieceCache linked(dir.filePath(u"linked"_s), 1 << 20);
    EXPECT_FALSE(linked.Serves());
    EXPECT_TRUE(linked.Problem().contains(u"is not a folder"_s)) << linked.Problem().toStdString();
    EXPECT_FALSE(linked.Keep(key, audio, {}));
}
