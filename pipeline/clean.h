#pragma once

#include <QByteArray>
#include <QString>

// The cleaning of a line for speech: what the voices read as words stays, everything else
// becomes a space, one for one, so every position of the line keeps its character's place.

/// Replaces by a space every character other than the letters (of the code page, but its
/// florin sign and spacing circumflex, and of every other script, with their combining
/// marks), the decimal digits of every script, the space, ! , . ; ? and the signs
/// % $ € £ &; an apostrophe (' or ’) or a hyphen between two letters stays, every
/// apostrophe as "'". The length is unchanged.
QString CleanTextForSpeech(const QString &line);

/// One line of a text that does not fit the code page, as a segment holds it: "&#xa0;"
/// removed, lower-cased one character for one, and cleaned as CleanTextForSpeech does.
QString CleanLineOfAnyScript(QString line);

/// One line of code-page bytes as a segment holds it: "&#xa0;" removed (case-sensitive),
/// lower-cased (accented capitals too) and cleaned as CleanTextForSpeech does.
QByteArray CleanLineForSegment(QByteArray line);
