#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>

// Numbers in words through ICU's spell-out rules (RuleBasedNumberFormat), and the
// locale's calendar words and date order.

enum class Gender { Masculine, Feminine, Neuter };

/// German ordinals take the ending their article asks for: dritte, dritten, dritter,
/// drittes, drittem.
enum class OrdinalEnding { E, En, Er, Es, Em };

enum class DateOrder { MonthDay, DayMonth };

class NumberWords
{
public:
    /// The words of language's locale ("en-GB", "de"); one per thread and locale, kept.
    static const NumberWords &For(const QString &language);

    explicit NumberWords(const QString &language);
    ~NumberWords();
    NumberWords(const NumberWords &) = delete;
    NumberWords &operator=(const NumberWords &) = delete;

    bool isValid() const;
    /// The number said alone ("one", "eins", "uno"); a number beyond the rules' reach
    /// (more than 15 digits) digit by digit.
    QString counting(qint64 n) const;
    /// Before a noun of that gender ("un"/"une", "ein"/"eine", "un"/"una").
    QString cardinal(qint64 n, Gender gender) const;
    QString ordinal(qint64 n, Gender gender = Gender::Masculine, bool plural = false,
                    OrdinalEnding ending = OrdinalEnding::E) const;
    /// As a year is said ("nineteen ninety-nine", "neunzehnhundertneunundneunzig").
    QString year(qint64 n) const;
    /// Each digit of digits by its name, separated by spaces.
    QString digits(QStringView digits) const;

    /// The month's name (1 to 12) in the locale's calendar.
    const QString &monthName(int month) const;
    /// 1 to 12 when word is a month's full name in the locale (case ignored), else 0.
    int monthOf(QStringView word) const;
    /// The order of day and month in the locale's short date.
    DateOrder dateOrder() const { return m_dateOrder; }

private:
    struct Formats;
    std::unique_ptr<Formats> m_formats;
    QStringList m_digits;
    QStringList m_months;
    QStringList m_foldedMonths;
    DateOrder m_dateOrder = DateOrder::MonthDay;
};
