#pragma once

#include "pipeline/documentjob.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The lines that the converter and its workers exchange: words separated by blanks, each
// percent-encoded, so a path with blanks, line feeds or bytes that are not UTF-8 arrives
// whole.
namespace Channel {

/// One line of words, with its line feed.
QByteArray Line(const QStringList &words);
/// The words of a line (without its line feed).
QStringList Words(const QByteArray &line);

// A worker's answers: "pieces N TITLE AUTHOR LANGUAGE" and for each heading, in the order of its
// lines, "LINE PIECE PIECELINE HEADING"; "spoken K SECONDS" and where each of the piece's
// lines begins to be heard, in samples; "failed STEP NUMBER WORDS".

QStringList PiecesAnswer(const TextFacts &facts);
/// The facts of a "pieces" answer (at least one piece).
TextFacts PiecesOf(const QStringList &words);
QStringList SpokenAnswer(int piece, const SpokenFacts &facts);
/// The facts of a "spoken" answer.
SpokenFacts SpokenOf(const QStringList &words);
QStringList FailedAnswer(const JobOutcome &outcome);
/// The words of a "failed" answer: what failed and in which step.
QString FailureOf(const QStringList &words);

} // namespace Channel
