#pragma once

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// The user's pronunciation lexicons: how to say the words an engine says wrongly, from
// W3C PLS files and from a plain form ("word = respelling", one a line).

/// One entry: a written word (or a few words) and how it is said, either by another
/// spelling that every engine reads (alias) or by its sounds in IPA.
struct LexiconEntry
{
    QString grapheme;
    QString alias;
    QString ipa;
    bool operator==(const LexiconEntry &) const = default;
};

/// A lexicon entry found in a spoken text: text[start, start + length) is what the engine
/// is given for the document's word written: the alias where there is one, else the word
/// itself, which ipa then says how to pronounce.
struct LexiconHit
{
    qsizetype start = 0;
    qsizetype length = 0;
    QString written;
    QString alias;
    QString ipa;
    bool operator==(const LexiconHit &) const = default;
};

namespace LexiconLimits {
/// A lexicon file larger than this is refused unread.
inline constexpr qsizetype kMaxBytes = qsizetype(32) << 20;
inline constexpr qsizetype kMaxEntries = 200'000;
/// Characters of a grapheme, and words in it.
inline constexpr qsizetype kMaxGraphemeLength = 200;
inline constexpr int kMaxWords = 8;
/// Characters of an alias or of a pronunciation in IPA.
inline constexpr qsizetype kMaxPronunciationLength = 1000;
/// An alias that is itself a grapheme is followed this many steps at most.
inline constexpr int kMaxAliasChain = 8;
} // namespace LexiconLimits

/// Entries by their graphemes. A grapheme written all in lower case matches a word in any
/// case ("nginx" matches "Nginx" and "NGINX"); one with a capital matches only as written
/// ("Nice", the town, leaves "nice" alone). Words match whole, never inside a longer word.
class Lexicon
{
public:
    bool isEmpty() const { return m_entries.isEmpty(); }
    qsizetype size() const { return m_entries.size(); }
    const QList<LexiconEntry> &entries() const { return m_entries; }
    /// The language the lexicon's file names (xml:lang), empty when it names none.
    const QString &language() const { return m_language; }

    /// The entry whose grapheme is words (single spaces between them), or null.
    const LexiconEntry *find(QStringView words) const;
    /// The most words a grapheme that begins with firstWord holds; 0 when none begins so.
    int wordsFrom(QStringView firstWord) const;

private:
    friend class LexiconBuilder;
    QList<LexiconEntry> m_entries;
    QHash<QString, qsizetype> m_exact;
    QHash<QString, qsizetype> m_anyCase;
    QHash<QString, int> m_firstWords;
    QString m_language;
};

/// A lexicon read, or why not (error); warnings name entries left out and lines skipped.
struct LexiconResult
{
    Lexicon lexicon;
    QString error;
    QStringList warnings;
    bool ok() const { return error.isEmpty(); }
};

/// A W3C PLS 1.0 document (UTF-8 or as its declaration says): each lexeme's graphemes with
/// its first alias, else its first phoneme (alphabet "ipa", the lexicon's or the
/// phoneme's own). Entities are never expanded: a document type that declares any, and a
/// reference to one, is refused; so are more than LexiconLimits allow.
LexiconResult ReadPlsLexicon(QByteArrayView xml);
/// The plain form, UTF-8: "word = respelling" a line, "# ..." a comment, blank lines
/// ignored; a respelling between slashes ("/ˈnjuːtən/") is IPA.
LexiconResult ReadPlainLexicon(QByteArrayView text);
/// The file at path, as PLS when its first character that is not blank is "<", else in
/// the plain form.
LexiconResult LoadLexiconFile(const QString &path);
/// One lexicon of several, the first of lexicons winning where two hold a grapheme: pass
/// the document's own, then the one beside the document, then the user's settings
/// folder's, then the one named by --lexicon.
LexiconResult MergeLexicons(const QList<Lexicon> &lexicons);
