#include "reading/spokenform.h"

#include "reading/languagerules.h"
#include "reading/numberwords.h"
#include "reading/phonemes.h"
#include "reading/tokenreadings.h"

#include <QRegularExpression>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

using Lang = RulesLanguage;
using Use = AbbreviationUse;

// One run of characters between blanks; its core is without the punctuation around it
// and without one full stop after it, which fullStop then records.
struct Word
{
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype coreStart = 0;
    qsizetype coreEnd = 0;
    bool fullStop = false;
};

// What a rule read: source[start, end) is said as spoken; next is the first word not read.
struct Reading
{
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype next = 0;
    QString spoken;
    std::optional<LexiconHit> hit;
};

bool IsBlank(QChar c)
{
    return c.isSpace();
}

bool IsLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar(0x2028) || c == QChar(0x2029) || c == QChar(0x0B) ||
           c == QChar(0x0C);
}

bool IsLeadingPunctuation(QChar c)
{
    const QChar::Category category = c.category();
    return category == QChar::Punctuation_Open || category == QChar::Punctuation_InitialQuote || c == u'"' ||
           c == u'\'' || c == u'¿' || c == u'¡';
}

bool IsTrailingPunctuation(QChar c)
{
    const QChar::Category category = c.category();
    return category == QChar::Punctuation_Close || category == QChar::Punctuation_FinalQuote ||
           QStringView(u"\"',;:!?….").contains(c);
}

QList<Word> Words(QStringView text)
{
    QList<Word> words;
    words.reserve(text.size() / 6 + 1);
    qsizetype i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        if (i == text.size())
            break;
        Word word;
        word.start = i;
        while (i < text.size() && !IsBlank(text[i]))
            ++i;
        word.end = i;
        word.coreStart = word.start;
        word.coreEnd = word.end;
        while (word.coreEnd > word.coreStart && IsTrailingPunctuation(text[word.coreEnd - 1]))
            --word.coreEnd;
        while (word.coreStart < word.coreEnd && IsLeadingPunctuation(text[word.coreStart]))
            ++word.coreStart;
        word.fullStop = word.coreEnd < word.end && text[word.coreEnd] == u'.' &&
                        !(word.coreEnd + 1 < word.end && text[word.coreEnd + 1] == u'.');
        words.append(word);
    }
    return words;
}

bool StartsWithDigit(QStringView text)
{
    return !text.isEmpty() && text[0] >= u'0' && text[0] <= u'9';
}

bool HasDigit(QStringView text)
{
    for (const QChar c : text) {
        if (c >= u'0' && c <= u'9')
            return true;
    }
    return false;
}

bool AllDigits(QStringView text)
{
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return !text.isEmpty();
}

bool OnlyLetters(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (!c.isLetter() && c != u'-' && c != u'\'')
            return false;
    }
    return true;
}

bool IsRomanLetters(QStringView text)
{
    for (const QChar c : text) {
        if (!QStringView(u"IVXLCDM").contains(c))
            return false;
    }
    return !text.isEmpty();
}

const QRegularExpression &Pattern(int which)
{
    static const QRegularExpression patterns[] = {
        QRegularExpression(u"^(\\d{4})[-/](\\d{1,2})[-/](\\d{1,2})$"_s),                       // 0 ISO date
        QRegularExpression(u"^(\\d{1,2})([/.-])(\\d{1,2})\\2(\\d{4}|\\d{2})$"_s),               // 1 d/m/y
        QRegularExpression(u"^(\\d{1,2}):(\\d{2})(?:([ap])\\.?m\\.?)?$"_s,
                           QRegularExpression::CaseInsensitiveOption),                          // 2 time
        QRegularExpression(u"^(\\d{1,2})([ap])\\.?m$"_s, QRegularExpression::CaseInsensitiveOption), // 3 9am
        QRegularExpression(u"^(\\d{1,2})h(\\d{2})?$"_s),                                       // 4 14h30
        QRegularExpression(u"^(\\d{1,4})[-–—](\\d{1,4})$"_s),                                  // 5 range
        QRegularExpression(u"^(\\d{1,3})/(\\d{1,3})$"_s),                                      // 6 fraction
        QRegularExpression(u"^(\\d+)(st|nd|rd|th)(-\\w.*)?$"_s,
                           QRegularExpression::CaseInsensitiveOption),                          // 7 1st
        QRegularExpression(u"^(\\d+|[IVXLCDM]+)(er|re|ère|e|è|ème|eme|nd|nde|ers|res|ères|es|èmes)$"_s), // 8 1er
        QRegularExpression(u"^(\\d+)\\.?(º|ª|o|a|os|as|er)$"_s),                                // 9 1º
        QRegularExpression(u"^(\\d{2}|\\d{4})'?s$"_s),                                          // 10 1990s
        QRegularExpression(u"^\\d+([-.]\\d+){2,}$"_s),                                          // 11 groups
        QRegularExpression(u"^[\\dXx]+(-[\\dXx]+)*$"_s),                                        // 12 ISBN
        QRegularExpression(u"^\\(?\\+?\\d+\\)?([-.]\\d+)*$"_s),                                 // 13 phone group
        QRegularExpression(u"^(\\d{1,2})\\.(\\d{2})$"_s),                                      // 14 14.30
    };
    return patterns[which];
}

enum PatternId {
    IsoDate, NumericDate, Time, HourMeridiem, FrenchTime, Range, Fraction, EnglishOrdinal, FrenchOrdinal,
    SpanishOrdinal, Decade, DigitGroups, Isbn, PhoneGroup, DottedTime
};

QRegularExpressionMatch Match(PatternId id, QStringView text)
{
    return Pattern(id).match(text);
}

// The plural of the last word of a year said ("nineteen ninety" -> "nineteen nineties").
QString Decades(QString words)
{
    if (words.endsWith(u'y'))
        return words.chopped(1) + u"ies"_s;
    return words + u's';
}

class Scanner
{
public:
    Scanner(QStringView text, const QString &language, const Lexicon *lexicon)
        : m_text(text)
        , m_words(Words(text))
        , m_rules(LanguageRules::For(language))
        , m_numbers(NumberWords::For(language))
        , m_lexicon(lexicon && !lexicon->isEmpty() ? lexicon : nullptr)
    {
    }

    SpokenText run()
    {
        m_out.text.reserve(m_text.size() + m_text.size() / 8);
        qsizetype i = 0;
        while (i < m_words.size()) {
            std::optional<Reading> reading = readAt(i);
            if (!reading) {
                ++i;
                continue;
            }
            emit(*reading);
            i = std::max(reading->next, i + 1);
        }
        copyTo(m_text.size());
        return std::move(m_out);
    }

private:
    // --- the words around -------------------------------------------------------------

    QStringView core(qsizetype i) const
    {
        if (i < 0 || i >= m_words.size())
            return {};
        return m_text.mid(m_words[i].coreStart, m_words[i].coreEnd - m_words[i].coreStart);
    }

    QString folded(qsizetype i) const { return core(i).toString().toLower(); }

    bool capitalized(qsizetype i) const
    {
        const QStringView c = core(i);
        return !c.isEmpty() && c[0].isUpper();
    }

    bool lineBreakBefore(qsizetype i) const
    {
        if (i <= 0 || i >= m_words.size())
            return true;
        for (qsizetype k = m_words[i - 1].end; k < m_words[i].start; ++k) {
            if (IsLineBreak(m_text[k]))
                return true;
        }
        return false;
    }

    // True when words i and i + 1 stand together: no punctuation between them (a full
    // stop after i's core when stop allows it) and no line break.
    bool joined(qsizetype i, bool stop = false) const
    {
        if (i < 0 || i + 1 >= m_words.size() || lineBreakBefore(i + 1))
            return false;
        const Word &a = m_words[i];
        const Word &b = m_words[i + 1];
        const qsizetype aEnd = a.coreEnd + (stop && a.fullStop ? 1 : 0);
        return aEnd == a.end && b.coreStart == b.start;
    }

    bool sentenceStart(qsizetype i) const
    {
        if (i == 0 || lineBreakBefore(i))
            return true;
        const Word &before = m_words[i - 1];
        for (qsizetype k = before.end - 1; k >= before.coreEnd; --k) {
            const QChar c = m_text[k];
            if (c == u'.' || c == u'!' || c == u'?')
                return true;
        }
        return false;
    }

    // True when a sentence may end after word j: the text ends, a line breaks or a capital
    // follows.
    bool capitalOrEndAfter(qsizetype j) const
    {
        return j + 1 >= m_words.size() || lineBreakBefore(j + 1) || capitalized(j + 1) ||
               m_words[j + 1].coreStart == m_words[j + 1].coreEnd;
    }

    int monthAt(qsizetype i) const
    {
        const QStringView c = core(i);
        if (c.isEmpty() || !c[0].isLetter())
            return 0;
        // English and German write the months with a capital, and "may" is a verb
        const Lang language = m_rules->language;
        if ((language == Lang::English || language == Lang::German) && !c[0].isUpper())
            return 0;
        if (const int month = m_numbers.monthOf(c))
            return month;
        if (!m_words[i].fullStop)
            return 0;
        for (const qsizetype k : m_rules->abbreviationsByFirst.value(c.toString() + u'.')) {
            if (const int month = m_numbers.monthOf(m_rules->abbreviations[k].expansion))
                return month;
        }
        return 0;
    }

    bool isDayNumber(qsizetype i) const
    {
        const QStringView c = core(i);
        if (c.size() > 2 || c.isEmpty())
            return false;
        bool ok = false;
        const int day = c.toInt(&ok);
        return ok && day >= 1 && day <= 31;
    }

    OrdinalEnding germanEnding(qsizetype i, OrdinalEnding fallback) const
    {
        return germanArticleEnding(i).value_or(fallback);
    }

    // The German ordinal ending the article or preposition before word i asks for.
    std::optional<OrdinalEnding> germanArticleEnding(qsizetype i) const
    {
        static const QSet<QString> dative = {u"am"_s, u"im"_s, u"vom"_s, u"zum"_s, u"beim"_s, u"dem"_s,
                                             u"den"_s, u"des"_s, u"zur"_s, u"einem"_s, u"einen"_s,
                                             u"eines"_s, u"seinem"_s, u"ihrem"_s};
        static const QSet<QString> plain = {u"der"_s, u"die"_s, u"das"_s};
        if (i <= 0 || lineBreakBefore(i))
            return std::nullopt;
        const QString before = folded(i - 1);
        if (dative.contains(before))
            return OrdinalEnding::En;
        if (plain.contains(before))
            return OrdinalEnding::E;
        if (before == u"ein")
            return OrdinalEnding::Er;
        return std::nullopt;
    }

    // --- the output ---------------------------------------------------------------------

    void copyTo(qsizetype end)
    {
        if (end <= m_done)
            return;
        const qsizetype length = end - m_done;
        if (m_lastIdentity && !m_out.spans.isEmpty()) {
            m_out.spans.last().sourceLength += length;
            m_out.spans.last().spokenLength += length;
        } else {
            m_out.spans.append({m_done, length, m_out.text.size(), length, true});
        }
        m_out.text += m_text.mid(m_done, length);
        m_lastIdentity = true;
        m_done = end;
    }

    void emit(const Reading &reading)
    {
        copyTo(reading.start);
        if (reading.hit) {
            LexiconHit placed = *reading.hit;
            placed.start = m_out.text.size();
            placed.length = reading.spoken.size();
            m_out.lexiconHits.append(placed);
        }
        m_out.spans.append({reading.start, reading.end - reading.start, m_out.text.size(), reading.spoken.size(), false});
        m_out.text += reading.spoken;
        m_lastIdentity = false;
        m_done = reading.end;
    }

    Reading make(qsizetype i, qsizetype end, qsizetype next, QString spoken) const
    {
        return {m_words[i].coreStart, end, next, std::move(spoken), std::nullopt};
    }

    // --- the rules ------------------------------------------------------------------------

    std::optional<Reading> readAt(qsizetype i)
    {
        const Word &word = m_words[i];
        if (word.coreStart == word.coreEnd)
            return std::nullopt;
        if (m_lexicon) {
            if (std::optional<Reading> reading = lexiconAt(i))
                return reading;
        }
        if (!m_rules)
            return std::nullopt;
        const QStringView c = core(i);
        if (c.size() >= 4 && (c.contains(u'@') || c.contains(u'.') || c.contains(u"://")) && IsAddress(c))
            return make(i, word.coreEnd, i + 1, AddressWords(c, context()));
        if (std::optional<Reading> reading = abbreviation(i))
            return reading;
        if (HasDigit(c) || (c.size() > 1 && m_rules->currencies.contains(c.left(1).toString())) ||
            m_rules->currencies.contains(c.toString())) {
            if (std::optional<Reading> reading = numeric(i))
                return reading;
        }
        if (m_rules->language == Lang::French && c.size() > 1 && IsRomanLetters(c.left(1))) {
            if (std::optional<Reading> reading = ordinal(i)) // XIXe, Ier
                return reading;
        }
        if (c.size() <= 12 && IsRomanLetters(c)) {
            if (std::optional<Reading> reading = roman(i))
                return reading;
        }
        return std::nullopt;
    }

    ReadingContext context() const { return {*m_rules, m_numbers}; }

    // The longest grapheme of the lexicon that begins at word i.
    std::optional<Reading> lexiconAt(qsizetype i) const
    {
        const QStringView first = core(i);
        int most = m_lexicon->wordsFrom(first);
        QStringView possessive;
        if (most == 0 && first.size() > 2 && (first.endsWith(u"'s") || first.endsWith(u"’s"))) {
            possessive = first.right(2);
            if (m_lexicon->wordsFrom(first.chopped(2)) == 0)
                return std::nullopt;
            most = 1;
        }
        if (most == 0)
            return std::nullopt;
        for (qsizetype k = std::min<qsizetype>(most, m_words.size() - i); k >= 1; --k) {
            bool together = true;
            QString key;
            for (qsizetype w = i; w < i + k; ++w) {
                if (w > i) {
                    together = together && joined(w - 1);
                    key += u' ';
                }
                key += core(w);
            }
            if (!together)
                continue;
            if (!possessive.isEmpty())
                key.chop(2);
            const LexiconEntry *entry = m_lexicon->find(key);
            if (!entry)
                continue;
            const qsizetype end = m_words[i + k - 1].coreEnd - possessive.size();
            const QString written = m_text.mid(m_words[i].coreStart, end - m_words[i].coreStart).toString();
            return Reading{m_words[i].coreStart, end, i + k, entry->alias.isEmpty() ? written : entry->alias,
                           LexiconHit{0, 0, written, entry->alias, entry->ipa}};
        }
        return std::nullopt;
    }

    // Where the text at from holds form (a blank in form matching a run of blanks without
    // a line break), the end of it; -1 when it does not.
    qsizetype matchForm(qsizetype from, QStringView form) const
    {
        qsizetype at = from;
        for (const QChar f : form) {
            if (f == u' ') {
                if (at >= m_text.size() || !IsBlank(m_text[at]) || IsLineBreak(m_text[at]))
                    return -1;
                while (at < m_text.size() && IsBlank(m_text[at]) && !IsLineBreak(m_text[at]))
                    ++at;
                continue;
            }
            if (at >= m_text.size() || m_text[at] != f)
                return -1;
            ++at;
        }
        return at;
    }

    qsizetype wordContaining(qsizetype from, qsizetype position) const
    {
        qsizetype j = from;
        while (j + 1 < m_words.size() && m_words[j + 1].start < position)
            ++j;
        return j;
    }

    bool numberAfter(qsizetype j) const
    {
        if (j + 1 >= m_words.size() || lineBreakBefore(j + 1))
            return false;
        const QStringView next = core(j + 1);
        return StartsWithDigit(next) || (next != u"I" && RomanValue(next) > 0);
    }

    std::optional<Reading> abbreviation(qsizetype i)
    {
        const Word &word = m_words[i];
        const QStringView c = core(i);
        if (m_rules->language == Lang::German && word.fullStop && c.size() > 4 && c.endsWith(u"str") &&
            OnlyLetters(c)) {
            const qsizetype end = capitalOrEndAfter(i) ? word.coreEnd : word.coreEnd + 1;
            return make(i, end, i + 1, c.chopped(3).toString() + u"straße"_s); // Hauptstr.
        }
        if (m_rules->language == Lang::English) {
            if (std::optional<Reading> reading = streetOrTitle(i))
                return reading;
        }
        const QStringView withStop = m_text.mid(word.coreStart, word.coreEnd - word.coreStart + (word.fullStop ? 1 : 0));
        const QString key = withStop.toString();
        bool capital = false;
        auto found = m_rules->abbreviationsByFirst.constFind(key);
        if (found == m_rules->abbreviationsByFirst.cend() && !key.isEmpty() && key[0].isUpper()) {
            QString lowered = key;
            lowered[0] = lowered[0].toLower();
            found = m_rules->abbreviationsByFirst.constFind(lowered);
            capital = true;
        }
        if (found == m_rules->abbreviationsByFirst.cend())
            return std::nullopt;
        std::optional<Reading> best;
        qsizetype bestLength = 0;
        for (const qsizetype k : *found) {
            const Abbreviation &abbreviation = m_rules->abbreviations[k];
            QString form = abbreviation.form;
            if (capital)
                form[0] = form[0].toUpper();
            const qsizetype end = matchForm(word.coreStart, form);
            if (end < 0 || end - word.coreStart <= bestLength)
                continue;
            const qsizetype j = wordContaining(i, end);
            const Word &last = m_words[j];
            if (end != last.coreEnd && end != last.coreEnd + 1)
                continue;
            if (!usable(abbreviation, i, j, form))
                continue;
            QString spoken = abbreviation.expansion;
            if (word.coreStart < m_text.size() && m_text[word.coreStart].isUpper())
                spoken = Capitalized(spoken);
            qsizetype spokenEnd = end;
            if (abbreviation.use == Use::MayEnd && form.endsWith(u'.') && capitalOrEndAfter(j))
                spokenEnd = end - 1; // the full stop ends the sentence too
            best = Reading{word.coreStart, spokenEnd, j + 1, spoken, std::nullopt};
            bestLength = end - word.coreStart;
        }
        return best;
    }

    bool usable(const Abbreviation &abbreviation, qsizetype i, qsizetype j, QStringView form) const
    {
        switch (abbreviation.use) {
        case Use::Title:
            // "M. Dupont", "Mr Smith": a letter or a word without a stop is a title only before a name.
            if (form.size() <= 2 || !form.endsWith(u'.'))
                return joined(j, true) && capitalized(j + 1);
            return true;
        case Use::BeforeNumber:
            return numberAfter(j);
        case Use::NumberContext:
            return numberAfter(j) || (i > 0 && !lineBreakBefore(i) && isDayNumber(i - 1));
        case Use::Inner:
        case Use::MayEnd:
            return true;
        }
        return false;
    }

    // English "St." and "Dr.": Saint and Doctor before a name, Street and Drive after one.
    std::optional<Reading> streetOrTitle(qsizetype i)
    {
        const QStringView c = core(i);
        if (c != u"St" && c != u"Dr")
            return std::nullopt;
        const Word &word = m_words[i];
        const bool nameBefore = i > 0 && joined(i - 1) && capitalized(i - 1) && !sentenceStart(i - 1) &&
                                OnlyLetters(core(i - 1));
        const bool nameAfter = i + 1 < m_words.size() && !lineBreakBefore(i + 1) && capitalized(i + 1);
        const bool street = c == u"St" ? nameBefore || (!nameAfter && word.fullStop) : nameBefore && !nameAfter;
        if (!street && !nameAfter && !word.fullStop)
            return std::nullopt;
        if (street) {
            const qsizetype end = word.fullStop && !capitalOrEndAfter(i) ? word.coreEnd + 1 : word.coreEnd;
            return make(i, end, i + 1, c == u"St" ? u"Street"_s : u"Drive"_s);
        }
        return make(i, word.coreEnd + (word.fullStop ? 1 : 0), i + 1, c == u"St" ? u"Saint"_s : u"Doctor"_s);
    }

    // --- numbers --------------------------------------------------------------------------

    std::optional<Reading> numeric(qsizetype i)
    {
        for (auto rule : {&Scanner::telephone, &Scanner::isbn, &Scanner::money, &Scanner::date, &Scanner::time,
                          &Scanner::digitGroups, &Scanner::range, &Scanner::fraction, &Scanner::ordinal,
                          &Scanner::decade, &Scanner::amount}) {
            if (std::optional<Reading> reading = (this->*rule)(i))
                return reading;
        }
        return std::nullopt;
    }

    std::optional<Reading> telephone(qsizetype i)
    {
        const Word &word = m_words[i];
        const QStringView c = core(i);
        const bool plus = c.size() > 2 && c[0] == u'+' && c[1].isDigit();
        const bool named = i > 0 && !lineBreakBefore(i) && m_rules->phoneContext.contains(folded(i - 1));
        const bool areaCode = word.coreStart > word.start && m_text[word.coreStart - 1] == u'(' &&
                              word.coreEnd < word.end && m_text[word.coreEnd] == u')' && c.size() == 3 &&
                              i + 1 < m_words.size() && !lineBreakBefore(i + 1) &&
                              Match(PhoneGroup, core(i + 1)).hasMatch() && HasDigit(core(i + 1));
        const bool frenchPairs = m_rules->language == Lang::French && c.size() == 2 && c[0] == u'0' &&
                                 c[1].isDigit();
        if (!plus && !named && !areaCode && !frenchPairs)
            return std::nullopt;
        if (!Match(PhoneGroup, c).hasMatch())
            return std::nullopt;
        QList<QStringView> groups;
        qsizetype digits = 0;
        qsizetype j = i;
        for (;;) {
            const QStringView part = core(j);
            for (qsizetype k = 0; k < part.size();) {
                qsizetype run = k;
                while (run < part.size() && part[run].isDigit())
                    ++run;
                if (run > k) {
                    groups.append(part.mid(k, run - k));
                    digits += run - k;
                }
                k = std::max(run, k + 1);
            }
            const bool canGoOn = j + 1 < m_words.size() && !lineBreakBefore(j + 1) &&
                                 (joined(j) || (j == i && areaCode)) && Match(PhoneGroup, core(j + 1)).hasMatch() &&
                                 HasDigit(core(j + 1)) && digits + core(j + 1).size() <= 17;
            if (!canGoOn)
                break;
            ++j;
        }
        if (frenchPairs && !plus && !named) {
            if (groups.size() != 5)
                return std::nullopt;
            for (const QStringView group : groups) {
                if (group.size() != 2)
                    return std::nullopt;
            }
        }
        if (digits < (plus ? 7 : 3) || digits > 15)
            return std::nullopt;
        QString spoken;
        if (m_rules->language == Lang::French) {
            // French numbers are read in pairs: zéro un, vingt-trois, quarante-cinq
            spoken = plus ? m_rules->plus : QString();
            for (const QStringView group : groups) {
                if (!spoken.isEmpty())
                    spoken += spoken == m_rules->plus ? u" "_s : u", "_s;
                spoken += group.size() == 2 && group[0] != u'0' ? m_numbers.counting(group.toInt())
                                                               : m_numbers.digits(group);
            }
        } else {
            spoken = DigitGroupWords(groups, plus, context());
        }
        Reading reading = make(i, m_words[j].coreEnd, j + 1, spoken);
        if (areaCode)
            reading.start = word.coreStart - 1;
        return reading;
    }

    std::optional<Reading> isbn(qsizetype i)
    {
        if (i == 0 || lineBreakBefore(i))
            return std::nullopt;
        const QString before = folded(i - 1);
        if (before != u"isbn" && before != u"isbn-10" && before != u"isbn-13")
            return std::nullopt;
        const QStringView c = core(i);
        if (!Match(Isbn, c).hasMatch())
            return std::nullopt;
        QList<QStringView> groups = c.split(u'-', Qt::SkipEmptyParts);
        QString spoken = DigitGroupWords(groups, false, context());
        if (c.endsWith(u'X') || c.endsWith(u'x'))
            spoken += u" X"_s;
        return make(i, m_words[i].coreEnd, i + 1, spoken);
    }

    const CurrencyWords *currencySymbolAt(QStringView text, bool atEnd, qsizetype *length) const
    {
        for (const QString &symbol : {u"US$"_s, u"$"_s, u"€"_s, u"£"_s, u"¥"_s}) {
            if (atEnd ? text.endsWith(symbol) : text.startsWith(symbol)) {
                const auto found = m_rules->currencies.constFind(symbol);
                if (found != m_rules->currencies.cend()) {
                    *length = symbol.size();
                    return &*found;
                }
            }
        }
        return nullptr;
    }

    std::optional<Reading> money(qsizetype i)
    {
        const QStringView c = core(i);
        Amount amount;
        const CurrencyWords *currency = nullptr;
        qsizetype last = i;
        qsizetype length = 0;
        QStringView rest = c;
        bool negative = false;
        if (rest.startsWith(u'-') || rest.startsWith(QChar(0x2212))) {
            negative = true;
            rest = rest.mid(1);
        }
        if ((currency = currencySymbolAt(rest, false, &length)) && ParseAmount(rest.mid(length), *m_rules, &amount)) {
            // $12.50
        } else if ((currency = currencySymbolAt(c, true, &length)) && ParseAmount(c.chopped(length), *m_rules, &amount)) {
            // 12,50€
        } else if (ParseAmount(c, *m_rules, &amount) && joined(i) && joined(i + 1) &&
                   m_rules->magnitudes.contains(core(i + 1).toString()) && (currency = currencyNamed(core(i + 2)))) {
            // 3 millions €, 3 Millionen Euro
            return make(i, m_words[i + 2].coreEnd, i + 3, MoneyWords(amount, *currency, core(i + 1), context()));
        } else if (ParseAmount(c, *m_rules, &amount) && joined(i) &&
                   (currency = currencyNamed(core(i + 1)))) {
            last = i + 1; // 12,50 € or 12 EUR
        } else if ((currency = currencyNamed(c)) && joined(i) && ParseAmount(core(i + 1), *m_rules, &amount)) {
            last = i + 1; // € 12,50 or EUR 12
        } else {
            return std::nullopt;
        }
        amount.negative = amount.negative || negative;
        QStringView magnitude;
        if (joined(last) && m_rules->magnitudes.contains(core(last + 1).toString())) {
            ++last;
            magnitude = core(last);
        }
        return make(i, m_words[last].coreEnd, last + 1, MoneyWords(amount, *currency, magnitude, context()));
    }

    const CurrencyWords *currencyNamed(QStringView word) const
    {
        const auto found = m_rules->currencies.constFind(word.toString());
        return found == m_rules->currencies.cend() ? nullptr : &*found;
    }

    std::optional<Reading> date(qsizetype i)
    {
        const Word &word = m_words[i];
        const QStringView c = core(i);
        int day = 0;
        int month = 0;
        int year = 0;
        int yearDigits = 0;
        qsizetype end = word.coreEnd;
        if (const QRegularExpressionMatch m = Match(IsoDate, c); m.hasMatch()) {
            year = m.capturedView(1).toInt();
            month = m.capturedView(2).toInt();
            day = m.capturedView(3).toInt();
            yearDigits = 4;
        } else if (const QRegularExpressionMatch n = Match(NumericDate, c); n.hasMatch()) {
            int first = n.capturedView(1).toInt();
            int second = n.capturedView(3).toInt();
            year = n.capturedView(4).toInt();
            yearDigits = int(n.capturedView(4).size());
            bool dayFirst = n.capturedView(2) == u"." || m_numbers.dateOrder() == DateOrder::DayMonth;
            if (dayFirst && second > 12 && first <= 12)
                dayFirst = false;
            else if (!dayFirst && first > 12 && second <= 12)
                dayFirst = true;
            day = dayFirst ? first : second;
            month = dayFirst ? second : first;
        } else if (m_rules->language == Lang::German && word.fullStop && c.count(u'.') == 1) {
            const qsizetype dot = c.indexOf(u'.');
            bool dayOk = false;
            bool monthOk = false;
            day = c.left(dot).toInt(&dayOk);
            month = c.mid(dot + 1).toInt(&monthOk);
            if (!dayOk || !monthOk || dot > 2 || c.size() - dot - 1 > 2)
                return std::nullopt;
            if (!capitalOrEndAfter(i))
                end = word.coreEnd + 1;
        } else {
            return std::nullopt;
        }
        if (day < 1 || day > 31 || month < 1 || month > 12)
            return std::nullopt;
        const bool article = !(i > 0 && folded(i - 1) == u"the");
        return make(i, end, i + 1,
                    DateWords(day, month, year, yearDigits, context(), germanEnding(i, OrdinalEnding::Er), article));
    }

    std::optional<Reading> time(qsizetype i)
    {
        const QStringView c = core(i);
        const Lang language = m_rules->language;
        int hour = -1;
        int minute = 0;
        QString meridiem;
        qsizetype last = i;
        if (const QRegularExpressionMatch m = Match(Time, c); m.hasMatch()) {
            hour = m.capturedView(1).toInt();
            minute = m.capturedView(2).toInt();
            if (m.capturedLength(3) > 0)
                meridiem = m.capturedView(3).toString().toLower() + u'm';
        } else if (const QRegularExpressionMatch h = Match(HourMeridiem, c);
                   h.hasMatch() && language == Lang::English) {
            hour = h.capturedView(1).toInt();
            meridiem = h.capturedView(2).toString().toLower() + u'm';
        } else if (const QRegularExpressionMatch f = Match(FrenchTime, c); f.hasMatch() && language == Lang::French) {
            hour = f.capturedView(1).toInt();
            minute = f.capturedLength(2) > 0 ? f.capturedView(2).toInt() : 0;
        } else if (const QRegularExpressionMatch d = Match(DottedTime, c);
                   d.hasMatch() && joined(i) && (folded(i + 1) == u"uhr" || folded(i + 1) == u"h")) {
            hour = d.capturedView(1).toInt();
            minute = d.capturedView(2).toInt();
        } else if (language == Lang::French && c.size() <= 2 && StartsWithDigit(c) && joined(i) &&
                   core(i + 1) == u"h" && joined(i + 1) && core(i + 2).size() == 2 && StartsWithDigit(core(i + 2))) {
            hour = c.toInt(); // 14 h 30
            minute = core(i + 2).toInt();
            last = i + 2;
        } else if (language == Lang::English && c.size() <= 2 && StartsWithDigit(c) && joined(i, false) &&
                   isMeridiem(i + 1)) {
            hour = c.toInt(); // 9 am
        } else {
            return std::nullopt;
        }
        qsizetype end = m_words[last].coreEnd;
        if (language == Lang::English && meridiem.isEmpty() && joined(i) && isMeridiem(i + 1)) {
            last = i + 1;
            meridiem = core(last).left(1).toString().toLower() + u'm';
            end = m_words[last].coreEnd + (m_words[last].fullStop && !capitalOrEndAfter(last) ? 1 : 0);
        } else if (language == Lang::German && joined(i) && folded(i + 1) == u"uhr") {
            last = i + 1;
            end = m_words[last].coreEnd;
        }
        if (hour < 0 || hour > 24 || minute > 59 || (!meridiem.isEmpty() && (hour < 1 || hour > 12)))
            return std::nullopt;
        return make(i, end, last + 1, TimeWords(hour, minute, meridiem, context()));
    }

    bool isMeridiem(qsizetype i) const
    {
        const QString word = folded(i);
        if (word == u"am" || word == u"pm")
            return core(i) == u"am" || core(i) == u"pm" || core(i) == u"AM" || core(i) == u"PM";
        return word == u"a.m" || word == u"p.m";
    }

    std::optional<Reading> digitGroups(qsizetype i)
    {
        const QStringView c = core(i);
        if (!Match(DigitGroups, c).hasMatch())
            return std::nullopt;
        const bool dotted = c.contains(u'.');
        if (dotted && c.contains(u'-'))
            return std::nullopt;
        const QList<QStringView> groups = c.split(dotted ? u'.' : u'-');
        QString spoken;
        if (dotted && !(m_rules->language == Lang::French && groups.size() == 5 && c.startsWith(u'0'))) {
            // a version or an Internet address: 1.2.3 is "one dot two dot three"
            for (const QStringView group : groups) {
                if (!spoken.isEmpty())
                    spoken += u' ' + m_rules->dot + u' ';
                spoken += group.size() > 1 && group.startsWith(u'0') ? m_numbers.digits(group)
                                                                     : m_numbers.counting(group.toLongLong());
            }
        } else if (dotted) {
            for (const QStringView group : groups) {
                if (!spoken.isEmpty())
                    spoken += u", "_s;
                spoken += group[0] != u'0' ? m_numbers.counting(group.toInt()) : m_numbers.digits(group);
            }
        } else {
            spoken = DigitGroupWords(groups, false, context());
        }
        return make(i, m_words[i].coreEnd, i + 1, spoken);
    }

    bool isYearish(QStringView digits) const
    {
        if (digits.size() != 4 || !StartsWithDigit(digits))
            return false;
        const int value = digits.toInt();
        return value >= 1000 && value <= 2099;
    }

    std::optional<Reading> range(qsizetype i)
    {
        const QStringView c = core(i);
        QStringView from;
        QStringView to;
        qsizetype last = i;
        if (const QRegularExpressionMatch m = Match(Range, c); m.hasMatch()) {
            from = m.capturedView(1);
            to = m.capturedView(2);
        } else if (joined(i) && joined(i + 1) && QStringView(u"-–—").contains(core(i + 1)) &&
                   core(i + 1).size() == 1 && Match(Range, c.toString() + u'-' + core(i + 2).toString()).hasMatch()) {
            from = c;
            to = core(i + 2);
            last = i + 2;
        } else {
            return std::nullopt;
        }
        QString toDigits = to.toString();
        const bool years = isYearish(from) && (isYearish(to) || (to.size() == 2 && i > 0 && !StartsWithDigit(core(i - 1))));
        if (years && to.size() == 2)
            toDigits = from.left(2).toString() + to.toString(); // 1990-95
        const qint64 a = from.toLongLong();
        const qint64 b = toDigits.toLongLong();
        if (years && b < a)
            return std::nullopt;
        const ReadingContext ctx = context();
        QString spoken = years ? YearWords(int(a), 4, ctx) + u' ' + m_rules->to + u' ' + YearWords(int(b), 4, ctx)
                               : m_numbers.counting(a) + u' ' + m_rules->to + u' ' + m_numbers.counting(b);
        qsizetype end = m_words[last].coreEnd;
        if (!years && joined(last)) {
            const auto unit = m_rules->units.constFind(core(last + 1).toString());
            if (unit != m_rules->units.cend()) {
                ++last;
                spoken += u' ' + unit->plural;
                end = m_words[last].coreEnd;
            } else if (core(last + 1) == u"%") {
                ++last;
                spoken += u' ' + m_rules->percent;
                end = m_words[last].coreEnd;
            }
        }
        return make(i, end, last + 1, spoken);
    }

    std::optional<Reading> fraction(qsizetype i)
    {
        const QRegularExpressionMatch m = Match(Fraction, core(i));
        if (!m.hasMatch())
            return std::nullopt;
        const qint64 numerator = m.capturedView(1).toLongLong();
        const qint64 denominator = m.capturedView(2).toLongLong();
        if (numerator < 1 || denominator < 2 || m.capturedView(2).startsWith(u'0'))
            return std::nullopt;
        QString spoken;
        if (numerator == 24 && denominator == 7) {
            static const QString roundTheClock[] = {u"twenty-four seven"_s, u"vingt-quatre heures sur vingt-quatre"_s,
                                                    u"rund um die Uhr"_s, u"veinticuatro siete"_s};
            spoken = roundTheClock[static_cast<int>(m_rules->language)];
        } else {
            spoken = FractionWords(numerator, denominator, context());
        }
        return make(i, m_words[i].coreEnd, i + 1, spoken);
    }

    std::optional<Reading> ordinal(qsizetype i)
    {
        const QStringView c = core(i);
        const Lang language = m_rules->language;
        const qsizetype end = m_words[i].coreEnd;
        if (language == Lang::English) {
            const QRegularExpressionMatch m = Match(EnglishOrdinal, c);
            if (!m.hasMatch() || m.capturedLength(1) > 15)
                return std::nullopt;
            const qint64 n = m.capturedView(1).toLongLong();
            QString spoken = m_numbers.ordinal(n);
            if (monthAt(i + 1) && joined(i) && !(i > 0 && folded(i - 1) == u"the"))
                spoken = u"the "_s + spoken + u" of"_s;
            return make(i, end, i + 1, spoken + m.capturedView(3).toString());
        }
        if (language == Lang::French) {
            const QRegularExpressionMatch m = Match(FrenchOrdinal, c);
            if (!m.hasMatch() || m.capturedLength(1) > 15)
                return std::nullopt;
            const QStringView number = m.capturedView(1);
            const qint64 n = StartsWithDigit(number) ? number.toLongLong() : RomanValue(number);
            // "Le", "De", "Ces", "Mes" are words: a lone L, C, D or M is never a numeral here
            if (n <= 0 || (number.size() == 1 && QStringView(u"LCDM").contains(number[0])))
                return std::nullopt;
            const QStringView suffix = m.capturedView(2);
            const bool feminine = suffix == u"re" || suffix == u"ère" || suffix == u"res" || suffix == u"ères" ||
                                  suffix == u"nde";
            const bool plural = suffix.endsWith(u's');
            const bool firstSuffix = suffix.startsWith(u"er") || suffix.startsWith(u"re") || suffix.startsWith(u"èr");
            if (firstSuffix != (n == 1) || (suffix.startsWith(u"nd") && n != 2))
                return std::nullopt;
            QString spoken = m_numbers.ordinal(n, feminine ? Gender::Feminine : Gender::Masculine, plural);
            if (n == 2 && suffix.startsWith(u"nd"))
                spoken = feminine ? u"seconde"_s : u"second"_s;
            return make(i, end, i + 1, spoken);
        }
        if (language == Lang::Spanish) {
            const QRegularExpressionMatch m = Match(SpanishOrdinal, c);
            if (!m.hasMatch() || m.capturedLength(1) > 15)
                return std::nullopt;
            const qint64 n = m.capturedView(1).toLongLong();
            const QStringView suffix = m.capturedView(2);
            const bool feminine = suffix == u"ª" || suffix.startsWith(u'a');
            QString spoken = m_numbers.ordinal(n, feminine ? Gender::Feminine : Gender::Masculine, suffix.endsWith(u's'));
            if (suffix == u"er" && spoken.endsWith(u'o'))
                spoken.chop(1); // 1er, 3er: primer, tercer
            return make(i, end, i + 1, spoken);
        }
        return std::nullopt;
    }

    std::optional<Reading> decade(qsizetype i)
    {
        if (m_rules->language != Lang::English)
            return std::nullopt;
        const QRegularExpressionMatch m = Match(Decade, core(i));
        if (!m.hasMatch())
            return std::nullopt;
        const int value = m.capturedView(1).toInt();
        if (value % 10 != 0)
            return std::nullopt;
        const QString spoken = m.capturedLength(1) == 4 ? m_numbers.year(value) : m_numbers.counting(value);
        return make(i, m_words[i].coreEnd, i + 1, Decades(spoken));
    }

    std::optional<Reading> amount(qsizetype i)
    {
        const Word &word = m_words[i];
        const QStringView c = core(i);
        Amount amount;
        QStringView suffix;
        if (!ParseAmount(c, *m_rules, &amount)) {
            // a unit or a percent sign written on the number: 5km, 20°C, 50%
            qsizetype split = 0;
            while (split < c.size() && (c[split].isDigit() || QStringView(u"-−+.,").contains(c[split])))
                ++split;
            suffix = c.mid(split);
            if (split == 0 || suffix.isEmpty() || !ParseAmount(c.left(split), *m_rules, &amount))
                return std::nullopt;
            if (suffix != u"%" && !m_rules->units.contains(suffix.toString()))
                return std::nullopt;
        }
        const ReadingContext ctx = context();
        qsizetype last = i;
        if (suffix.isEmpty() && joined(i)) {
            const QStringView next = core(i + 1);
            if (next == u"%" || m_rules->units.contains(next.toString())) {
                suffix = next;
                last = i + 1;
            }
        }
        if (suffix == u"%")
            return make(i, m_words[last].coreEnd, last + 1, AmountWords(amount, ctx) + u' ' + m_rules->percent);
        if (!suffix.isEmpty()) {
            const UnitWords unit = m_rules->units.value(suffix.toString());
            return make(i, m_words[last].coreEnd, last + 1, QuantityWords(amount, unit, ctx));
        }
        const bool plain = amount.isInteger() && !amount.negative && !amount.positive && !amount.grouped;
        if (plain && m_rules->language == Lang::German && word.fullStop && c.size() <= 3) {
            if (std::optional<Reading> reading = germanOrdinal(i, amount.value()))
                return reading;
        }
        if (plain && c.size() <= 2 && amount.value() >= 1 && amount.value() <= 31) {
            if (std::optional<Reading> reading = dayOfMonth(i, int(amount.value())))
                return reading;
        }
        if (plain && isYearish(c) && yearContext(i))
            return make(i, word.coreEnd, i + 1, m_numbers.year(int(amount.value())));
        if (plain && c.size() > 1 && c.startsWith(u'0') && c.size() <= 15)
            return make(i, word.coreEnd, i + 1, m_numbers.digits(c));
        // French groups of three digits written apart: 12 500, 1 000 000
        if (plain && c.size() <= 3 && joined(i) && (m_rules->language == Lang::French || groupedBlankAfter(i))) {
            qsizetype j = i;
            QString digits = c.toString();
            while (j - i < 5 && joined(j) && core(j + 1).size() == 3 && AllDigits(core(j + 1))) {
                ++j;
                digits += core(j);
            }
            if (j > i) {
                Amount whole;
                whole.integer = digits;
                return amountWithFollowing(i, j, whole);
            }
        }
        return amountWithFollowing(i, i, amount);
    }

    // The gender a number takes before word i when word i is the thing counted: "ein Buch",
    // "un libro", "une heure"; none in English or before a word that counts nothing.
    std::optional<Gender> countedGender(qsizetype i) const
    {
        const QStringView word = core(i);
        if (m_rules->language == Lang::English || word.isEmpty() || !word[0].isLetter())
            return std::nullopt;
        const QString lower = word.toString().toLower();
        if (m_rules->feminineNouns.contains(lower))
            return Gender::Feminine;
        if (m_rules->language == Lang::German && !word[0].isUpper())
            return std::nullopt;
        if (m_rules->notCounted.contains(lower) || word.size() < 3)
            return std::nullopt;
        return Gender::Masculine;
    }

    bool groupedBlankAfter(qsizetype i) const
    {
        if (i + 1 >= m_words.size())
            return false;
        const qsizetype gap = m_words[i + 1].start - m_words[i].end;
        const QChar c = m_text[m_words[i].end];
        return gap == 1 && (c == QChar(0x00A0) || c == QChar(0x202F) || c == QChar(0x2009));
    }

    // An amount, with the currency or unit after it when one follows.
    std::optional<Reading> amountWithFollowing(qsizetype i, qsizetype last, const Amount &amount)
    {
        const ReadingContext ctx = context();
        if (joined(last)) {
            const QStringView next = core(last + 1);
            if (const CurrencyWords *currency = currencyNamed(next))
                return make(i, m_words[last + 1].coreEnd, last + 2, MoneyWords(amount, *currency, {}, ctx));
            const auto unit = m_rules->units.constFind(next.toString());
            if (unit != m_rules->units.cend())
                return make(i, m_words[last + 1].coreEnd, last + 2, QuantityWords(amount, *unit, ctx));
            if (next == u"%")
                return make(i, m_words[last + 1].coreEnd, last + 2, AmountWords(amount, ctx) + u' ' + m_rules->percent);
            if (std::optional<Gender> gender = countedGender(last + 1))
                return make(i, m_words[last].coreEnd, last + 1, AmountWords(amount, ctx, gender));
        }
        return make(i, m_words[last].coreEnd, last + 1, AmountWords(amount, ctx));
    }

    // German "3." before a noun or after an article is an ordinal, unless a date claims it.
    std::optional<Reading> germanOrdinal(qsizetype i, qint64 n)
    {
        const bool hasNext = i + 1 < m_words.size() && !lineBreakBefore(i + 1);
        const bool month = hasNext && monthAt(i + 1) > 0;
        const bool century = hasNext && m_rules->centuryAfter.contains(folded(i + 1));
        const bool lower = hasNext && !core(i + 1).isEmpty() && core(i + 1)[0].isLower();
        const std::optional<OrdinalEnding> asked = germanArticleEnding(i);
        const OrdinalEnding ending = asked.value_or(month ? OrdinalEnding::Er : OrdinalEnding::E);
        if (!month && !century && !lower && !asked)
            return std::nullopt;
        const qsizetype end = m_words[i].coreEnd + 1;
        return make(i, end, i + 1, m_numbers.ordinal(n, Gender::Masculine, false, ending));
    }

    // A day next to the month's name: "March 4" and "4 March" in English (fourth), "4 mars"
    // in French (quatre, premier), "4 de marzo" in Spanish (cuatro, primero).
    std::optional<Reading> dayOfMonth(qsizetype i, int day)
    {
        const Lang language = m_rules->language;
        const bool monthBefore = i > 0 && joined(i - 1, true) && monthAt(i - 1) > 0;
        bool monthAfter = joined(i) && monthAt(i + 1) > 0;
        if (language == Lang::Spanish)
            monthAfter = joined(i) && folded(i + 1) == u"de" && joined(i + 1) && monthAt(i + 2) > 0;
        if (!monthBefore && !monthAfter)
            return std::nullopt;
        const qsizetype end = m_words[i].coreEnd;
        switch (language) {
        case Lang::English: {
            QString spoken = m_numbers.ordinal(day);
            if (monthAfter && !(i > 0 && folded(i - 1) == u"the"))
                spoken = u"the "_s + spoken + u" of"_s;
            else if (monthAfter)
                spoken += u" of"_s;
            return make(i, end, i + 1, spoken);
        }
        case Lang::French:
        case Lang::Spanish:
            if (!monthAfter)
                return std::nullopt;
            return make(i, end, i + 1, day == 1 ? m_numbers.ordinal(1) : m_numbers.counting(day));
        case Lang::German:
            return std::nullopt;
        }
        return std::nullopt;
    }

    bool yearContext(qsizetype i) const
    {
        const Word &word = m_words[i];
        if (word.coreStart > word.start && m_text[word.coreStart - 1] == u'(' && word.coreEnd < word.end &&
            m_text[word.coreEnd] == u')')
            return true;
        if (i > 0 && !lineBreakBefore(i)) {
            if (m_rules->yearContext.contains(folded(i - 1)) || monthAt(i - 1) > 0)
                return true;
            if (i > 1 && isDayNumber(i - 1) && monthAt(i - 2) > 0)
                return true; // March 4, 2024
            if (i > 1 && isDayNumber(i - 2) && monthAt(i - 1) > 0)
                return true; // 4 March 2024
        }
        if (i + 1 < m_words.size() && !lineBreakBefore(i + 1)) {
            static const QSet<QString> eras = {u"bc"_s, u"ad"_s, u"bce"_s, u"ce"_s, u"b.c"_s, u"a.d"_s,
                                               u"av"_s, u"apr"_s, u"v"_s, u"n"_s, u"a"_s, u"d"_s};
            if (eras.contains(folded(i + 1)))
                return true;
        }
        return false;
    }

    // --- Roman numerals ----------------------------------------------------------------

    std::optional<Reading> roman(qsizetype i)
    {
        const Word &word = m_words[i];
        const QStringView c = core(i);
        const int value = RomanValue(c);
        if (value == 0)
            return std::nullopt;
        // A letter that is a name more often than a number (Part C, Appendix D) stays.
        if (c.size() == 1 && QStringView(u"LCDM").contains(c[0]))
            return std::nullopt;
        const bool before = i > 0 && joined(i - 1);
        const bool after = joined(i);
        const QString previous = before ? folded(i - 1) : QString();
        const Lang language = m_rules->language;
        qsizetype end = word.coreEnd;
        if (before && m_rules->counterWords.contains(previous))
            return make(i, end, i + 1, m_numbers.counting(value));
        if (after && m_rules->centuryAfter.contains(folded(i + 1))) {
            if (language == Lang::German)
                return make(i, end, i + 1, m_numbers.ordinal(value, Gender::Neuter, false, germanEnding(i, OrdinalEnding::E)));
            return make(i, end, i + 1, m_numbers.ordinal(value));
        }
        if (before && m_rules->centuryBefore.contains(previous))
            return make(i, end, i + 1, value <= 10 ? m_numbers.ordinal(value) : m_numbers.counting(value));
        const bool ruler = (before && LanguageRules::IsRulerName(core(i - 1))) ||
                           (i > 1 && before && joined(i - 2) &&
                            LanguageRules::IsRulerName(core(i - 2).toString() + u' ' + core(i - 1).toString()));
        if (ruler) {
            // German "Heinrich VIII. war": the stop belongs to the numeral
            if (language == Lang::German && word.fullStop && !capitalOrEndAfter(i))
                end = word.coreEnd + 1;
            return make(i, end, i + 1, RegnalWords(value, context()));
        }
        return std::nullopt;
    }

    QStringView m_text;
    QList<Word> m_words;
    const LanguageRules *m_rules;
    const NumberWords &m_numbers;
    const Lexicon *m_lexicon;
    SpokenText m_out;
    qsizetype m_done = 0;
    bool m_lastIdentity = false;
};

} // namespace

SpokenSpan SpokenText::sourceOf(qsizetype start, qsizetype length) const
{
    if (spans.isEmpty())
        return {};
    const qsizetype end = start + std::max<qsizetype>(length, 1);
    auto first = std::upper_bound(spans.cbegin(), spans.cend(), start,
                                  [](qsizetype at, const SpokenSpan &span) { return at < span.spokenStart; });
    if (first != spans.cbegin())
        --first;
    auto last = first;
    while (last + 1 != spans.cend() && (last + 1)->spokenStart < end)
        ++last;
    SpokenSpan out;
    out.sourceStart = first->sourceStart;
    out.spokenStart = first->spokenStart;
    out.sourceLength = last->sourceStart + last->sourceLength - first->sourceStart;
    out.spokenLength = last->spokenStart + last->spokenLength - first->spokenStart;
    out.asWritten = first == last && first->asWritten;
    if (out.asWritten && length > 0) {
        const qsizetype offset = start - first->spokenStart;
        const qsizetype inside = std::min(length, first->spokenLength - offset);
        if (offset >= 0 && inside > 0)
            return {first->sourceStart + offset, inside, start, inside, true};
    }
    return out;
}

SpokenText SpokenForm(QStringView text, const QString &language, const Lexicon *lexicon)
{
    return Scanner(text, language, lexicon).run();
}

QString EspeakInput(const QString &text, const QList<LexiconHit> &hits, const QString &language)
{
    // The document's own "[[" is never phoneme input.
    const auto words = [&text](qsizetype from, qsizetype to) {
        QString piece = text.mid(from, to - from);
        piece.replace(u"[["_s, u"[ ["_s);
        piece.replace(u"]]"_s, u"] ]"_s);
        return piece;
    };
    QString out;
    qsizetype done = 0;
    for (const LexiconHit &hit : hits) {
        if (hit.ipa.isEmpty() || hit.start < done || hit.start + hit.length > text.size())
            continue;
        const QString phonemes = IpaToEspeak(hit.ipa, language);
        if (phonemes.isEmpty())
            continue;
        // Nothing between "]]" and a stop after it: espeak-ng reads a stop standing alone as "dot".
        out += words(done, hit.start) + u"[["_s + phonemes + u"]]"_s;
        done = hit.start + hit.length;
    }
    return out + words(done, text.size());
}

QString SayAs(QStringView content, QStringView interpretAs, QStringView format, const QString &language)
{
    const QString kind = interpretAs.trimmed().toString().toLower();
    const QString text = content.trimmed().toString();
    const LanguageRules *rules = LanguageRules::For(language);
    if (kind == u"characters" || kind == u"spell-out") {
        QStringList letters;
        for (const QChar c : text) {
            if (c.isSpace())
                continue;
            letters.append(rules && c.isDigit() ? NumberWords::For(language).digits(QStringView(&c, 1)) : QString(c));
        }
        return letters.join(u' ');
    }
    if (!rules)
        return text;
    const NumberWords &numbers = NumberWords::For(language);
    const ReadingContext context{*rules, numbers};
    Amount amount;
    if (kind == u"cardinal" || kind == u"number")
        return ParseAmount(text, *rules, &amount) ? AmountWords(amount, context) : text;
    QList<QStringView> digitRuns;
    for (qsizetype i = 0; i < text.size();) {
        qsizetype end = i;
        while (end < text.size() && text[end] >= u'0' && text[end] <= u'9')
            ++end;
        if (end > i)
            digitRuns.append(QStringView(text).mid(i, end - i));
        i = std::max(end, i + 1);
    }
    if (kind == u"ordinal") {
        if (digitRuns.size() != 1 || !StartsWithDigit(text) || digitRuns[0].size() > 15)
            return text;
        return numbers.ordinal(digitRuns[0].toLongLong());
    }
    if (kind == u"telephone")
        return digitRuns.isEmpty() ? text : DigitGroupWords(digitRuns, text.startsWith(u'+'), context);
    if (kind != u"date" || digitRuns.isEmpty() || digitRuns.size() > 3)
        return text;
    QString order = format.trimmed().toString().toLower();
    if (order.isEmpty()) {
        if (digitRuns.size() == 3)
            order = digitRuns[0].size() == 4 ? u"ymd"_s
                                             : (numbers.dateOrder() == DateOrder::DayMonth ? u"dmy"_s : u"mdy"_s);
        else
            order = digitRuns.size() == 1 ? u"y"_s : u"md"_s;
    }
    if (order.size() != digitRuns.size())
        return text;
    int day = 0;
    int month = 0;
    int year = 0;
    int yearDigits = 0;
    for (qsizetype k = 0; k < order.size(); ++k) {
        const int value = digitRuns[k].toInt();
        switch (order[k].unicode()) {
        case u'd': day = value; break;
        case u'm': month = value; break;
        case u'y':
            year = value;
            yearDigits = digitRuns[k].size() == 2 ? 2 : 4;
            break;
        default: return text;
        }
    }
    if (month < 0 || month > 12 || day < 0 || day > 31)
        return text;
    if (day > 0 && month > 0)
        return DateWords(day, month, year, yearDigits, context);
    if (month > 0)
        return yearDigits ? numbers.monthName(month) + u' ' + YearWords(year, yearDigits, context)
                          : numbers.monthName(month);
    return yearDigits ? YearWords(year, yearDigits, context) : text;
}
