#include "reading/tokenreadings.h"

#include <QSet>

using namespace Qt::StringLiterals;

namespace {

using Lang = RulesLanguage;

bool IsGroupBlank(QChar c)
{
    return c == QChar(0x00A0) || c == QChar(0x202F) || c == QChar(0x2009);
}

// True when groups after the first hold three digits each and the first one to three.
bool WellGrouped(const QList<QStringView> &groups)
{
    if (groups.isEmpty() || groups[0].isEmpty() || groups[0].size() > 3)
        return false;
    for (qsizetype i = 1; i < groups.size(); ++i) {
        if (groups[i].size() != 3)
            return false;
    }
    return true;
}

bool AllDigits(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

QList<QStringView> SplitOn(QStringView text, auto isSeparator)
{
    QList<QStringView> parts;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isSeparator(text[i])) {
            parts.append(text.mid(from, i - from));
            from = i + 1;
        }
    }
    return parts;
}

QString Join(std::initializer_list<QString> parts)
{
    QString out;
    for (const QString &part : parts) {
        if (part.isEmpty())
            continue;
        if (!out.isEmpty() && !out.endsWith(u'\''))
            out += u' ';
        out += part;
    }
    return out;
}

// The digits after the decimal sign: one by one in English and German, as a number after
// their leading zeros in French and Spanish ("trois virgule quatorze").
QString FractionDigitWords(const QString &fraction, const ReadingContext &context)
{
    const Lang language = context.rules.language;
    if (language == Lang::English || language == Lang::German || fraction.size() > 3)
        return context.numbers.digits(fraction);
    qsizetype zeros = 0;
    while (zeros < fraction.size() - 1 && fraction[zeros] == u'0')
        ++zeros;
    QString out = context.numbers.digits(QStringView(fraction).left(zeros));
    if (!out.isEmpty())
        out += u' ';
    return out + context.numbers.counting(fraction.mid(zeros).toLongLong());
}

QString IntegerWords(const QString &integer, const ReadingContext &context, std::optional<Gender> gender)
{
    if (integer.size() > 1 && integer.startsWith(u'0'))
        return context.numbers.digits(integer);
    if (integer.size() > 15)
        return context.numbers.digits(integer);
    const qint64 n = integer.toLongLong();
    return gender ? context.numbers.cardinal(n, *gender) : context.numbers.counting(n);
}

QString Letters(QStringView piece)
{
    QString out;
    for (const QChar c : piece) {
        if (!out.isEmpty())
            out += u' ';
        out += c.toLower();
    }
    return out;
}

bool HasVowel(QStringView piece)
{
    for (const QChar c : piece) {
        const QChar base = c.decompositionTag() == QChar::Canonical ? c.decomposition().at(0) : c;
        if (QStringView(u"aeiouyAEIOUY").contains(base))
            return true;
    }
    return false;
}

} // namespace

qint64 Amount::value() const
{
    if (integer.isEmpty())
        return 0;
    if (integer.size() > 18)
        return -1;
    return integer.toLongLong();
}

bool ParseAmount(QStringView text, const LanguageRules &rules, Amount *amount)
{
    Amount a;
    qsizetype at = 0;
    if (!text.isEmpty() && (text[0] == u'-' || text[0] == QChar(0x2212))) {
        a.negative = true;
        ++at;
    } else if (!text.isEmpty() && text[0] == u'+') {
        a.positive = true;
        ++at;
    }
    QStringView number = text.mid(at);
    if (number.isEmpty())
        return false;
    for (const QChar c : number) {
        if (!c.isDigit() && c != u'.' && c != u',' && !IsGroupBlank(c) && c != u'\'')
            return false;
        if (c.isDigit() && (c < u'0' || c > u'9'))
            return false;
    }
    if (!number[0].isDigit() && !(number.size() > 1 && (number[0] == u'.' || number[0] == u',') && number[1].isDigit()))
        return false;

    const bool english = rules.language == Lang::English;
    QChar decimal = english ? u'.' : u',';
    QChar group = english ? u',' : u'.';
    // "12.50" in French, German or Spanish: a decimal point, since it cannot be a thousand.
    if (!english && !number.contains(u',') && number.count(u'.') == 1) {
        const qsizetype dot = number.indexOf(u'.');
        if (number.size() - dot - 1 != 3) {
            decimal = u'.';
            group = u',';
        }
    }
    const qsizetype decimalAt = number.indexOf(decimal);
    if (decimalAt >= 0 && number.indexOf(decimal, decimalAt + 1) >= 0)
        return false;
    const QStringView integer = decimalAt < 0 ? number : number.left(decimalAt);
    const QStringView fraction = decimalAt < 0 ? QStringView() : number.mid(decimalAt + 1);
    if (decimalAt >= 0 && !AllDigits(fraction))
        return false;
    const QList<QStringView> groups =
        SplitOn(integer, [group](QChar c) { return c == group || IsGroupBlank(c) || c == u'\''; });
    if (groups.size() > 1) {
        if (!WellGrouped(groups))
            return false;
        a.grouped = true;
    } else if (!integer.isEmpty() && !AllDigits(integer)) {
        return false;
    }
    for (const QStringView part : groups)
        a.integer += part;
    a.fraction = fraction.toString();
    if (a.integer.isEmpty() && a.fraction.isEmpty())
        return false;
    *amount = a;
    return true;
}

QString AmountWords(const Amount &amount, const ReadingContext &context, std::optional<Gender> gender)
{
    QString out;
    if (amount.negative)
        out = context.rules.minus;
    else if (amount.positive)
        out = context.rules.plus;
    if (!amount.integer.isEmpty())
        out = Join({out, IntegerWords(amount.integer, context, amount.fraction.isEmpty() ? gender : std::nullopt)});
    if (!amount.fraction.isEmpty())
        out = Join({out, context.rules.point, FractionDigitWords(amount.fraction, context)});
    return out;
}

QString MoneyWords(const Amount &amount, const CurrencyWords &currency, QStringView magnitude,
                   const ReadingContext &context)
{
    const Lang language = context.rules.language;
    if (!magnitude.isEmpty()) {
        // "three million dollars", "trois millions d'euros", "tres millones de euros"
        const QString joiner = context.rules.magnitudes.value(magnitude.toString());
        const QString &plural = currency.plural;
        QString of = joiner.isEmpty() ? QString() : joiner + u' ';
        if (language == Lang::French && !joiner.isEmpty() && !plural.isEmpty() &&
            QStringView(u"aeiouéAEIOU").contains(plural[0]))
            of = joiner.chopped(1) + u'\'';
        return Join({AmountWords(amount, context), magnitude.toString()}) + u' ' + of + plural;
    }
    const bool twoDigitCents = amount.fraction.size() <= 2 && !currency.minorPlural.isEmpty();
    if (!twoDigitCents) {
        const bool one = amount.isOne() && !amount.negative;
        return Join({AmountWords(amount, context, currency.gender), one ? currency.singular : currency.plural});
    }
    const qint64 major = amount.value();
    const qint64 minor = amount.fraction.isEmpty() ? 0 : (amount.fraction + u"0"_s).left(2).toLongLong();
    const QString sign = amount.negative ? context.rules.minus : QString();
    QString majorWords;
    if (major > 0 || minor == 0 || amount.integer.size() > 15) {
        Amount whole = amount;
        whole.fraction.clear();
        whole.negative = false;
        majorWords = Join({AmountWords(whole, context, currency.gender), major == 1 ? currency.singular : currency.plural});
    }
    if (minor == 0)
        return Join({sign, majorWords});
    QString minorWords = context.numbers.cardinal(minor, Gender::Masculine);
    const bool minorUnitSaid = majorWords.isEmpty() || language == Lang::English || language == Lang::Spanish;
    if (minorUnitSaid)
        minorWords = Join({minorWords, minor == 1 ? currency.minorSingular : currency.minorPlural});
    if (majorWords.isEmpty())
        return Join({sign, minorWords});
    return Join({sign, majorWords, context.rules.moneyAnd, minorWords});
}

QString QuantityWords(const Amount &amount, const UnitWords &unit, const ReadingContext &context)
{
    return Join({AmountWords(amount, context, unit.gender), amount.isOne() ? unit.singular : unit.plural});
}

QString YearWords(int year, int yearDigits, const ReadingContext &context)
{
    if (yearDigits == 2 && context.rules.language == Lang::English && year < 10)
        return u"oh "_s + context.numbers.counting(year);
    if (yearDigits == 2)
        return context.numbers.counting(year);
    return context.numbers.year(year);
}

QString DateWords(int day, int month, int year, int yearDigits, const ReadingContext &context,
                  OrdinalEnding germanEnding, bool article)
{
    const NumberWords &numbers = context.numbers;
    const QString monthName = numbers.monthName(month);
    const QString yearWords = yearDigits > 0 ? YearWords(year, yearDigits, context) : QString();
    switch (context.rules.language) {
    case Lang::English:
        if (numbers.dateOrder() == DateOrder::MonthDay)
            return monthName + u' ' + numbers.ordinal(day) + (yearWords.isEmpty() ? QString() : u", "_s + yearWords);
        return Join({article ? u"the"_s : QString(), numbers.ordinal(day), u"of"_s, monthName, yearWords});
    case Lang::French:
        return Join({day == 1 ? numbers.ordinal(1) : numbers.cardinal(day, Gender::Masculine), monthName, yearWords});
    case Lang::German:
        return Join({numbers.ordinal(day, Gender::Masculine, false, germanEnding), monthName, yearWords});
    case Lang::Spanish:
        return Join({day == 1 ? numbers.ordinal(1) : numbers.counting(day), u"de"_s, monthName,
                     yearWords.isEmpty() ? QString() : u"de "_s + yearWords});
    }
    return {};
}

QString TimeWords(int hour, int minute, QStringView meridiem, const ReadingContext &context)
{
    const NumberWords &numbers = context.numbers;
    switch (context.rules.language) {
    case Lang::English: {
        QString out = numbers.counting(hour);
        if (minute == 0 && meridiem.isEmpty())
            out += hour >= 1 && hour <= 12 ? u" o'clock"_s : u" hundred"_s;
        else if (minute > 0 && minute < 10)
            out += u" oh "_s + numbers.counting(minute);
        else if (minute > 0)
            out += u' ' + numbers.counting(minute);
        if (!meridiem.isEmpty())
            out += meridiem == u"am" ? u" a m"_s : u" p m"_s;
        return out;
    }
    case Lang::French:
        return Join({numbers.cardinal(hour, Gender::Feminine), hour <= 1 ? u"heure"_s : u"heures"_s,
                     minute ? numbers.cardinal(minute, Gender::Feminine) : QString()});
    case Lang::German:
        return Join({hour == 1 ? u"ein"_s : numbers.counting(hour), u"Uhr"_s,
                     minute ? numbers.counting(minute) : QString()});
    case Lang::Spanish:
        return Join({numbers.cardinal(hour, Gender::Feminine),
                     minute ? u"y "_s + numbers.counting(minute) : u"en punto"_s});
    }
    return {};
}

QString FractionWords(qint64 numerator, qint64 denominator, const ReadingContext &context)
{
    const NumberWords &numbers = context.numbers;
    const bool one = numerator == 1;
    switch (context.rules.language) {
    case Lang::English:
        if (denominator == 2)
            return one ? u"one half"_s : numbers.counting(numerator) + u" halves"_s;
        if (denominator == 4)
            return numbers.counting(numerator) + (one ? u" quarter"_s : u" quarters"_s);
        return numbers.counting(numerator) + u' ' + numbers.ordinal(denominator) + (one ? QString() : u"s"_s);
    case Lang::French:
        if (denominator == 2)
            return numbers.cardinal(numerator, Gender::Masculine) + (one ? u" demi"_s : u" demis"_s);
        if (denominator == 3)
            return numbers.cardinal(numerator, Gender::Masculine) + u" tiers"_s;
        if (denominator == 4)
            return numbers.cardinal(numerator, Gender::Masculine) + (one ? u" quart"_s : u" quarts"_s);
        return numbers.cardinal(numerator, Gender::Masculine) + u' ' +
               numbers.ordinal(denominator, Gender::Masculine, !one);
    case Lang::German: {
        if (denominator == 2)
            return numbers.cardinal(numerator, Gender::Neuter) + (one ? u" halb"_s : u" halbe"_s);
        QString part = numbers.ordinal(denominator);
        if (part.endsWith(u'e'))
            part.chop(1);
        return numbers.cardinal(numerator, Gender::Neuter) + u' ' + Capitalized(part + u"el"_s); // Drittel
    }
    case Lang::Spanish: {
        const QString count = numbers.cardinal(numerator, Gender::Masculine);
        const QString plural = one ? QString() : u"s"_s;
        if (denominator == 2)
            return count + u" medio"_s + plural;
        if (denominator == 3)
            return count + u" tercio"_s + plural;
        if (denominator <= 10)
            return count + u' ' + numbers.ordinal(denominator, Gender::Masculine, !one);
        return count + u' ' + numbers.counting(denominator) + u"avo"_s + plural;
    }
    }
    return {};
}

QString DigitGroupWords(const QList<QStringView> &groups, bool plus, const ReadingContext &context)
{
    QString out = plus ? context.rules.plus : QString();
    for (const QStringView group : groups) {
        const QString words = context.numbers.digits(group);
        if (words.isEmpty())
            continue;
        if (!out.isEmpty())
            out += out == context.rules.plus ? u" "_s : u", "_s;
        out += words;
    }
    return out;
}

bool IsAddress(QStringView word)
{
    if (word.size() < 4)
        return false;
    const qsizetype atSign = word.indexOf(u'@');
    if (atSign > 0) {
        const qsizetype dot = word.indexOf(u'.', atSign);
        return dot > atSign + 1 && dot < word.size() - 1 && word.indexOf(u'@', atSign + 1) < 0;
    }
    if (word.contains(u"://"))
        return true;
    if (word.startsWith(u"www.", Qt::CaseInsensitive))
        return word.size() > 4;
    // A bare domain: labels of letters, digits and hyphens, the last a known top-level one.
    const qsizetype slash = word.indexOf(u'/');
    const QStringView host = slash < 0 ? word : word.left(slash);
    const qsizetype lastDot = host.lastIndexOf(u'.');
    if (lastDot <= 0)
        return false;
    for (const QStringView label : SplitOn(host, [](QChar c) { return c == u'.'; })) {
        if (label.size() < 2)
            return false;
        for (const QChar c : label) {
            if (!c.isLetterOrNumber() && c != u'-')
                return false;
        }
    }
    static const QSet<QString> topLevel = {
        u"com"_s, u"org"_s, u"net"_s, u"edu"_s, u"gov"_s, u"mil"_s, u"int"_s, u"info"_s, u"biz"_s, u"io"_s,
        u"co"_s, u"uk"_s, u"de"_s, u"fr"_s, u"es"_s, u"it"_s, u"nl"_s, u"eu"_s, u"us"_s, u"ca"_s, u"au"_s,
        u"ch"_s, u"at"_s, u"be"_s, u"se"_s, u"no"_s, u"dk"_s, u"fi"_s, u"pl"_s, u"ru"_s, u"jp"_s, u"cn"_s,
        u"in"_s, u"br"_s, u"mx"_s, u"ar"_s, u"app"_s, u"dev"_s, u"ai"_s, u"tv"_s, u"pt"_s, u"ie"_s, u"nz"_s};
    return topLevel.contains(host.mid(lastDot + 1).toString().toLower());
}

QString AddressWords(QStringView address, const ReadingContext &context)
{
    QStringView rest = address;
    const qsizetype scheme = rest.indexOf(u"://");
    if (scheme > 0 && scheme < 10)
        rest = rest.mid(scheme + 3);
    while (rest.endsWith(u'/'))
        rest.chop(1);
    qsizetype hostEnd = rest.indexOf(u'/');
    if (hostEnd < 0)
        hostEnd = rest.size();

    QStringList words;
    qsizetype i = 0;
    while (i < rest.size()) {
        if (rest[i].isLetterOrNumber()) {
            qsizetype end = i;
            while (end < rest.size() && rest[end].isLetterOrNumber())
                ++end;
            const QStringView piece = rest.mid(i, end - i);
            const bool topLevel = end == hostEnd && i > 0 && rest[i - 1] == u'.';
            if (AllDigits(piece))
                words.append(piece.size() <= 4 ? context.numbers.counting(piece.toLongLong())
                                               : context.numbers.digits(piece));
            else if (!HasVowel(piece) || (topLevel && piece.size() == 2))
                words.append(Letters(piece));
            else
                words.append(piece.toString());
            i = end;
            continue;
        }
        switch (rest[i].unicode()) {
        case u'.': words.append(context.rules.dot); break;
        case u'@': words.append(context.rules.at); break;
        case u'/': words.append(context.rules.slash); break;
        case u'-': words.append(context.rules.dash); break;
        case u'_': words.append(context.rules.underscore); break;
        case u':': words.append(context.rules.colon); break;
        default: break;
        }
        ++i;
    }
    return words.join(u' ');
}

int RomanValue(QStringView word)
{
    if (word.isEmpty() || word.size() > 15)
        return 0;
    const auto digit = [](QChar c) {
        switch (c.unicode()) {
        case u'I': return 1;
        case u'V': return 5;
        case u'X': return 10;
        case u'L': return 50;
        case u'C': return 100;
        case u'D': return 500;
        case u'M': return 1000;
        default: return 0;
        }
    };
    int value = 0;
    for (qsizetype i = 0; i < word.size(); ++i) {
        const int v = digit(word[i]);
        if (v == 0)
            return 0;
        const int next = i + 1 < word.size() ? digit(word[i + 1]) : 0;
        value += next > v ? -v : v;
    }
    if (value <= 0 || value >= 4000)
        return 0;
    // Only the usual way of writing it: "IIII", "IC" and "VX" are not numerals.
    static const char16_t *const thousands[] = {u"", u"M", u"MM", u"MMM"};
    static const char16_t *const hundreds[] = {u"", u"C", u"CC", u"CCC", u"CD", u"D", u"DC", u"DCC", u"DCCC", u"CM"};
    static const char16_t *const tens[] = {u"", u"X", u"XX", u"XXX", u"XL", u"L", u"LX", u"LXX", u"LXXX", u"XC"};
    static const char16_t *const ones[] = {u"", u"I", u"II", u"III", u"IV", u"V", u"VI", u"VII", u"VIII", u"IX"};
    const QString canonical = QString::fromUtf16(thousands[value / 1000]) + QString::fromUtf16(hundreds[value / 100 % 10]) +
                              QString::fromUtf16(tens[value / 10 % 10]) + QString::fromUtf16(ones[value % 10]);
    return canonical == word ? value : 0;
}

QString RegnalWords(int n, const ReadingContext &context)
{
    const NumberWords &numbers = context.numbers;
    switch (context.rules.language) {
    case Lang::English:
        return u"the "_s + numbers.ordinal(n);
    case Lang::French:
        return n == 1 ? numbers.ordinal(1) : numbers.counting(n);
    case Lang::German:
        return u"der "_s + Capitalized(numbers.ordinal(n));
    case Lang::Spanish:
        return n <= 10 ? numbers.ordinal(n) : numbers.counting(n);
    }
    return {};
}

QString Capitalized(const QString &text)
{
    if (text.isEmpty() || text[0].isUpper())
        return text;
    QString out = text;
    out[0] = out[0].toUpper();
    return out;
}
