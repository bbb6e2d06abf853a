#pragma once

#include "reading/numberwords.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringView>

// The words each language with rules reads numbers, signs, units and abbreviations with.

enum class RulesLanguage { English, French, German, Spanish };

struct UnitWords
{
    QString singular;
    QString plural;
    Gender gender = Gender::Masculine;
};

struct CurrencyWords
{
    QString singular;
    QString plural;
    QString minorSingular;
    QString minorPlural;
    Gender gender = Gender::Masculine;
};

enum class AbbreviationUse {
    Title,         // before a name ("Dr. Smith"): never ends a sentence
    Inner,         // "e.g.": never ends a sentence
    MayEnd,        // "etc.": ends one when a capital or the end of the text follows
    BeforeNumber,  // "p. 14", "No. 5": read so only before a number or a Roman numeral
    NumberContext, // a month ("Jan. 5", "5 janv."): read so only beside a number
};

struct Abbreviation
{
    QString form;
    QString expansion;
    AbbreviationUse use = AbbreviationUse::Inner;
};

struct LanguageRules
{
    RulesLanguage language = RulesLanguage::English;
    QString point;
    QString minus;
    QString plus;
    QString percent;
    QString to;
    QString moneyAnd;
    QString dot;
    QString at;
    QString slash;
    QString dash;
    QString underscore;
    QString colon;
    UnitWords degree;
    QString celsius;
    QString fahrenheit;
    QHash<QString, UnitWords> units;
    QHash<QString, CurrencyWords> currencies;
    /// Words of magnitude after an amount of money ("million"), with what goes between
    /// them and the currency ("d'" in "trois millions d'euros").
    QHash<QString, QString> magnitudes;
    QList<Abbreviation> abbreviations;
    /// Indexes into abbreviations by their first word as written.
    QHash<QString, QList<qsizetype>> abbreviationsByFirst;
    /// Lower case: words after which a Roman numeral is a number ("chapter IV").
    QSet<QString> counterWords;
    /// Lower case: "century" after a numeral, "siglo" before one.
    QSet<QString> centuryAfter;
    QSet<QString> centuryBefore;
    /// Lower case: words after which a number of four digits is a year.
    QSet<QString> yearContext;
    /// Lower case: words before a telephone number.
    QSet<QString> phoneContext;
    /// Lower case: nouns that make "1" feminine before them ("une heure", "una hora", "eine Stunde").
    QSet<QString> feminineNouns;
    /// Lower case: short words after a number that are not the thing counted ("y", "de").
    QSet<QString> notCounted;

    /// The rules for language (BCP 47), or null when it has none.
    static const LanguageRules *For(const QString &language);
    /// True for English of Britain and the Commonwealth (and Ireland): "one hundred and one".
    static bool IsBritishEnglish(const QString &language);
    /// True when word (as written) is a name that rulers take ("Henry", "Louis", "Felipe").
    static bool IsRulerName(QStringView word);
};
