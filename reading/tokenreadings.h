#pragma once

#include "reading/languagerules.h"
#include "reading/numberwords.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// The words of one written number, amount, date, time or address in a language with
// rules; the spoken-form stage decides from the words around it which one a token is.

struct ReadingContext
{
    const LanguageRules &rules;
    const NumberWords &numbers;
};

/// A number as written, its digits without separators.
struct Amount
{
    QString integer;
    QString fraction;
    bool negative = false;
    bool positive = false;
    bool grouped = false;
    /// The integer part's value; -1 when it has more digits than a qint64 holds.
    qint64 value() const;
    bool isOne() const { return fraction.isEmpty() && value() == 1; }
    bool isInteger() const { return fraction.isEmpty() && !integer.isEmpty(); }
};

/// True when text is a whole number in the language's notation ("-1,234.5" in English,
/// "1.234,5" or "12,50" in German, "12.50" in French where it cannot be a thousand).
bool ParseAmount(QStringView text, const LanguageRules &rules, Amount *amount);
/// The amount in words, its sign first; alone (gender empty) or before a noun of gender.
QString AmountWords(const Amount &amount, const ReadingContext &context, std::optional<Gender> gender = {});
/// "twelve dollars and fifty cents", "douze euros cinquante", "three million dollars".
QString MoneyWords(const Amount &amount, const CurrencyWords &currency, QStringView magnitude,
                   const ReadingContext &context);
/// "five kilometres", "minus five degrees Celsius".
QString QuantityWords(const Amount &amount, const UnitWords &unit, const ReadingContext &context);
/// year (0: none; yearDigits 2 or 4) in the language's spoken order: "March fourth,
/// twenty twenty-four", "the third of April twenty twenty-four", "trois avril deux mille
/// vingt-quatre", "dritter April zweitausendvierundzwanzig", "tres de abril de dos mil
/// veinticuatro". article: English, day before month, "the" not written before it.
QString DateWords(int day, int month, int year, int yearDigits, const ReadingContext &context,
                  OrdinalEnding germanEnding = OrdinalEnding::Er, bool article = true);
QString YearWords(int year, int yearDigits, const ReadingContext &context);
/// meridiem: "am", "pm" or empty.
QString TimeWords(int hour, int minute, QStringView meridiem, const ReadingContext &context);
QString FractionWords(qint64 numerator, qint64 denominator, const ReadingContext &context);
/// Groups of digits read digit by digit, a short pause between groups; plus: "+" first.
QString DigitGroupWords(const QList<QStringView> &groups, bool plus, const ReadingContext &context);
/// A web or e-mail address in pieces: "example dot com", "jane at example dot org".
QString AddressWords(QStringView address, const ReadingContext &context);
/// True when word looks like a web or e-mail address.
bool IsAddress(QStringView word);
/// The value of a Roman numeral in capitals, written the usual way (I to MMMCMXCIX);
/// 0 when word is not one.
int RomanValue(QStringView word);
/// A ruler's number: "the eighth", "quatorze", "der Achte", "segundo".
QString RegnalWords(int n, const ReadingContext &context);
/// text with its first letter in upper case.
QString Capitalized(const QString &text);
