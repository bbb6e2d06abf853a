#include "tools/batch.h"
#include "tests/testutil.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct Errors
{
    QStringList lines;
    std::function<void(const QString &)> Sink()
    {
        return [this](const QString &line) { lines.append(line); };
    }
};

} // namespace

TEST(Batch, CopyWritesTheSourcesInOrderOverTheDestination)
{
    QTemporaryDir dir;
    WriteBytes(dir.filePath(u"a b.mp3"_s), "AAA");
    WriteBytes(dir.filePath(u"b.mp3"_s), "BB");
    WriteBytes(dir.filePath(u"out.mp3"_s), "an older, longer output file");
    const QString bat = dir.filePath(u"JoinMP3.bat"_s);
    WriteBytes(bat, (u"copy /y \""_s + dir.filePath(u"a b.mp3"_s) + u"\" /b + \""_s + dir.filePath(u"b.mp3"_s)
                     + u"\" /b \""_s + dir.filePath(u"out.mp3"_s) + u"\"\r\n"_s)
                        .toUtf8());
    Errors errors;
    EXPECT_EQ(RunBatchFile(bat, errors.Sink()), 0);
    EXPECT_EQ(ReadBytes(dir.filePath(u"out.mp3"_s)), QByteArray("AAABB"));
    EXPECT_TRUE(errors.lines.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 4); // no temporary file left
}

TEST(Batch, AMissingSourceIsReportedLeftOutAndFailsTheLine)
{
    QTemporaryDir dir;
    WriteBytes(dir.filePath(u"1.mp3"_s), "one");
    WriteBytes(dir.filePath(u"3.mp3"_s), "three");
    Errors errors;
    const QString line = u"copy /y \"%1\" /b + \"%2\" /b + \"%3\" /b \"%4\""_s.arg(
        dir.filePath(u"1.mp3"_s), dir.filePath(u"2.mp3"_s), dir.filePath(u"3.mp3"_s), dir.filePath(u"o.mp3"_s));
    EXPECT_EQ(RunBatchLine(line, errors.Sink()), 1);
    EXPECT_EQ(ReadBytes(dir.filePath(u"o.mp3"_s)), QByteArray("onethree"));
    EXPECT_EQ(errors.lines, QStringList{u"The system cannot find the file specified: "_s + dir.filePath(u"2.mp3"_s)});

    // With no source at all, nothing is written.
    EXPECT_EQ(RunBatchLine(u"copy /y \"/no/such\" /b \""_s + dir.filePath(u"none.mp3"_s) + u'"', errors.Sink()), 1);
    EXPECT_FALSE(QFile::exists(dir.filePath(u"none.mp3"_s)));
}

TEST(Batch, UnknownCommandsFail)
{
    Errors errors;
    EXPECT_EQ(RunBatchLine(u"del /q \"x\""_s, errors.Sink()), 1);
    EXPECT_EQ(errors.lines, QStringList{u"'del' is not recognized as a command"_s});
    EXPECT_EQ(RunBatchLine(u"copy /y \"only-one\""_s, errors.Sink()), 1);
}

TEST(Batch, NamesWithQuotesNewlinesAndCharactersOutsideTheCodePage)
{
    QTemporaryDir dir;
    const QString odd = dir.filePath(u"say \"hi\"\nthere \u65e5\u672c.mp3"_s);
    WriteBytes(dir.filePath(u"s.mp3"_s), "S");
    QString escaped = odd;
    escaped.replace(u"\""_s, u"\"\"\""_s);
    const QString text = u"copy /y \""_s + dir.filePath(u"s.mp3"_s) + u"\" /b \""_s + escaped + u"\"\r\n"_s;
    WriteBytes(dir.filePath(u"j.bat"_s), "\xEF\xBB\xBF" + text.toUtf8());
    Errors errors;
    EXPECT_EQ(RunBatchFile(dir.filePath(u"j.bat"_s), errors.Sink()), 0) << errors.lines.join(u'\n').toStdString();
    EXPECT_EQ(ReadBytes(odd), QByteArray("S"));
    EXPECT_EQ(BatchLines("a\r\nb\r\n\r\n\"c\r\nd\"\r\n").size(), 3);
}
