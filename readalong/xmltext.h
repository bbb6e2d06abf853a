#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Text as XML 1.0 and HTML may hold it, and the places where long text may be cut.

/// True for a character that XML 1.0 and HTML text may hold: not a control character
/// other than tab, line feed and carriage return (C1 and DEL included), not a surrogate,
/// not a noncharacter (U+FDD0..U+FDEF, U+xxFFFE, U+xxFFFF).
bool IsTextCharacter(char32_t c);
/// text without the characters IsTextCharacter refuses (a lone surrogate included).
QString TextCharactersOf(QStringView text);
/// text with only its text characters, each run of breakable blanks (line breaks too) one
/// space, none at either end: as one line shows it.
QString SingleLine(QStringView text);
/// Appends text as UTF-8 with its refused characters dropped and &, <, > escaped (and ",
/// for an attribute's value), so that no text can close or open markup.
void AppendEscaped(QByteArray &out, QStringView text, bool attribute = false);

/// True for white space that a line may be broken at (not a no-break space).
bool IsBreakableBlank(QChar c);
/// True when text[i] ends a clause, so that a cut may follow it: a comma, semicolon or
/// colon before a blank or the end (not "1,000" or "10:30"), the Arabic and the
/// ideographic forms, a dash, or a hyphen between blanks.
bool EndsClause(QStringView text, qsizetype i);
