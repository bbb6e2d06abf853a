#pragma once

#include <QString>
#include <QStringView>

// What the letters of a text say of its language, as CLD2 (Compact Language Detector 2)
// tells it: for the scripts that many languages share (Latin, Cyrillic).
struct Identified
{
    /// BCP 47 ("uk", "fr", "zh-Hant"); "" when the letters say nothing.
    QString language;
    /// The share of the text's letters in that language, 0 to 100.
    int percent = 0;
    /// CLD2's own judgement: the language is well ahead of the next.
    bool reliable = false;
};

/// The language of text; hint, a BCP 47 tag or "", is the language the text is expected in.
/// Of a longer text its first lookedAt characters are looked at.
Identified IdentifyLanguage(QStringView text, const QString &hint, qsizetype lookedAt = 16384);
