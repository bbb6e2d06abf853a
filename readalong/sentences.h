#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// A text's sentences, as places in the text, so that what is shown with the speech points
// back to the words the document holds.

/// A stretch of a text: offsets in UTF-16 code units.
struct TextSpan
{
    qsizetype start = 0;
    qsizetype length = 0;
    qsizetype end() const { return start + length; }
    bool operator==(const TextSpan &) const = default;
};

namespace SentenceLimits {
/// A longer sentence is cut, at a clause's end or else a blank, into pieces no longer
/// than this: a run-on text without a full stop is still shown in steps.
inline constexpr qsizetype kMaxLength = 2000;
} // namespace SentenceLimits

/// The sentences of text in language (a BCP 47 tag such as "en-GB"; "en_GB" is taken too;
/// empty or unknown: no language's own rules), as ICU's sentence rules find them, the
/// language's abbreviations ("Mr.", "z.B.") not ending one where ICU knows them, nor in
/// English the titles its list lacks ("Dr.", "St."). Each span is without the blanks
/// around it, none is longer than SentenceLimits::kMaxLength; a blank text has none.
/// Linear in the text's length.
QList<TextSpan> Sentences(QStringView text, const QString &language);
