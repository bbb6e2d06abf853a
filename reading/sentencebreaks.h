#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// The sentences of a text as ICU finds them for its language.

struct SentenceRange
{
    qsizetype start = 0;
    qsizetype length = 0;
};

/// The sentences of text in language (BCP 47), by ICU's sentence rules with the locale's
/// abbreviations ("ss=standard") and those the spoken form expands ("Dr.", "p.", "z. B.",
/// "etc.") never ending one; each without the blanks around it. One sentence when ICU has
/// no rules for text.
QList<SentenceRange> SpokenSentences(QStringView text, const QString &language);
