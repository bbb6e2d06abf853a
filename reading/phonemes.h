#pragma once

#include <QString>
#include <QStringList>

// IPA, as a pronunciation lexicon writes it, in the phonemes each engine takes.

/// ipa (with or without slashes or brackets around it, stress marks ˈ ˌ and length ː) as
/// espeak-ng's phoneme mnemonics for language's phoneme table, for "[[...]]" input:
/// "təˈmɑːtəʊ" in English is "t@'mA:t@U". English, French, German and Spanish have tables
/// of their own; other languages the common symbols. Empty when a sound has no mnemonic.
QString IpaToEspeak(const QString &ipa, const QString &language);

/// ipa (English) as Flite's cmulex phones, vowels with their stress (0, 1, 2):
/// "həˈloʊ" is {"hh", "ax0", "l", "ow1"}. Empty when a sound has no phone in cmulex.
QStringList IpaToFlite(const QString &ipa);
