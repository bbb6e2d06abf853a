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

TEST(ExtractDocumentText, WritesTheBodyInTheCodePageReplacingTheOldFile)
{
    QTemporaryDir temp;
    FakeWorkingFolder working;
    working.path = temp.path();
    WriteBytes(temp.filePath(u"output.txt"_s), QByteArray(100000, 'x'));
    OdtReader reader;
    EXPECT_EQ(ExtractDocumentText(reader, WorkingPath(working, u"output.txt"_s), TestDataPath(u"paragraphs.odt"_s)), QString());
    const QByteArray bytes = ReadBytes(temp.filePath(u"output.txt"_s));
    EXPECT_TRUE(bytes.startsWith("A Heading\nFirst paragraph.\n\nLeading spaces,"));
    EXPECT_TRUE(bytes.contains("Soft\xadhyphen, no-break space, emoji ?, caf\xe9, ?mega, \x80 5 \x97 \x93quotes\x94."));
    EXPECT_TRUE(bytes.endsWith("\nLast paragraph.")); // nothing added
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
    EXPECT_EQ(ReadBytes(temp.filePath(u"output.txt"_s)), QByteArray("a?b"));
}
