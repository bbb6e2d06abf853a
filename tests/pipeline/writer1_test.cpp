#include "common/runtimeerror.h"
#include "documents/odtreader.h"
#include "pipeline/writer1.h"
#include "api/documentreader.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(ExtractDocumentText, WritesTheBodyInTheCodePageOrElseAsUtf8ReplacingTheOldFile)
{
    QTemporaryDir temp;
    FakeWorkingFolder working;
    working.path = temp.path();
    WriteBytes(temp.filePath(u"output.txt"_s), QByteArray(100000, 'x'));
    OdtReader reader;
    EXPECT_EQ(ExtractDocumentText(reader, WorkingPath(working, u"output.txt"_s), TestDataPath(u"paragraphs.odt"_s)), QString());
    // An emoji and a Greek letter: the whole text, the part before them too, as UTF-8.
    const QByteArray bytes = ReadBytes(temp.filePath(u"output.txt"_s));
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF" "A Heading\nFirst paragraph.\n\nLeading spaces,"));
    EXPECT_TRUE(QString::fromUtf8(bytes).contains(
        u"Soft\u00adhyphen, no-break space, emoji \U0001F600, caf\u00e9, \u03a9mega, \u20ac 5 \u2014 \u201cquotes\u201d."_s));
    EXPECT_TRUE(bytes.endsWith("\nLast paragraph.")); // nothing added
    // A text that the code page holds stays in it, byte for byte.
    ExtractDocumentText(reader, WorkingPath(working, u"output.txt"_s), TestDataPath(u"lists.odt"_s));
    EXPECT_FALSE(ReadBytes(temp.filePath(u"output.txt"_s)).startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(QFileInfo(temp.filePath(u"output.txt"_s)).permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);

    // A link planted at the name is replaced, its target left alone.
    QTemporaryDir elsewhere;
    WriteBytes(elsewhere.filePath(u"victim"_s), "precious");
    QFile::remove(temp.filePath(u"output.txt"_s));
    ASSERT_TRUE(QFile::link(elsewhere.filePath(u"victim"_s), temp.filePath(u"output.txt"_s)));
    ExtractDocumentText(reader, WorkingPath(working, u"output.txt"_s), TestDataPath(u"paragraphs.odt"_s));
    EXPECT_EQ(ReadBytes(elsewhere.filePath(u"victim"_s)), QByteArray("precious"));
    EXPECT_FALSE(QFileInfo(temp.filePath(u"output.txt"_s)).isSymLink());
}

TEST(ExtractDocumentText, AnUnreadableDocumentLeavesNoTextFile)
{
    QTemporaryDir temp;
    FakeWorkingFolder working;
    working.path = temp.path();
    const QByteArray whole = ReadBytes(TestDataPath(u"paragraphs.odt"_s));
    const QString broken = temp.filePath(u"broken.odt"_s);
    // A package whose content.xml breaks off in the middle of the body.
    WriteZip(broken, {{u"content.xml"_s, ContentXml("<text:p>First paragraph.</text:p><text:p>Second")}});
    OdtReader reader;
    EXPECT_THROW(ExtractDocumentText(reader, WorkingPath(working, u"output.txt"_s), broken), RuntimeError);
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files), QStringList{u"broken.odt"_s});

    WriteBytes(temp.filePath(u"output.txt"_s), "stale text of the previous document");
    EXPECT_THROW(ExtractDocumentText(reader, WorkingPath(working, u"output.txt"_s), temp.filePath(u"missing.odt"_s)), RuntimeError);
    EXPECT_EQ(ReadBytes(temp.filePath(u"output.txt"_s)), QByteArray("stale text of the previous document"));
}

// A reader that hands out a surrogate pair split across two pieces.
class SplitPairReader final : public IDocumentReader
{
public:
    void ReadBodyText(const QString &, const TextSink &sink, DocumentFacts *) override
    {
        const QString text = u"a\U0001F600b"_s;
        sink(QStringView(text).left(2));
        sink(QStringView(text).mid(2));
    }
};

TEST(ExtractDocumentText, ASurrogatePairSplitBetweenPiecesIsOneCharacter)
{
    QTemporaryDir temp;
    FakeWorkingFolder working;
    working.path = temp.path();
    SplitPairReader reader;
    ExtractDocumentText(reader, WorkingPath(working, u"output.txt"_s), u"any"_s);
    EXPECT_EQ(ReadBytes(temp.filePath(u"output.txt"_s)), QByteArray("\xEF\xBB\xBF" "a\xF0\x9F\x98\x80" "b"));
}
