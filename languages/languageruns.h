#pragma once

#include "api/documentreader.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <vector>

// A stretch of a text in one language, and the script its letters are written in.
struct LanguageRun
{
    /// Where it begins in the text and how long it is, in UTF-16 code units.
    qsizetype start = 0;
    qsizetype length = 0;
    /// BCP 47 ("fr-FR", "uk", "zh"); "" when nothing can be said: no letters at all, or
    /// Latin letters too few to tell in a text whose language nobody named.
    QString language;
    /// ISO 15924 ("Latn", "Cyrl", "Hani"; "Jpan" for Japanese, kanji and kana together;
    /// "Kore" for Korean, Hangul with Hanja; "Zyyy" for a text without letters).
    QString script;
    /// True when the document said so (one of its marks, or its own language); false when
    /// the script or the letters told it.
    bool marked = false;

    bool operator==(const LanguageRun &) const = default;
};

/// The runs of text, in order and covering it whole, each of one language and script.
/// defaultLanguage is the document's own (DocumentFacts::language, "" when it names none);
/// marks are the document's marks on this text, their lines and columns counted from the
/// text's start (see MarksOnText). Each passage (a line, or the part of a line in one
/// script and under one mark) is decided: first by what the document says, where its
/// language is written in the passage's script (a Hindi mark on Hebrew letters says
/// nothing); then by the script, Common and Inherited characters (digits, punctuation,
/// spaces, combining marks) joining their neighbours. Han is Japanese beside kana, Korean
/// beside Hangul, else Chinese ("zh"), unless a mark says Japanese or Cantonese. Cyrillic
/// is told apart by its letters (Russian when unsure); a Latin passage the document did not
/// mark changes from the document's language only when it holds 200 letters or more and
/// its letters say so with certainty. Equal neighbours are one run.
QList<LanguageRun> LanguageRuns(QStringView text, const QString &defaultLanguage,
                                const QList<LanguageMark> &marksOnThisText);

/// Where each of marks (its line and column counted from the text's start) begins as an
/// offset into text, in the order of the marks; one out of order is taken where the one
/// before it stands; a mark past the text's last line, and those after it, have none.
std::vector<qsizetype> MarkOffsets(QStringView text, const QList<LanguageMark> &marks);

/// The marks of a document (in text order) that fall on a text of its body which begins
/// at line and column, counted from that text's start: the one in effect where the text
/// begins comes first, at line 0, column 0 (none when that is the document's own language).
QList<LanguageMark> MarksOnText(const QList<LanguageMark> &documentMarks, qint64 line, qint64 column,
                                QStringView text);

/// The English name of an ISO 15924 script code, for messages ("Tibt": "Tibetan",
/// "Jpan": "Japanese"); the code itself when it is not known.
QString ScriptName(const QString &scriptCode);

/// The letters of text (code points that are letters, of any script).
int LetterCount(QStringView text);
