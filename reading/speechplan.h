#pragma once

#include "reading/lexicon.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// What the engines are given for a document, as SSML 1.1 that a person can read, and SSML
// read back as such a plan.

/// A stretch of a paragraph spoken in one language, by one voice, at one rate and volume.
struct SpeechPassage
{
    /// BCP 47; empty: the plan's.
    QString language;
    /// The voice's name; empty: the chosen voice.
    QString voiceName;
    /// The words as spoken (after SpokenForm), on one line.
    QString text;
    /// The lexicon's entries in text.
    QList<LexiconHit> lexiconHits;
    /// Of the chosen rate and volume; 100 is as chosen, a volume of 0 is silent. ReadSsml
    /// gives at most 1000 and 400.
    int ratePercent = 100;
    int volumePercent = 100;
    /// A pause after the passage's words.
    int pauseAfterMs = 0;
    bool operator==(const SpeechPassage &) const = default;
};

struct SpeechParagraph
{
    QList<SpeechPassage> passages;
    bool operator==(const SpeechParagraph &) const = default;
};

struct SpeechPlan
{
    /// BCP 47, the document's language.
    QString language;
    QList<SpeechParagraph> paragraphs;
    bool operator==(const SpeechPlan &) const = default;
};

namespace SsmlLimits {
/// Larger SSML is refused unread; so is markup nested deeper.
inline constexpr qsizetype kMaxBytes = qsizetype(64) << 20;
inline constexpr int kMaxDepth = 256;
/// A pause is at most this long.
inline constexpr int kMaxBreakMs = 60'000;
} // namespace SsmlLimits

/// The plan as SSML 1.1 (namespace http://www.w3.org/2001/10/synthesis, UTF-8): a <p> per
/// paragraph, each passage in a <voice> with its name and languages, a <prosody> where
/// its rate or volume is not as chosen, its sentences (ICU) in <s xml:lang>, lexicon hits
/// as <sub alias> or <phoneme alphabet="ipa" ph>, pauses as <break time>. Every <, > and
/// & of the text is escaped and characters that XML cannot hold are left out.
QByteArray SpeechPlanSsml(const SpeechPlan &plan);

/// SSML (a <speak> in the SSML namespace) as a plan: <p> (and text outside one) as
/// paragraphs; <voice name> and xml:lang (also <voice languages>, <lang>), <prosody rate
/// volume> relative to the chosen ones (x-slow .. x-fast, silent .. x-loud, percentages,
/// dB), <break time strength>, <sub>, <phoneme alphabet="ipa">, <say-as interpret-as>
/// (cardinal, ordinal, characters, date with format, telephone) and <s>. Runs of blanks
/// become one space. Elements it does not know give their text. A passage ends where its
/// language, voice or prosody changes or a pause follows, so a plan whose neighbouring
/// passages differ so reads back as it was written. On failure the plan is empty and
/// *error (when given) says why: not SSML, damaged XML, entities (never expanded), larger
/// or deeper than SsmlLimits.
SpeechPlan ReadSsml(QByteArrayView ssml, QString *error);
