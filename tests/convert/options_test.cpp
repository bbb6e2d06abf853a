#include "convert/batch.h"
#include "convert/converter.h"
#include "convert/options.h"
#include "convert/worker.h"
#include "tests/fakes/fakes.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QStringList kVoices = {u"Flite English (United States) female slt"_s, u"Flite English (Scotland) male awb"_s,
                             u"eSpeak NG English (Great Britain)"_s, u"eSpeak NG German"_s};

ParsedOptions Parse(const QStringList &arguments, const MemorySettingsStore &store = MemorySettingsStore())
{
    return ParseOptions(QStringList{u"vocatext-convert"_s} + arguments, kVoices, store, u"/home/u/Desktop"_s, 4);
}

} // namespace

TEST(ConvertOptions, WhatTheCommandLineLeavesOpenComesFromTheWindowsSettings)
{
    // A first start of the window: its defaults.
    const ParsedOptions fresh = Parse({u"a.odt"_s});
    ASSERT_TRUE(fresh.options);
    EXPECT_EQ(fresh.options->inputs, QStringList{u"a.odt"_s});
    EXPECT_TRUE(fresh.options->intoFolder);
    EXPECT_FALSE(fresh.options->beside);
    EXPECT_EQ(fresh.options->folder, u"/home/u/Desktop/"_s);
    EXPECT_EQ(fresh.options->voice, 1);
    EXPECT_EQ(fresh.options->rate, -3);
    EXPECT_EQ(fresh.options->volume, 100);
    EXPECT_EQ(fresh.options->jobs, 4);

    MemorySettingsStore store;
    store.values = {{u"Option1"_s, u"False"_s}, {u"Option2"_s, u"True"_s}, {u"Text1"_s, u"/audio"_s},
                    {u"Combo"_s, u"2"_s}, {u"Speech Rate"_s, u"5"_s}, {u"Volume Level"_s, u"40"_s}};
    const ParsedOptions stored = Parse({u"a.odt"_s}, store);
    ASSERT_TRUE(stored.options);
    EXPECT_FALSE(stored.options->intoFolder);
    EXPECT_TRUE(stored.options->beside);
    EXPECT_EQ(stored.options->voice, 3);
    EXPECT_EQ(stored.options->rate, 5);
    EXPECT_EQ(stored.options->volume, 40);
    EXPECT_TRUE(store.writes.isEmpty()) << "the converter never writes the store";

    // A voice that is gone leaves nothing chosen, as in the window.
    store.values = {{u"Combo"_s, u"9"_s}};
    EXPECT_EQ(Parse({u"a.odt"_s}, store).options->voice, 0);

    // A stored value that the window would refuse at start-up is named, unless the command
    // line decides instead; never is some other value taken for it.
    const QList<std::pair<QString, QString>> garbage = {
        {u"Volume Level"_s, u"--volume"_s}, {u"Speech Rate"_s, u"--rate"_s}, {u"Option1"_s, u"--beside"_s}};
    for (const auto &[key, option] : garbage) {
        store.values = {{key, key == u"Option1"_s ? u"maybe"_s : u"150"_s}};
        const ParsedOptions refused = Parse({u"a.odt"_s}, store);
        EXPECT_FALSE(refused.options) << key.toStdString();
        EXPECT_TRUE(refused.usageError.contains(u'"' + key + u"\" holds \""_s)) << refused.usageError.toStdString();
        EXPECT_TRUE(refused.usageError.contains(option)) << refused.usageError.toStdString();
        const QString value = option == u"--beside"_s ? QString() : u"50"_s;
        EXPECT_TRUE(Parse(value.isEmpty() ? QStringList{option, u"a.odt"_s} : QStringList{option, u"5"_s, u"a.odt"_s},
                          store)
                        .options)
            << key.toStdString();
    }
}

TEST(ConvertOptions, TheCommandLineDecides)
{
    const ParsedOptions parsed = Parse({u"--out"_s, u"/mp3"_s, u"--voice"_s, u"german"_s, u"--rate"_s, u"-10"_s,
                                        u"--volume"_s, u"0"_s, u"-j"_s, u"3"_s, u"--skip-unchanged"_s, u"--quiet"_s,
                                        u"--missing"_s, u"a.odt"_s, u"folder"_s});
    ASSERT_TRUE(parsed.options) << parsed.usageError.toStdString();
    EXPECT_EQ(parsed.options->folder, u"/mp3"_s);
    EXPECT_TRUE(parsed.options->intoFolder);
    EXPECT_EQ(parsed.options->voice, 4);
    EXPECT_EQ(parsed.options->rate, -10);
    EXPECT_EQ(parsed.options->volume, 0);
    EXPECT_EQ(parsed.options->jobs, 3);
    EXPECT_TRUE(parsed.options->skipUnchanged);
    EXPECT_TRUE(parsed.options->quiet);
    EXPECT_TRUE(parsed.options->missing);
    EXPECT_EQ(parsed.options->inputs, (QStringList{u"a.odt"_s, u"folder"_s}));
    EXPECT_TRUE(parsed.options->types.isEmpty()) << "every type that is read";

    const ParsedOptions text = Parse({u"--format"_s, u"TXT"_s, u"--types"_s, u"odt, .DOCX,epub"_s, u"x"_s});
    ASSERT_TRUE(text.options) << text.usageError.toStdString();
    EXPECT_EQ(text.options->format, OutputFormat::Txt);
    EXPECT_EQ(FormatExtension(text.options->format), u"txt"_s);
    EXPECT_EQ(text.options->types, (QStringList{u"odt"_s, u"docx"_s, u"epub"_s}));

    EXPECT_EQ(Parse({u"--voice"_s, u"2"_s, u"x"_s}).options->voice, 2); // a position
    EXPECT_EQ(Parse({u"--voice"_s, u"ENGLISH"_s, u"x"_s}).options->voice, 1); // the first that matches
    EXPECT_EQ(Parse({u"-j2"_s, u"x"_s}).options->jobs, 2);
    const ParsedOptions beside = Parse({u"--beside"_s, u"x"_s});
    EXPECT_TRUE(beside.options->beside);
    EXPECT_FALSE(beside.options->intoFolder);

    // An MP3 with its tags and chapters, unless asked otherwise.
    EXPECT_EQ(parsed.options->format, OutputFormat::Mp3);
    EXPECT_TRUE(parsed.options->tags && parsed.options->chapters);
    const ParsedOptions book = Parse({u"--format"_s, u"M4B"_s, u"--no-tags"_s, u"--no-chapters"_s, u"x"_s});
    ASSERT_TRUE(book.options);
    EXPECT_EQ(book.options->format, OutputFormat::M4b);
    EXPECT_FALSE(book.options->tags || book.options->chapters);
    // Without ffmpeg there is no audiobook, and the words say which package to install.
    EXPECT_EQ(Converter::AudiobookMakerProblem(u"/nonexistent/ffmpeg"_s),
              u"--format m4b needs ffmpeg, which is not installed (/nonexistent/ffmpeg is missing); install it "
              u"with: apt-get install ffmpeg"_s);
}

TEST(ConvertOptions, UsageErrorsSayWhatIsWrongWithAHint)
{
    for (const QStringList &wrong :
         {QStringList{u"--rate"_s, u"11"_s, u"x"_s}, QStringList{u"--rate"_s, u"fast"_s, u"x"_s},
          QStringList{u"--volume"_s, u"-1"_s, u"x"_s}, QStringList{u"-j"_s, u"0"_s, u"x"_s},
          QStringList{u"--voice"_s, u"klingon"_s, u"x"_s}, QStringList{u"--voice"_s, u"5"_s, u"x"_s},
          QStringList{u"--out"_s, u"/a"_s, u"--beside"_s, u"x"_s}, QStringList{u"--bogus"_s, u"x"_s},
          QStringList{u"--format"_s, u"ogg"_s, u"x"_s}, QStringList{u"--types"_s, u"odt,exe"_s, u"x"_s},
          QStringList{u"--types"_s, u","_s, u"x"_s}, QStringList{}}) {
        const ParsedOptions parsed = Parse(wrong);
        EXPECT_FALSE(parsed.options) << wrong.join(u' ').toStdString();
        EXPECT_TRUE(parsed.usageError.endsWith(u"Try 'vocatext-convert --help' for more information."_s));
    }
    EXPECT_TRUE(Parse({u"--voice"_s, u"klingon"_s, u"x"_s}).usageError.startsWith(u"No such voice: klingon"_s));
    EXPECT_TRUE(Parse({u"--help"_s}).output.contains(u"--skip-unchanged"_s));
    EXPECT_TRUE(Parse({u"--version"_s}).output.startsWith(u"vocatext-convert "_s));
    EXPECT_TRUE(Parse({u"--list-voices"_s}).options->listVoices);
    EXPECT_EQ(VoiceListing(kVoices.mid(0, 2)),
              u"   1  Flite English (United States) female slt\n   2  Flite English (Scotland) male awb\n"_s);
}

TEST(ConvertOptions, AShardComesFromTheCommandLineOrTheSlurmArrayAndAllShardsTakeEachDocumentOnce)
{
    struct Case
    {
        QStringList arguments;
        QList<std::pair<const char *, const char *>> slurm; // SLURM_ARRAY_TASK_...
        int shard;                                          // -1: a usage error
        int shards;
    };
    const QList<Case> cases = {
        {{}, {}, 0, 1},
        {{u"--shard"_s, u"1/4"_s}, {}, 1, 4},
        {{u"--shard"_s, u"4/4"_s}, {}, 0, 4},
        {{u"--shard"_s, u"0/4"_s}, {}, 0, 4}, // a 0-based index (Kubernetes, HTCondor)
        {{u"--shard"_s, u"5/4"_s}, {}, -1, 0},
        {{u"--shard"_s, u"1/0"_s}, {}, -1, 0},
        {{u"--shard"_s, u"/4"_s}, {}, -1, 0},
        {{u"--shard"_s, u"2"_s}, {}, -1, 0},
        {{}, {{"ID", "3"}, {"COUNT", "4"}, {"MIN", "1"}}, 2, 4},           // --array=1-4
        {{}, {{"ID", "3"}, {"COUNT", "4"}, {"MIN", "0"}}, 3, 4},           // --array=0-3
        {{}, {{"ID", "12"}, {"COUNT", "4"}, {"MIN", "0"}, {"STEP", "4"}}, 3, 4}, // --array=0-15:4
        {{}, {{"ID", "13"}, {"COUNT", "4"}, {"MIN", "0"}, {"STEP", "4"}}, -1, 0},
        {{}, {{"ID", "9"}, {"COUNT", "3"}, {"MIN", "1"}}, -1, 0},          // --array=1,5,9
        {{}, {{"ID", "5"}, {"COUNT", "4"}, {"MIN", "1"}, {"MAX", "7"}, {"STEP", "1"}}, 2, 4}, // --array=1,3,5,7
        {{}, {{"ID", "3"}, {"COUNT", "4"}, {"MIN", "1"}, {"MAX", "7"}, {"STEP", "1"}}, 1, 4},
        {{}, {{"ID", "2"}, {"COUNT", "3"}, {"MIN", "1"}, {"MAX", "7"}}, -1, 0}, // --array=1,2,7: uneven
        {{}, {{"ID", "12"}, {"COUNT", "4"}, {"MIN", "0"}, {"MAX", "12"}, {"STEP", "4"}}, 3, 4},
        {{u"--shard"_s, u"1/1"_s}, {{"ID", "2"}, {"COUNT", "4"}}, 0, 1},   // the command line decides
        {{}, {{"COUNT", "4"}}, 0, 1},
    };
    for (const Case &c : cases) {
        for (const char *name : {"ID", "COUNT", "MIN", "MAX", "STEP"})
            qunsetenv((QByteArray("SLURM_ARRAY_TASK_") + name).constData());
        for (const auto &[name, value] : c.slurm)
            qputenv((QByteArray("SLURM_ARRAY_TASK_") + name).constData(), value);
        const ParsedOptions parsed = Parse(c.arguments + QStringList{u"x"_s});
        const std::string what = (c.arguments.join(u' ') + u" slurm "_s + QString::number(c.slurm.size())).toStdString();
        if (c.shard < 0) {
            EXPECT_FALSE(parsed.options) << what;
            EXPECT_TRUE(parsed.usageError.contains(u"K/N"_s)) << what;
            continue;
        }
        ASSERT_TRUE(parsed.options) << what << parsed.usageError.toStdString();
        EXPECT_EQ(parsed.options->shard, c.shard) << what;
        EXPECT_EQ(parsed.options->shards, c.shards) << what;
    }
    for (const char *name : {"ID", "COUNT", "MIN", "MAX", "STEP"})
        qunsetenv((QByteArray("SLURM_ARRAY_TASK_") + name).constData());

    // Twelve documents in any order, one given twice: four shards take three each, every
    // one once, by the order of their paths' characters whatever the order given.
    QStringList paths;
    for (int i = 12; i >= 1; --i)
        paths.append(u"/d/%1.odt"_s.arg(i, 2, 10, QLatin1Char('0')));
    paths.append(u"/d/05.odt"_s);
    QStringList all;
    for (int shard = 0; shard < 4; ++shard) {
        const QStringList mine = ShardPaths(paths, shard, 4);
        EXPECT_EQ(mine.size(), 3);
        all += mine;
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all.size(), 12);
    EXPECT_EQ(std::unique(all.begin(), all.end()), all.end());
    EXPECT_EQ(ShardPaths(paths, 1, 4), (QStringList{u"/d/01.odt"_s, u"/d/05.odt"_s, u"/d/09.odt"_s}));
    EXPECT_EQ(ShardPaths(paths, 0, 1).size(), 12);
}

TEST(ConvertOptions, AWorkersArgumentsAreCheckedAsTheOptionsAre)
{
    WorkerSetup setup;
    setup.locale = u"de_DE"_s;
    setup.choice = {3, 80, -2};
    setup.limits = {1050, 8};
    WorkerSetup back;
    ASSERT_TRUE(ParseWorkerArguments(WorkerArguments(setup), &back));
    EXPECT_FALSE(back.pieces);
    setup.pieces = PieceLimits{2048, 16384, 1049, 8};
    ASSERT_TRUE(ParseWorkerArguments(WorkerArguments(setup), &back));
    ASSERT_TRUE(back.pieces);
    EXPECT_EQ(back.pieces->maxCharacters, 16384);
    EXPECT_EQ(back.pieces->spacing, 8);
    EXPECT_EQ(back.locale, u"de_DE"_s);
    EXPECT_EQ(back.choice.voice, 3);
    EXPECT_EQ(back.choice.volume, 80);
    EXPECT_EQ(back.choice.rate, -2);
    EXPECT_EQ(back.limits.lines, 1050);
    EXPECT_EQ(back.limits.kilochars, 8);
    // The rate, the volume, the voice and the limits out of range, or no number at all.
    for (const int field : {1, 2, 3, 4, 5, 6}) {
        for (const QString &bad : {u"9999999"_s, u"-99"_s, u"x"_s, u""_s}) {
            QStringList arguments = WorkerArguments(setup);
            arguments[field] = bad;
            EXPECT_FALSE(ParseWorkerArguments(arguments, &back)) << field << ' ' << bad.toStdString();
        }
    }
    EXPECT_FALSE(ParseWorkerArguments(WorkerArguments(setup).mid(1), &back));
}
