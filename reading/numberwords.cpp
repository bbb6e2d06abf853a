#include "reading/numberwords.h"

#include "reading/languagerules.h"

#include <unicode/datefmt.h>
#include <unicode/dtfmtsym.h>
#include <unicode/locid.h>
#include <unicode/rbnf.h>
#include <unicode/smpdtfmt.h>

#include <map>

using namespace Qt::StringLiterals;

namespace {

// Numbers longer than this are read digit by digit: beyond it ICU's doubles and a
// listener's patience both fail.
constexpr qsizetype kMaxSpelledDigits = 15;

QString FromUnicode(const icu::UnicodeString &text)
{
    QString out = QString(reinterpret_cast<const QChar *>(text.getBuffer()), text.length());
    out.remove(QChar(0x00AD)); // ICU's German words carry soft hyphens between their parts
    return out;
}

icu::UnicodeString ToUnicode(const QString &text)
{
    return icu::UnicodeString(reinterpret_cast<const char16_t *>(text.utf16()), static_cast<int32_t>(text.size()));
}

} // namespace

struct NumberWords::Formats
{
    std::unique_ptr<icu::RuleBasedNumberFormat> format;
    QStringList ruleSets;

    // The first of candidates that the locale's rules have, else empty (the default set).
    QString pick(std::initializer_list<QString> candidates) const
    {
        for (const QString &candidate : candidates) {
            if (ruleSets.contains(candidate))
                return candidate;
        }
        return {};
    }

    QString spell(qint64 n, const QString &ruleSet) const
    {
        icu::UnicodeString out;
        UErrorCode status = U_ZERO_ERROR;
        icu::FieldPosition position;
        if (ruleSet.isEmpty())
            format->format(static_cast<int64_t>(n), out, position);
        else
            format->format(static_cast<int64_t>(n), ToUnicode(ruleSet), out, position, status);
        return U_SUCCESS(status) ? FromUnicode(out) : QString::number(n);
    }

    QString counting;
    QString cardinal[3];
    QString ordinal[2][2]; // [feminine][plural]
    QString germanOrdinal[5];
    QString year;
};

const NumberWords &NumberWords::For(const QString &language)
{
    thread_local std::map<QString, std::unique_ptr<NumberWords>> cache;
    std::unique_ptr<NumberWords> &words = cache[language];
    if (!words)
        words = std::make_unique<NumberWords>(language);
    return *words;
}

NumberWords::NumberWords(const QString &language)
    : m_formats(std::make_unique<Formats>())
{
    QByteArray tag = language.trimmed().toLatin1();
    tag.replace('_', '-');
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = icu::Locale::forLanguageTag(tag.constData(), status);
    if (U_FAILURE(status) || locale.isBogus())
        locale = icu::Locale::getRoot();

    status = U_ZERO_ERROR;
    auto format = std::make_unique<icu::RuleBasedNumberFormat>(icu::URBNF_SPELLOUT, locale, status);
    if (U_SUCCESS(status)) {
        m_formats->format = std::move(format);
        for (int32_t i = 0; i < m_formats->format->getNumberOfRuleSetNames(); ++i)
            m_formats->ruleSets.append(FromUnicode(m_formats->format->getRuleSetName(i)));
    }
    Formats &f = *m_formats;
    // British, Irish and Commonwealth English say "one hundred and one".
    const bool verbose = LanguageRules::IsBritishEnglish(language);
    const QString v = verbose ? u"-verbose"_s : QString();
    f.counting = f.pick({u"%spellout-cardinal"_s + v, u"%spellout-numbering"_s});
    if (qstrcmp(locale.getLanguage(), "en") != 0)
        f.counting = f.pick({u"%spellout-numbering"_s, u"%spellout-cardinal"_s});
    const QString genders[3] = {u"-masculine"_s, u"-feminine"_s, u"-neuter"_s};
    for (int g = 0; g < 3; ++g) {
        f.cardinal[g] = f.pick({u"%spellout-cardinal"_s + genders[g], u"%spellout-cardinal"_s + v,
                                u"%spellout-cardinal-masculine"_s, u"%spellout-numbering"_s});
    }
    for (int g = 0; g < 2; ++g) {
        for (int p = 0; p < 2; ++p) {
            const QString base = u"%spellout-ordinal"_s + genders[g];
            f.ordinal[g][p] = f.pick({p ? base + u"-plural"_s : base, base, u"%spellout-ordinal"_s + v,
                                      u"%spellout-ordinal"_s});
        }
    }
    const QString endings[5] = {QString(), u"-n"_s, u"-r"_s, u"-s"_s, u"-m"_s};
    for (int e = 0; e < 5; ++e)
        f.germanOrdinal[e] = f.pick({u"%spellout-ordinal"_s + endings[e], f.ordinal[0][0]});
    f.year = f.pick({u"%spellout-numbering-year"_s, f.counting});
    for (int d = 0; d < 10; ++d)
        m_digits.append(isValid() ? f.spell(d, f.counting) : QString::number(d));

    status = U_ZERO_ERROR;
    icu::DateFormatSymbols symbols(locale, status);
    int32_t count = 0;
    const icu::UnicodeString *months =
        U_SUCCESS(status) ? symbols.getMonths(count, icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::WIDE)
                          : nullptr;
    for (int32_t m = 0; m < 12; ++m) {
        m_months.append(months && m < count ? FromUnicode(months[m]) : QString::number(m + 1));
        m_foldedMonths.append(m_months.last().toCaseFolded());
    }
    const std::unique_ptr<icu::DateFormat> date(icu::DateFormat::createDateInstance(icu::DateFormat::kShort, locale));
    if (auto *simple = dynamic_cast<icu::SimpleDateFormat *>(date.get())) {
        icu::UnicodeString pattern;
        simple->toPattern(pattern);
        const int32_t day = pattern.indexOf(u'd');
        const int32_t month = pattern.indexOf(u'M');
        const int32_t yearAt = pattern.indexOf(u'y');
        if (day >= 0 && month >= 0 && day < month && !(yearAt >= 0 && yearAt < day))
            m_dateOrder = DateOrder::DayMonth;
    }
}

NumberWords::~NumberWords() = default;

bool NumberWords::isValid() const
{
    return m_formats->format != nullptr;
}

QString NumberWords::counting(qint64 n) const
{
    if (!isValid() || QString::number(n < 0 ? -n : n).size() > kMaxSpelledDigits)
        return digits(QString::number(n));
    return m_formats->spell(n, m_formats->counting);
}

QString NumberWords::cardinal(qint64 n, Gender gender) const
{
    if (!isValid() || QString::number(n < 0 ? -n : n).size() > kMaxSpelledDigits)
        return digits(QString::number(n));
    return m_formats->spell(n, m_formats->cardinal[static_cast<int>(gender)]);
}

QString NumberWords::ordinal(qint64 n, Gender gender, bool plural, OrdinalEnding ending) const
{
    if (!isValid() || QString::number(n).size() > kMaxSpelledDigits)
        return digits(QString::number(n));
    if (ending != OrdinalEnding::E)
        return m_formats->spell(n, m_formats->germanOrdinal[static_cast<int>(ending)]);
    return m_formats->spell(n, m_formats->ordinal[gender == Gender::Feminine ? 1 : 0][plural ? 1 : 0]);
}

QString NumberWords::year(qint64 n) const
{
    if (!isValid() || n < 0 || n > 9999)
        return counting(n);
    return m_formats->spell(n, m_formats->year);
}

QString NumberWords::digits(QStringView digits) const
{
    QString out;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            continue;
        if (!out.isEmpty())
            out += u' ';
        out += m_digits[c.digitValue()];
    }
    return out;
}

const QString &NumberWords::monthName(int month) const
{
    return m_months[qBound(1, month, 12) - 1];
}

int NumberWords::monthOf(QStringView word) const
{
    if (word.size() < 3)
        return 0;
    const QString folded = word.toString().toCaseFolded();
    const qsizetype at = m_foldedMonths.indexOf(folded);
    return at < 0 ? 0 : int(at) + 1;
}
