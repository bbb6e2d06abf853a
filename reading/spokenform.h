#pragma once

#include "reading/lexicon.h"

#include <QList>
#include <QString>
#include <QStringView>

// A text as a careful reader says it: numbers, amounts, dates, times, units, telephone
// numbers, addresses, Roman numerals and abbreviations in words, each piece tied to the
// words of the document it came from.

/// spoken[spokenStart, +spokenLength) was made from source[sourceStart, +sourceLength).
/// Offsets in UTF-16 code units.
struct SpokenSpan
{
    qsizetype sourceStart = 0;
    qsizetype sourceLength = 0;
    qsizetype spokenStart = 0;
    qsizetype spokenLength = 0;
    /// The source's characters, read as written.
    bool asWritten = false;
    bool operator==(const SpokenSpan &) const = default;
};

struct SpokenText
{
    /// What the engine is given.
    QString text;
    /// In order, covering text from its start to its end without gaps; a stretch read as
    /// written is one span.
    QList<SpokenSpan> spans;
    /// The lexicon's entries found, in order.
    QList<LexiconHit> lexiconHits;

    /// The smallest stretch of the source that text[start, start + length) was made from:
    /// the same characters where they are read as written, else the spans it touches whole.
    SpokenSpan sourceOf(qsizetype start, qsizetype length) const;
};

/// text as spoken in language (BCP 47, "en-GB"; "en_GB" is taken too). English, French,
/// German and Spanish have rules: numbers, ordinals, years, decimals, fractions,
/// percentages, money, dates in the language's order (ICU's short date of the locale;
/// "en" alone is American), times, ranges, units, telephone numbers and ISBNs digit by
/// digit, web and e-mail addresses in pieces, Roman numerals where the words before or
/// after call for one, and abbreviations, none of which then ends a sentence. Another
/// language keeps its text as written, for espeak-ng to read its own way. A lexicon's
/// words are found in every language; an alias takes its word's place. Linear in the
/// text's length.
SpokenText SpokenForm(QStringView text, const QString &language, const Lexicon *lexicon = nullptr);

/// text with each hit that has an IPA pronunciation as espeak-ng's phoneme input
/// ("[[t@m'A:toU]]", read when espeak-ng is asked for phoneme input, espeakPHONEMES); a
/// hit whose IPA espeak-ng cannot be given keeps its word, and the text's own "[[" and "]]"
/// are parted so that they are never taken for phonemes.
QString EspeakInput(const QString &text, const QList<LexiconHit> &hits, const QString &language);

/// What a reader says for content marked up as interpretAs ("cardinal", "ordinal",
/// "characters", "date" with format such as "mdy", "dmy", "ymd", "md", "dm", "ym", "my",
/// "telephone"); the content as it is when it is not that or language has no rules.
QString SayAs(QStringView content, QStringView interpretAs, QStringView format, const QString &language);
