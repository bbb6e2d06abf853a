#include "convert/options.h"
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
                                        u"a.odt"_s, u"folder"_s});
    ASSERT_TRUE(parsed.options) << parsed.usageError.toStdString();
    EXPECT_EQ(parsed.options->folder, u"/mp3"_s);
    EXPECT_TRUE(parsed.options->intoFolder);
    EXPECT_EQ(parsed.options->voice, 4);
    EXPECT_EQ(parsed.options->rate, -10);
    EXPECT_EQ(parsed.options->volume, 0);
    EXPECT_EQ(parsed.options->jobs, 3);
    EXPECT_TRUE(parsed.options->skipUnchanged);
    EXPECT_TRUE(parsed.options->quiet);
    EXPECT_EQ(parsed.options->inputs, (QStringList{u"a.odt"_s, u"folder"_s}));
    EXPECT_EQ(parsed.options->format, OutputFormat::Mp3);
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
}

TEST(ConvertOptions, UsageErrorsSayWhatIsWrongWithAHint)
{
    for (const QStringList &wrong :
         {QStringList{u"--rate"_s, u"11"_s, u"x"_s}, QStringList{u"--rate"_s, u"fast"_s, u"x"_s},
          QStringList{u"--volume"_s, u"-1"_s, u"x"_s}, QStringList{u"-j"_s, u"0"_s, u"x"_s},
          QStringList{u"--voice"_s, u"klingon"_s, u"x"_s}, QStringList{u"--voice"_s, u"5"_s, u"x"_s},
          QStringList{u"--out"_s, u"/a"_s, u"--beside"_s, u"x"_s}, QStringList{u"--bogus"_s, u"x"_s},
          QStringList{u"--format"_s, u"wav"_s, u"x"_s}, QStringList{u"--types"_s, u"odt,exe"_s, u"x"_s},
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
