#include "reading/lexicon.h"

#include "reading/xmlguard.h"

#include <QFile>
#include <QXmlStreamReader>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr int kMaxWarnings = 100;
constexpr int kMaxDepth = 32;
const QString kPlsNamespace = u"http://www.w3.org/2005/01/pronunciation-lexicon"_s;

bool AllLowerCase(const QString &text)
{
    return text == text.toLower();
}

QString FirstWord(const QString &grapheme)
{
    const qsizetype space = grapheme.indexOf(u' ');
    return space < 0 ? grapheme : grapheme.left(space);
}

QString Shown(const QString &text)
{
    return text.size() > 40 ? text.left(40) + u"…"_s : text;
}

} // namespace

// Gathers the entries of a lexicon, refusing what passes the limits, and builds its
// indexes once all are in.
class LexiconBuilder
{
public:
    explicit LexiconBuilder(LexiconResult &result)
        : m_result(result)
    {
    }

    void warn(const QString &warning)
    {
        if (m_warnings < kMaxWarnings)
            m_result.warnings.append(warning);
        else if (m_warnings == kMaxWarnings)
            m_result.warnings.append(u"more entries were left out"_s);
        ++m_warnings;
    }

    // Adds an entry (where is "line N" for the warnings); false when the lexicon is full.
    bool add(LexiconEntry entry, const QString &where)
    {
        entry.grapheme = entry.grapheme.simplified();
        entry.alias = entry.alias.simplified();
        entry.ipa = entry.ipa.simplified();
        if (entry.grapheme.isEmpty()) {
            warn(where + u": an entry without a word"_s);
            return true;
        }
        if (entry.grapheme.size() > LexiconLimits::kMaxGraphemeLength ||
            entry.grapheme.count(u' ') >= LexiconLimits::kMaxWords) {
            warn(where + u": \"%1\" is longer than %2 characters or %3 words"_s.arg(Shown(entry.grapheme))
                             .arg(LexiconLimits::kMaxGraphemeLength)
                             .arg(LexiconLimits::kMaxWords));
            return true;
        }
        if (entry.alias.size() > LexiconLimits::kMaxPronunciationLength ||
            entry.ipa.size() > LexiconLimits::kMaxPronunciationLength) {
            warn(where + u": the pronunciation of \"%1\" is longer than %2 characters"_s.arg(Shown(entry.grapheme))
                             .arg(LexiconLimits::kMaxPronunciationLength));
            return true;
        }
        if (entry.alias.isEmpty() && entry.ipa.isEmpty()) {
            warn(where + u": \"%1\" has no pronunciation"_s.arg(Shown(entry.grapheme)));
            return true;
        }
        if (m_lexicon.m_exact.contains(entry.grapheme))
            return true; // the first entry of a grapheme wins
        if (m_lexicon.m_entries.size() >= LexiconLimits::kMaxEntries) {
            m_result.error = u"more than %1 entries"_s.arg(LexiconLimits::kMaxEntries);
            return false;
        }
        m_lexicon.m_exact.insert(entry.grapheme, m_lexicon.m_entries.size());
        m_lexicon.m_entries.append(std::move(entry));
        return true;
    }

    void setLanguage(const QString &language)
    {
        if (m_lexicon.m_language.isEmpty())
            m_lexicon.m_language = language;
    }

    // Follows every alias that is itself a grapheme to the pronunciation at its end, leaves
    // out the entries whose aliases name themselves, run in a circle or go on too long, and
    // builds the indexes.
    void finish()
    {
        if (!m_result.error.isEmpty()) {
            m_result.lexicon = Lexicon();
            return;
        }
        QList<LexiconEntry> resolved;
        resolved.reserve(m_lexicon.m_entries.size());
        for (const LexiconEntry &entry : std::as_const(m_lexicon.m_entries)) {
            LexiconEntry end = entry;
            bool keep = true;
            QStringList seen{entry.grapheme};
            for (int step = 0; keep && !end.alias.isEmpty(); ++step) {
                const LexiconEntry *next = find(end.alias);
                if (!next)
                    break;
                if (next->grapheme == entry.grapheme && step == 0) {
                    warn(u"the alias of \"%1\" names itself; left out"_s.arg(Shown(entry.grapheme)));
                    keep = false;
                } else if (seen.contains(next->grapheme)) {
                    warn(u"the aliases of \"%1\" run in a circle; left out"_s.arg(Shown(entry.grapheme)));
                    keep = false;
                } else if (step + 1 >= LexiconLimits::kMaxAliasChain) {
                    warn(u"the aliases of \"%1\" lead on more than %2 times; left out"_s.arg(Shown(entry.grapheme))
                             .arg(LexiconLimits::kMaxAliasChain));
                    keep = false;
                } else {
                    seen.append(next->grapheme);
                    end.alias = next->alias;
                    end.ipa = next->ipa;
                }
            }
            if (keep)
                resolved.append(LexiconEntry{entry.grapheme, end.alias, end.alias.isEmpty() ? end.ipa : QString()});
        }
        Lexicon lexicon;
        lexicon.m_language = m_lexicon.m_language;
        for (LexiconEntry &entry : resolved) {
            const qsizetype index = lexicon.m_entries.size();
            lexicon.m_exact.insert(entry.grapheme, index);
            const QString folded = entry.grapheme.toLower();
            if (AllLowerCase(entry.grapheme))
                lexicon.m_anyCase.insert(folded, index);
            int &words = lexicon.m_firstWords[FirstWord(folded)];
            words = std::max(words, int(entry.grapheme.count(u' ')) + 1);
            lexicon.m_entries.append(std::move(entry));
        }
        m_result.lexicon = std::move(lexicon);
    }

private:
    const LexiconEntry *find(const QString &words) const
    {
        auto exact = m_lexicon.m_exact.constFind(words);
        if (exact != m_lexicon.m_exact.cend())
            return &m_lexicon.m_entries[*exact];
        const QString folded = words.toLower();
        exact = m_lexicon.m_exact.constFind(folded);
        return exact == m_lexicon.m_exact.cend() ? nullptr : &m_lexicon.m_entries[*exact];
    }

    LexiconResult &m_result;
    Lexicon m_lexicon;
    int m_warnings = 0;
};

const LexiconEntry *Lexicon::find(QStringView words) const
{
    const QString key = words.toString();
    auto found = m_exact.constFind(key);
    if (found != m_exact.cend())
        return &m_entries[*found];
    found = m_anyCase.constFind(key.toLower());
    return found == m_anyCase.cend() ? nullptr : &m_entries[*found];
}

int Lexicon::wordsFrom(QStringView firstWord) const
{
    if (m_firstWords.isEmpty() || firstWord.isEmpty())
        return 0;
    return m_firstWords.value(firstWord.toString().toLower(), 0);
}

LexiconResult ReadPlsLexicon(QByteArrayView xml)
{
    LexiconResult result;
    if (xml.size() > LexiconLimits::kMaxBytes) {
        result.error = u"the lexicon is larger than %1 MiB"_s.arg(LexiconLimits::kMaxBytes >> 20);
        return result;
    }
    LexiconBuilder builder(result);
    QXmlStreamReader reader;
    PrepareXmlReader(reader, xml);
    QString alphabet;
    QStringList graphemes;
    std::optional<LexiconEntry> pronunciation;
    qint64 lexemeLine = 0;
    int depth = 0;
    bool full = false;
    while (!reader.atEnd() && !full) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement)
            ++depth;
        if (const QString refused = RefusedXmlToken(reader, depth, kMaxDepth); !refused.isEmpty()) {
            result.error = refused;
            break;
        }
        if (token == QXmlStreamReader::EndElement) {
            --depth;
            if (reader.name() == u"lexeme") {
                for (const QString &grapheme : std::as_const(graphemes)) {
                    if (!pronunciation) {
                        builder.warn(u"line %1: \"%2\" has no pronunciation in IPA or alias"_s.arg(lexemeLine)
                                         .arg(Shown(grapheme)));
                        continue;
                    }
                    LexiconEntry entry = *pronunciation;
                    entry.grapheme = grapheme;
                    if (!builder.add(entry, u"line %1"_s.arg(lexemeLine))) {
                        full = true;
                        break;
                    }
                }
            }
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = reader.name();
        if (depth == 1) {
            if (name != u"lexicon" || (!reader.namespaceUri().isEmpty() && reader.namespaceUri() != kPlsNamespace)) {
                result.error = u"not a pronunciation lexicon (PLS): its root is <%1>"_s.arg(name.toString().left(64));
                break;
            }
            alphabet = reader.attributes().value(u"alphabet"_s).toString().trimmed().toLower();
            builder.setLanguage(reader.attributes().value(u"http://www.w3.org/XML/1998/namespace"_s, u"lang"_s)
                                    .toString());
            continue;
        }
        if (name == u"lexeme") {
            graphemes.clear();
            pronunciation.reset();
            lexemeLine = reader.lineNumber();
        } else if (name == u"grapheme") {
            graphemes.append(reader.readElementText(QXmlStreamReader::SkipChildElements));
            --depth;
        } else if (name == u"alias") {
            const QString alias = reader.readElementText(QXmlStreamReader::SkipChildElements);
            --depth;
            if (!pronunciation)
                pronunciation = LexiconEntry{QString(), alias, QString()};
        } else if (name == u"phoneme") {
            QString own = reader.attributes().value(u"alphabet"_s).toString().trimmed().toLower();
            const QString ipa = reader.readElementText(QXmlStreamReader::SkipChildElements);
            --depth;
            if (own.isEmpty())
                own = alphabet;
            if (own != u"ipa")
                builder.warn(u"line %1: a phoneme in the alphabet \"%2\", which is not IPA"_s.arg(reader.lineNumber())
                                 .arg(own.left(32)));
            else if (!pronunciation)
                pronunciation = LexiconEntry{QString(), QString(), ipa};
        }
    }
    if (result.error.isEmpty() && reader.hasError())
        result.error = XmlErrorText(reader);
    if (result.error.isEmpty() && depth != 0)
        result.error = u"the lexicon ends before its last element does"_s;
    builder.finish();
    return result;
}

LexiconResult ReadPlainLexicon(QByteArrayView text)
{
    LexiconResult result;
    if (text.size() > LexiconLimits::kMaxBytes) {
        result.error = u"the lexicon is larger than %1 MiB"_s.arg(LexiconLimits::kMaxBytes >> 20);
        return result;
    }
    LexiconBuilder builder(result);
    const QString content = QString::fromUtf8(text.startsWith("\xEF\xBB\xBF") ? text.sliced(3) : text);
    qsizetype lineNumber = 0;
    for (const QStringView line : QStringView(content).split(u'\n')) {
        ++lineNumber;
        const QStringView trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#'))
            continue;
        const qsizetype equals = trimmed.indexOf(u'=');
        if (equals < 0) {
            builder.warn(u"line %1: no \"=\" between a word and how it is said"_s.arg(lineNumber));
            continue;
        }
        const QString grapheme = trimmed.left(equals).trimmed().toString();
        const QString said = trimmed.mid(equals + 1).trimmed().toString();
        const bool ipa = said.size() >= 2 && said.startsWith(u'/') && said.endsWith(u'/');
        const LexiconEntry entry{grapheme, ipa ? QString() : said, ipa ? said.mid(1, said.size() - 2) : QString()};
        if (!builder.add(entry, u"line %1"_s.arg(lineNumber)))
            break;
    }
    builder.finish();
    return result;
}

LexiconResult LoadLexiconFile(const QString &path)
{
    LexiconResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = u"%1: %2"_s.arg(path, file.errorString());
        return result;
    }
    if (file.size() > LexiconLimits::kMaxBytes) {
        result.error = u"%1: the lexicon is larger than %2 MiB"_s.arg(path).arg(LexiconLimits::kMaxBytes >> 20);
        return result;
    }
    const QByteArray bytes = file.read(LexiconLimits::kMaxBytes + 1);
    qsizetype first = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (first < bytes.size() && QByteArrayView(" \t\r\n").contains(bytes[first]))
        ++first;
    const bool xml = first < bytes.size() && bytes[first] == '<';
    result = xml ? ReadPlsLexicon(bytes) : ReadPlainLexicon(bytes);
    if (!result.ok())
        result.error = path + u": "_s + result.error;
    return result;
}

LexiconResult MergeLexicons(const QList<Lexicon> &lexicons)
{
    LexiconResult result;
    LexiconBuilder builder(result);
    for (const Lexicon &lexicon : lexicons) {
        builder.setLanguage(lexicon.language());
        for (const LexiconEntry &entry : lexicon.entries()) {
            if (!builder.add(entry, entry.grapheme))
                break;
        }
        if (!result.ok())
            break;
    }
    builder.finish();
    return result;
}
