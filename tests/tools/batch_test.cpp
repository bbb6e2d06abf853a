#include "tools/batch.h"
#include "tests/testutil.h"

#include <QDir>
#include <QFileInfo>
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
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 4); // no temporary file left
}

TEST(Batch, AMissingSourceIsReportedLeftOutAndFailsTheLine)
{
    QTemporaryDir dir;
    WriteBytes(dir.filePath(u"1.mp3"_s), "one");
    WriteBytes(dir.filePath(u"3.mp3"_s), "three");
    Errors errors;
    const QString line = u"copy /y \"%1\" /b + \"%2\" /b + \"%3\" /b \"%4\""_s.arg(
        dir.filePath(u"1.mp3"_s), dir.filePath(u"2.mp3"_s), dir.filePath(u"3.mp3"_s), dir.filePath(u"o.mp3"_s));
    EXPECT_EQ(RunBatchLine(ParseBatch(line).value(0), errors.Sink()), 1);
    EXPECT_EQ(ReadBytes(dir.filePath(u"o.mp3"_s)), QByteArray("onethree"));
    EXPECT_EQ(errors.lines, QStringList{u"The system cannot find the file specified: "_s + dir.filePath(u"2.mp3"_s)});

    // With no source at all, nothing is written.
    EXPECT_EQ(RunBatchLine(ParseBatch(u"copy /y \"/no/such\" /b \""_s + dir.filePath(u"none.mp3"_s) + u'"').value(0),
                           errors.Sink()),
              1);
    EXPECT_FALSE(QFile::exists(dir.filePath(u"none.mp3"_s)));
}

TEST(Batch, UnknownCommandsFail)
{
    Errors errors;
    EXPECT_EQ(RunBatchLine(ParseBatch(u"del /q \"x\""_s).value(0), errors.Sink()), 1);
    EXPECT_EQ(errors.lines, QStringList{u"'del' is not recognized as a command"_s});
    EXPECT_EQ(RunBatchLine(ParseBatch(u"copy /y \"only-one\""_s).value(0), errors.Sink()), 1);
    // The command's name is taken whatever its letter case.
    QTemporaryDir dir;
    WriteBytes(dir.filePath(u"s"_s), "S");
    EXPECT_EQ(RunBatchLine(ParseBatch(u"COPY /Y \""_s + dir.filePath(u"s"_s) + u"\" /B \""_s + dir.filePath(u"d"_s) + u'"')
                               .value(0),
                           errors.Sink()),
              0);
    EXPECT_EQ(ReadBytes(dir.filePath(u"d"_s)), QByteArray("S"));
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
    EXPECT_EQ(ParseBatchFile("a\r\nb\r\n\r\n\"c\r\nd\"\r\n").size(), 3);
}

TEST(Batch, QuotedWordsArePathsAndBareOnesSwitchesInOnePass)
{
    // Paths that begin with /b and /y, with blanks, quotes, line feeds and "+" in them.
    const QString a = u"/backup/audio/a \" b.mp3"_s;
    const QString b = u"/y\n+ /b.mp3"_s;
    QString qa = a;
    QString qb = b;
    qa.replace(u"\""_s, u"\"\"\""_s);
    qb.replace(u"\""_s, u"\"\"\""_s);
    const QList<BatchLine> lines = ParseBatch(u"copy /y \""_s + qa + u"\" /b + \""_s + qb + u"\" /b \"/bigdata/o\"\"\".mp3\"\r\n"_s
                                              + u"copy /y \"/b\" /b \"/y\"\r\n"_s);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], (BatchLine{{u"copy"_s, false}, {u"/y"_s, false}, {a, true}, {u"/b"_s, false}, {u"+"_s, false},
                                   {b, true}, {u"/b"_s, false}, {u"/bigdata/o\".mp3"_s, true}}));
    EXPECT_EQ(lines[1], (BatchLine{{u"copy"_s, false}, {u"/y"_s, false}, {u"/b"_s, true}, {u"/b"_s, false},
                                   {u"/y"_s, true}}));
    // A quote at the start and at the end of a path, and two in a row.
    EXPECT_EQ(ParseBatch(u"\"\"\"\"x\" \"x\"\"\"\" \"a\"\"\"\"\"\"b\""_s).value(0),
              (BatchLine{{u"\"x"_s, true}, {u"x\""_s, true}, {u"a\"\"b"_s, true}}));
}

TEST(Batch, FoldersThatBeginWithTheSwitchLettersAreJoined)
{
    QTemporaryDir root;
    for (const QString &folder : {u"/b"_s, u"/y"_s, u"/backup \"audio\""_s}) {
        QDir(root.path()).mkpath(root.path() + folder);
    }
    // The paths as the run writes them: each in quotes, a quote written as three.
    auto quoted = [](QString path) { return u'"' + path.replace(u"\""_s, u"\"\"\""_s) + u'"'; };
    const QString s1 = root.path() + u"/b/output001.mp3"_s;
    const QString s2 = root.path() + u"/y/output002.mp3"_s;
    const QString target = root.path() + u"/backup \"audio\"/report\nnew.mp3"_s;
    WriteBytes(s1, "one");
    WriteBytes(s2, "two");
    const QString bat = root.filePath(u"JoinMP3.bat"_s);
    WriteBytes(bat, "\xEF\xBB\xBF" + (u"copy /y "_s + quoted(s1) + u" /b + "_s + quoted(s2) + u" /b "_s + quoted(target)
                                     + u"\r\n"_s)
                                        .toUtf8());
    Errors errors;
    EXPECT_EQ(RunBatchFile(bat, errors.Sink()), 0) << errors.lines.join(u'\n').toStdString();
    EXPECT_EQ(ReadBytes(target), QByteArray("onetwo"));
}

TEST(Batch, ADestinationThatIsNoFileIsNeverReplacedAndALinkIsReplacedItself)
{
    QTemporaryDir dir;
    WriteBytes(dir.filePath(u"s"_s), "S");
    QDir(dir.path()).mkdir(u"folder"_s);
    Errors errors;
    auto copyTo = [&](const QString &target) {
        return RunBatchLine(ParseBatch(u"copy /y \""_s + dir.filePath(u"s"_s) + u"\" /b \""_s + target + u'"').value(0),
                            errors.Sink());
    };
    EXPECT_EQ(copyTo(dir.filePath(u"folder"_s)), 1);
    EXPECT_TRUE(QFileInfo(dir.filePath(u"folder"_s)).isDir());
    EXPECT_EQ(copyTo(u"/dev/null"_s), 1);
    EXPECT_EQ(errors.lines.last(), u"The destination is not a regular file: /dev/null"_s);
    EXPECT_TRUE(QFileInfo(u"/dev/null"_s).exists() && !QFileInfo(u"/dev/null"_s).isFile());

    QTemporaryDir elsewhere;
    WriteBytes(elsewhere.filePath(u"victim"_s), "precious");
    ASSERT_TRUE(QFile::link(elsewhere.filePath(u"victim"_s), dir.filePath(u"link.mp3"_s)));
    EXPECT_EQ(copyTo(dir.filePath(u"link.mp3"_s)), 0);
    EXPECT_EQ(ReadBytes(elsewhere.filePath(u"victim"_s)), QByteArray("precious"));
    EXPECT_FALSE(QFileInfo(dir.filePath(u"link.mp3"_s)).isSymLink());
    EXPECT_EQ(ReadBytes(dir.filePath(u"link.mp3"_s)), QByteArray("S"));
}

TEST(Batch, ANulInANameOrAnUnclosedQuoteWritesNothing)
{
    QTemporaryDir dir;
    WriteBytes(dir.filePath(u"a.mp3"_s), "AAA");
    WriteBytes(dir.filePath(u"o.mp3"_s), "the older one");
    const QString a = dir.filePath(u"a.mp3"_s);
    const QString o = dir.filePath(u"o.mp3"_s);
    // "o.mp3\0x" would reach the file system as o.mp3; a last quote left open takes the
    // line's end for a name.
    for (const QString &line : {u"copy /y \""_s + a + u"\" /b \""_s + o + QChar(0) + u"x\""_s,
                                u"copy /y \""_s + a + u"\" /b \""_s + o}) {
        Errors errors;
        EXPECT_EQ(RunBatchLine(ParseBatch(line).value(0), errors.Sink()), 1);
        EXPECT_EQ(errors.lines, QStringList{u"The syntax of the command is incorrect."_s});
    }
    EXPECT_EQ(ReadBytes(o), QByteArray("the older one"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    EXPECT_TRUE(ParseBatch(u"copy \"a"_s).value(0).value(1).unclosed);
}
