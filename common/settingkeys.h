#pragma once

#include <QString>
#include <QStringView>

// Every key of the settings store with its default, in one place.
struct Setting
{
    QStringView key;
    QStringView defaultValue; // when the key was never written

    QString Key() const { return key.toString(); }
    QString Default() const { return defaultValue.toString(); }
};

namespace SettingKey {
/// The scrambled record of the sample files; empty: still to be taken.
inline constexpr Setting Snapshot{u"Snapshot", u""};
inline constexpr Setting VolumeLevel{u"Volume Level", u"100"};
/// -3 at start-up; a refused move of the rate slider reads a missing rate as 0 (the
/// long-standing difference that users' settings may rely on).
inline constexpr Setting SpeechRate{u"Speech Rate", u"-3"};
inline constexpr Setting Combo{u"Combo", u"0"};
/// Its default, the user's desktop folder and "/", is worked out at every start.
inline constexpr Setting Text1{u"Text1", u""};
inline constexpr Setting Option1{u"Option1", u"True"};
inline constexpr Setting Option2{u"Option2", u"False"};
inline constexpr Setting LastFolder{u"LastFolder", u""};
/// Written with "odt" at every folder scan and never read; settings files of every version hold it.
inline constexpr Setting Extension{u"Extension", u""};
/// Written with each folder chosen for the output and never read; settings files of every version hold it.
inline constexpr Setting LastFolderDot{u"LastFolderDot", u""};
/// The user's own voices for languages, "LANG=VOICE;LANG=VOICE" (VOICE a position of the
/// voice list from 1, or a part of a voice's name); empty: the engine's voice of each.
inline constexpr Setting VoiceFor{u"Voice For", u""};
/// "False": the chosen voice reads every passage, whatever its language.
inline constexpr Setting LanguageSwitch{u"Language Switch", u"True"};
} // namespace SettingKey
