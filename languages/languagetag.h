#pragma once

#include <QString>
#include <QStringView>

// What the characters of a language are written in, as office suites tell them apart: each
// text run of a word processor has one language for each class, and a character takes the
// one of its class.
enum class ScriptClass {
    /// Digits, punctuation, spaces, combining marks: they take their neighbours' class.
    Neutral,
    /// Latin, Greek, Cyrillic, Armenian, Georgian and every other alphabet not below.
    Western,
    /// Chinese, Japanese and Korean characters (Han, kana, Hangul, Bopomofo, Yi).
    Asian,
    /// Right-to-left scripts and those whose letters combine (Hebrew, Arabic, the scripts of
    /// India and of South-East Asia, Tibetan, Mongolian).
    Complex,
};

/// The class of a character (a code point).
ScriptClass CharacterClass(char32_t c);

/// A language as a BCP 47 tag ("fr-FR", "zh-Hant-TW") from what a document writes: a
/// language code and a separate country (OpenDocument's fo:language and fo:country), or one
/// tag with "-" or "_" between its parts (Word's w:lang, HTML's lang). "x-none" and "none"
/// (no language) are "und". A null string when the value is no language tag at all (it then
/// says nothing, and what surrounds it holds).
QString LanguageTag(QStringView language, QStringView country = {});

/// The language subtag of a BCP 47 tag, in lower case ("pt" of "pt-BR").
QString PrimaryLanguage(QStringView tag);
