#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class ISpeechEngine;

// Which installed voice reads a passage of a language: the voice chosen for the whole when
// it speaks that language (and for a passage of no known language), the user's own voice
// for the language (--voice-for, the setting "Voice For"), else the engine's voice for the
// language and its country ("fr-FR": French (France)), else one for the language
// ("zh": Mandarin).
class VoicePicker
{
public:
    /// No voice speaks the language.
    static constexpr int kNone = -2;

    VoicePicker() = default;
    /// chosen: a position of the enumeration (-1: the first); chosenFor: language tag
    /// (lower case, "fr" or "fr-fr") -> position.
    VoicePicker(ISpeechEngine &speech, int chosen, QHash<QString, int> chosenFor);

    /// The voice for a passage of the language (BCP 47; "": the chosen one), or kNone.
    int VoiceFor(const QString &language) const;
    int Chosen() const { return m_chosen; }
    /// The voice whose name (its description in the voice list) is this, whatever the case
    /// of its letters, or kNone.
    int Named(const QString &name) const;
    /// The name of the voice at this position (its description in the voice list); "" when there is none.
    QString Name(int voice) const { return m_names.value(voice); }
    /// True when the voice at this position speaks the language (BCP 47), by its base ("fr").
    bool Speaks(int voice, const QString &language) const;

    /// The tag as the voices' languages are compared: lower case, "-" between its parts,
    /// and the names the engines know for a few (zh: cmn, iw: he, no: nb).
    static QString Normalized(const QString &language);

private:
    int m_chosen = -1;
    QString m_chosenLanguage;
    QHash<QString, int> m_chosenFor;
    QStringList m_languages; // of each voice, normalized
    QStringList m_names;     // of each voice, its description
};

/// The user's voices for languages as the setting and --voice-for give them:
/// "LANG=VOICE;LANG=VOICE", each VOICE a position from 1 or a part of a voice's name (the
/// first that matches). error receives what does not fit; the pairs that fit are kept.
QHash<QString, int> VoicesForLanguages(const QStringList &pairs, const QStringList &voices, QString *error);
