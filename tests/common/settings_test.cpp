#include "common/runtimeerror.h"
#include "common/settings.h"
#include "system/inisettingsstore.h"
#include "tests/testutil.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>


using namespace Qt::StringLiterals;

TEST(SettingConversions, NumbersAreDecimalWithHalvesToEven)
{
    EXPECT_EQ(SettingToWholeNumber(u"2.5"_s), 2);
    EXPECT_EQ(SettingToWholeNumber(u"3.5"_s), 4);
    EXPECT_EQ(SettingToWholeNumber(u"-2.5"_s), -2);
    EXPECT_EQ(SettingToWholeNumber(u"-3"_s), -3);
    EXPECT_EQ(SettingToWholeNumber(u" 12abc"_s), 12);
    EXPECT_EQ(SettingToWholeNumber(u"abc"_s), 0);
    EXPECT_EQ(SettingToWholeNumber(QString()), 0);
    EXPECT_EQ(SettingToWholeNumber(u"1e2"_s), 100);
    EXPECT_EQ(SettingToWholeNumber(u".5"_s), 0);
    EXPECT_EQ(SettingToWholeNumber(u"\u0661\u0662"_s), 0); // only ASCII digits count
    EXPECT_THROW(SettingToNumber(u"1e999"_s), RuntimeError);
}

TEST(SettingConversions, BooleansAcceptWordsInAnyCaseAndNumbers)
{
    EXPECT_TRUE(SettingToBoolean(u"True"_s));
    EXPECT_TRUE(SettingToBoolean(u"tRUE"_s));
    EXPECT_FALSE(SettingToBoolean(u"false"_s));
    EXPECT_FALSE(SettingToBoolean(u"0"_s));
    EXPECT_TRUE(SettingToBoolean(u"-1"_s));
    EXPECT_TRUE(SettingToBoolean(u"2.5"_s));
    for (const QString &bad : {u"abc"_s, u""_s, u"yes"_s, u"1x"_s}) {
        try {
            SettingToBoolean(bad);
            ADD_FAILURE() << "accepted " << bad.toStdString();
        } catch (const RuntimeError &e) {
            EXPECT_EQ(e.description(), u"Type mismatch"_s);
            EXPECT_EQ(e.number(), ErrorNumber::TypeMismatch);
        }
    }
    EXPECT_EQ(BooleanToSetting(true), u"True"_s);
    EXPECT_EQ(BooleanToSetting(false), u"False"_s);
}

TEST(IniSettingsStore, ValuesAreOnDiskWhenTheWriteReturns)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"Vocatext.ini"_s);
    {
        IniSettingsStore store(file);
        EXPECT_EQ(ReadSetting(store, u"Speech Rate"_s, -3), u"-3"_s);
        WriteSetting(store, u"Speech Rate"_s, u"5"_s);
        WriteSetting(store, u"Text1"_s, u"/home/u/My, Docs/"_s);
        EXPECT_TRUE(ReadBytes(file).contains("[Vocatext]"));
        IniSettingsStore other(file); // a second reader sees the value at once
        EXPECT_EQ(ReadSetting(other, u"Speech Rate"_s), u"5"_s);
    }
    IniSettingsStore store(file);
    EXPECT_EQ(ReadSetting(store, u"Text1"_s), u"/home/u/My, Docs/"_s);
    EXPECT_EQ(ReadSetting(store, u"Never Written"_s, u"dflt"_s), u"dflt"_s);
}

TEST(IniSettingsStore, GarbageValuesReadAsText)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"Vocatext.ini"_s);
    WriteBytes(file, "[Vocatext]\nVolume%20Level=a, b\nOption1=@Variant(garbage\nCombo=\"unterminated\n"
                     "\x01\xff=\xfe\n");
    IniSettingsStore store(file);
    EXPECT_EQ(ReadSetting(store, u"Volume Level"_s), u"a, b"_s);
    EXPECT_THROW(SettingToBoolean(ReadSetting(store, u"Option1"_s, u"True"_s)), RuntimeError);
    EXPECT_NO_THROW(SettingToWholeNumber(ReadSetting(store, u"Combo"_s)));
}

TEST(IniSettingsStore, AnUnwritableFileFailsTheWriteButKeepsTheValue)
{
    QTemporaryDir dir;
    WriteBytes(dir.filePath(u"config"_s), "a file where the settings folder should be");
    IniSettingsStore store(dir.filePath(u"config/Vocatext.ini"_s));
    EXPECT_THROW(WriteSetting(store, u"Combo"_s, u"2"_s), RuntimeError);
    EXPECT_EQ(ReadSetting(store, u"Combo"_s), u"2"_s);
}
