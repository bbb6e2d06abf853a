#pragma once

#include "api/documentreader.h"
#include "api/speech.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

class VoicePicker;

// The passages of a piece of text, each of one language and read by the voice for it:
// the document's marks where they fit the letters, else the script, else the letters
// themselves say the language (see LanguageRuns). Neighbours that one voice reads are one
// passage. A mark's reading (its named voice, rate and volume) goes to the passages under
// it; the named voice reads them where it speaks their language or the mark says it.
// Letters that no installed voice speaks are left out (blanks in their place);
// unspoken counts them by script (see CountUnspoken).
QList<Passage> PassagesOf(QStringView text, const QString &documentLanguage, const QList<LanguageMark> &marks,
                          const VoicePicker &voices, QStringList *unspoken);

/// Adds letters of script to the count of unspoken letters: one entry per script, "Tibetan=37".
void CountUnspoken(QStringList &unspoken, const QString &script, qint64 letters);
/// Adds the counts of more (entries as CountUnspoken makes them) to unspoken.
void AddUnspoken(QStringList &unspoken, const QStringList &more);
/// The unspoken letters in words: "37 letters in Tibetan script have no voice and were not
/// spoken"; empty when there are none.
QString UnspokenWords(const QStringList &unspoken);

class Lexicon;

// A passage as a careful reader says it: numbers, amounts, dates, times, units, Roman
// numerals and abbreviations in words of its language, the lexicon's words as it says
// them (phonemes for espeak-ng when phonemes is set). cleaned is the passage as the
// cleaning left it, own the same characters as the document has them (the cleaning keeps
// one character for one); what is read as written comes from cleaned, line by line.
// Without phonemes, hits receives the lexicon's words found, where they stand in what is said.
QString SpokenPassage(const QString &cleaned, const QString &own, const QString &language, const Lexicon *lexicon,
                      bool phonemes, QList<struct LexiconHit> *hits = nullptr);

// A lexicon in the plain form ("word = respelling", IPA between slashes), for a lexicon
// merged from several files to be kept beside the pieces.
QByteArray PlainLexiconText(const Lexicon &lexicon);

// The language marks of a document kept beside its pieces: a line "language TAG" for the
// document's own, then a line "PIECE LINE COLUMN TAG" for each mark, where the cut put it,
// with "rate=N volume=N voice=NAME" after it where the mark says how its text is read.
QByteArray LanguagesFileText(const QString &documentLanguage, const QList<LanguageMark> &marks,
                             const QList<struct LinePlace> &places);
// The document's language and the marks on one piece from that file, lines counted from
// the piece's start; the mark in effect where the piece begins stands first, at 0, 0.
// (The reading of a mark the file does not say is the chosen one: files of earlier versions read alike.)
QList<LanguageMark> MarksOfPiece(const QByteArray &languagesFile, int piece, QString *documentLanguage);
