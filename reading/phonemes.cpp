#include "reading/phonemes.h"

#include <QHash>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

using Table = QHash<QString, QString>;

// IPA symbols the languages share, with espeak-ng's mnemonics for them.
const std::initializer_list<std::pair<const char16_t *, const char16_t *>> kCommon = {
    {u"p", u"p"},   {u"b", u"b"},    {u"t", u"t"},    {u"d", u"d"},   {u"k", u"k"},   {u"g", u"g"},
    {u"ɡ", u"g"},   {u"f", u"f"},    {u"v", u"v"},    {u"s", u"s"},   {u"z", u"z"},   {u"h", u"h"},
    {u"m", u"m"},   {u"n", u"n"},    {u"l", u"l"},    {u"j", u"j"},   {u"w", u"w"},   {u"ʃ", u"S"},
    {u"ʒ", u"Z"},   {u"θ", u"T"},    {u"ð", u"D"},    {u"ŋ", u"N"},   {u"tʃ", u"tS"}, {u"dʒ", u"dZ"},
    {u"x", u"x"},   {u"ç", u"C"},    {u"ɲ", u"n^"},   {u"ʎ", u"l^"},  {u"β", u"B"},   {u"ɣ", u"Q"},
    {u"ʔ", u"?"},   {u"ts", u"ts"},  {u"a", u"a"},    {u"e", u"e"},   {u"i", u"i"},   {u"o", u"o"},
    {u"u", u"u"},   {u"ɛ", u"E"},    {u"ɔ", u"O"},    {u"ə", u"@"},   {u"y", u"y"},   {u"ɪ", u"I"},
    {u"ʊ", u"U"},   {u"r", u"r"},    {u"ɾ", u"r"},    {u"ʁ", u"r"},   {u"ɹ", u"r"},   {u"ɫ", u"l"},
};

const std::initializer_list<std::pair<const char16_t *, const char16_t *>> kEnglish = {
    {u"iː", u"i:"}, {u"uː", u"u:"}, {u"ɑː", u"A:"}, {u"ɑ", u"A:"}, {u"ɔː", u"O:"}, {u"ɜː", u"3:"},
    {u"ɜ", u"3:"},  {u"ɝ", u"3:"},  {u"ɚ", u"3"},   {u"æ", u"a"},  {u"ɒ", u"0"},   {u"ʌ", u"V"},
    {u"ɐ", u"a#"},  {u"eɪ", u"eI"}, {u"aɪ", u"aI"}, {u"ɔɪ", u"OI"}, {u"aʊ", u"aU"}, {u"oʊ", u"oU"},
    {u"əʊ", u"oU"}, {u"ɪə", u"i@"}, {u"eə", u"e@"}, {u"ɛə", u"e@"}, {u"ʊə", u"U@"}, {u"l̩", u"@L"},
    {u"n̩", u"@n"},  {u"ɾ", u"t"},   {u"ʍ", u"w"},
};

const std::initializer_list<std::pair<const char16_t *, const char16_t *>> kFrench = {
    {u"ɑ", u"a"},  {u"ɛː", u"E:"}, {u"ø", u"Y"},   {u"œ", u"W"},  {u"ɛ̃", u"E~"}, {u"ɑ̃", u"A~"},
    {u"ɔ̃", u"O~"}, {u"œ̃", u"W~"},  {u"ɥ", u"y"},   {u"ʀ", u"r"},
};

const std::initializer_list<std::pair<const char16_t *, const char16_t *>> kGerman = {
    {u"aː", u"a:"}, {u"ɑː", u"A:"}, {u"eː", u"e:"}, {u"ɛː", u"E:"}, {u"iː", u"i:"}, {u"oː", u"o:"},
    {u"uː", u"u:"}, {u"yː", u"y:"}, {u"øː", u"Y:"}, {u"ø", u"Y:"},  {u"œ", u"W"},   {u"œː", u"W:"},
    {u"ʏ", u"y"},   {u"ɐ", u"3"},   {u"ɜ", u"3"},   {u"aɪ", u"aI"}, {u"aʊ", u"aU"}, {u"ɔʏ", u"OY"},
    {u"ɔɪ", u"OY"}, {u"ɔø", u"OY"},
    {u"pf", u"pF"}, {u"χ", u"x"},   {u"ʀ", u"r"},
};

const std::initializer_list<std::pair<const char16_t *, const char16_t *>> kSpanish = {
    {u"ɾ", u"r"}, {u"r", u"R"}, {u"ʝ", u"j"}, {u"ɟ", u"J"}, {u"ʃ", u"S"},
};

Table MakeTable(std::initializer_list<std::pair<const char16_t *, const char16_t *>> own)
{
    Table table;
    for (const auto &[ipa, espeak] : kCommon)
        table.insert(QString::fromUtf16(ipa), QString::fromUtf16(espeak));
    for (const auto &[ipa, espeak] : own)
        table.insert(QString::fromUtf16(ipa), QString::fromUtf16(espeak));
    return table;
}

const Table &EspeakTable(const QString &language)
{
    static const Table common = MakeTable({});
    static const Table english = MakeTable(kEnglish);
    static const Table french = MakeTable(kFrench);
    static const Table german = MakeTable(kGerman);
    static const Table spanish = MakeTable(kSpanish);
    QString primary = language.trimmed().toLower();
    primary.replace(u'_', u'-');
    primary = primary.section(u'-', 0, 0);
    if (primary == u"en")
        return english;
    if (primary == u"fr")
        return french;
    if (primary == u"de")
        return german;
    if (primary == u"es")
        return spanish;
    return common;
}

// ipa without what the engines do not take: slashes or brackets around it, syllable
// breaks, ties, links, and marks of aspiration and of a vowel that is not a syllable.
QString Normalized(const QString &ipa)
{
    QString text = ipa.trimmed();
    if (text.size() >= 2 && ((text.startsWith(u'/') && text.endsWith(u'/')) ||
                             (text.startsWith(u'[') && text.endsWith(u']'))))
        text = text.mid(1, text.size() - 2).trimmed();
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'.': case 0x0361: case 0x035C: case 0x203F: case 0x02B0: case 0x032F: case 0x02D1: case 0x031A:
        case u'|': case 0x2016:
            continue;
        case u'\'': out += QChar(0x02C8); continue;
        case u',': out += QChar(0x02CC); continue;
        case u':': out += QChar(0x02D0); continue;
        default:
            out += c.isSpace() ? QChar(u' ') : c;
        }
    }
    return out.simplified();
}

} // namespace

QString IpaToEspeak(const QString &ipa, const QString &language)
{
    const Table &table = EspeakTable(language);
    const QString text = Normalized(ipa);
    QString out;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == QChar(0x02C8) || c == QChar(0x02CC)) {
            out += c == QChar(0x02C8) ? u'\'' : u',';
            ++i;
            continue;
        }
        if (c == u' ') {
            out += u' ';
            ++i;
            continue;
        }
        bool found = false;
        for (qsizetype length = std::min<qsizetype>(3, text.size() - i); length >= 1; --length) {
            const auto hit = table.constFind(text.mid(i, length));
            if (hit != table.cend()) {
                out += *hit;
                i += length;
                found = true;
                break;
            }
        }
        if (!found) {
            if (c == QChar(0x02D0)) { // a length mark the table has no long vowel for
                ++i;
                continue;
            }
            return {};
        }
    }
    return out;
}

QStringList IpaToFlite(const QString &ipa)
{
    struct Phone
    {
        const char16_t *ipa;
        const char16_t *phones;
        bool vowel;
    };
    // cmulex's phones (ARPAbet in lower case); a vowel takes its stress as a digit.
    static const Phone kPhones[] = {
        {u"tʃ", u"ch", false}, {u"dʒ", u"jh", false}, {u"p", u"p", false},  {u"b", u"b", false},
        {u"t", u"t", false},   {u"d", u"d", false},   {u"k", u"k", false},  {u"g", u"g", false},
        {u"ɡ", u"g", false},   {u"f", u"f", false},   {u"v", u"v", false},  {u"θ", u"th", false},
        {u"ð", u"dh", false},  {u"s", u"s", false},   {u"z", u"z", false},  {u"ʃ", u"sh", false},
        {u"ʒ", u"zh", false},  {u"h", u"hh", false},  {u"m", u"m", false},  {u"n", u"n", false},
        {u"ŋ", u"ng", false},  {u"l", u"l", false},   {u"ɫ", u"l", false},  {u"r", u"r", false},
        {u"ɹ", u"r", false},   {u"ɾ", u"t", false},   {u"w", u"w", false},  {u"ʍ", u"w", false},
        {u"j", u"y", false},   {u"eɪ", u"ey", true},  {u"aɪ", u"ay", true}, {u"ɔɪ", u"oy", true},
        {u"aʊ", u"aw", true},  {u"oʊ", u"ow", true},  {u"əʊ", u"ow", true}, {u"ɪə", u"ih r", true},
        {u"eə", u"eh r", true}, {u"ɛə", u"eh r", true}, {u"ʊə", u"uh r", true}, {u"iː", u"iy", true},
        {u"i", u"iy", true},   {u"ɪ", u"ih", true},   {u"e", u"ey", true},  {u"ɛ", u"eh", true},
        {u"æ", u"ae", true},   {u"a", u"ae", true},   {u"ɑː", u"aa", true}, {u"ɑ", u"aa", true},
        {u"ɒ", u"aa", true},   {u"ɔː", u"ao", true},  {u"ɔ", u"ao", true},  {u"ʊ", u"uh", true},
        {u"uː", u"uw", true},  {u"u", u"uw", true},   {u"ʌ", u"ah", true},  {u"ɐ", u"ah", true},
        {u"ə", u"ax", true},   {u"ɜː", u"er", true},  {u"ɜ", u"er", true},  {u"ɝ", u"er", true},
        {u"ɚ", u"er", true},   {u"l̩", u"ax l", true}, {u"n̩", u"ax n", true}, {u"m̩", u"ax m", true},
    };
    const QString text = Normalized(ipa);
    QStringList phones;
    QList<qsizetype> vowels;
    int stress = 0;
    bool anyStress = false;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == QChar(0x02C8) || c == QChar(0x02CC)) {
            stress = c == QChar(0x02C8) ? 1 : 2;
            anyStress = true;
            ++i;
            continue;
        }
        if (c == u' ' || c == QChar(0x02D0)) {
            ++i;
            continue;
        }
        const Phone *match = nullptr;
        qsizetype matchLength = 0;
        for (const Phone &phone : kPhones) {
            const QStringView key(phone.ipa);
            if (key.size() > matchLength && QStringView(text).mid(i).startsWith(key)) {
                match = &phone;
                matchLength = key.size();
            }
        }
        if (!match)
            return {};
        const QStringList parts = QString::fromUtf16(match->phones).split(u' ');
        for (qsizetype k = 0; k < parts.size(); ++k) {
            const bool vowel = match->vowel && k == 0;
            if (vowel) {
                const bool schwa = parts[k] == u"ax";
                vowels.append(phones.size());
                phones.append(parts[k] + QString::number(schwa ? 0 : stress));
                stress = 0;
            } else {
                phones.append(parts[k]);
            }
        }
        i += matchLength;
    }
    // Without stress marks the first full vowel carries the stress, as cmulex has it.
    if (!anyStress) {
        for (const qsizetype at : vowels) {
            if (!phones[at].startsWith(u"ax")) {
                phones[at].chop(1);
                phones[at] += u'1';
                break;
            }
        }
    }
    return phones;
}
