#include "languages/languageruns.h"

#include "languages/identify.h"
#include "languages/languagetag.h"

#include <QHash>
#include <QVarLengthArray>

#include <unicode/uloc.h>
#include <unicode/uscript.h>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// An unmarked Latin passage shorter than this keeps the document's language: a sentence
// says too little for its letters to outweigh what the document says.
constexpr int kLongPassage = 200;
// What is looked at of a passage: its beginning says whether it is in another language
// than the text around it, at a fraction of the cost of all of it.
constexpr qsizetype kPassageSample = 400;
// The share of a passage's letters that must be in one language before it is taken.
constexpr int kSurePercent = 90;
// What is looked at of a text to guess the language nobody named.
constexpr qsizetype kGuessSample = 16384;

using Scripts = QVarLengthArray<UScriptCode, 4>;

bool IsLetterScript(UScriptCode script)
{
    return script != USCRIPT_COMMON && script != USCRIPT_INHERITED && script != USCRIPT_UNKNOWN
           && script != USCRIPT_INVALID_CODE;
}

bool IsKana(UScriptCode script)
{
    return script == USCRIPT_HIRAGANA || script == USCRIPT_KATAKANA || script == USCRIPT_KATAKANA_OR_HIRAGANA;
}

// The script of the code point at i, and its length in code units.
UScriptCode ScriptAt(QStringView text, qsizetype i, qsizetype *length)
{
    const char16_t u = text[i].unicode();
    *length = 1;
    if (u < 0x80) {
        const char16_t lower = u | 0x20;
        return lower >= u'a' && lower <= u'z' ? USCRIPT_LATIN : USCRIPT_COMMON;
    }
    char32_t c = u;
    if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        c = QChar::surrogateToUcs4(u, text[i + 1].unicode());
        *length = 2;
    }
    UErrorCode error = U_ZERO_ERROR;
    return uscript_getScript(static_cast<UChar32>(c), &error);
}

// The scripts a code stands for: the writing systems of several scripts as their parts.
Scripts Family(UScriptCode script)
{
    switch (script) {
    case USCRIPT_JAPANESE:
        return {USCRIPT_HAN, USCRIPT_HIRAGANA, USCRIPT_KATAKANA, USCRIPT_KATAKANA_OR_HIRAGANA};
    case USCRIPT_KOREAN:
        return {USCRIPT_HANGUL, USCRIPT_HAN};
    case USCRIPT_SIMPLIFIED_HAN:
    case USCRIPT_TRADITIONAL_HAN:
    case USCRIPT_HAN_WITH_BOPOMOFO:
        return {USCRIPT_HAN, USCRIPT_BOPOMOFO};
    default:
        return {script};
    }
}

UScriptCode ScriptCode(const QByteArray &code)
{
    UScriptCode script = USCRIPT_INVALID_CODE;
    UErrorCode error = U_ZERO_ERROR;
    if (uscript_getCode(code.constData(), &script, 1, &error) != 1 || U_FAILURE(error))
        return USCRIPT_INVALID_CODE;
    return script;
}

// The scripts a language is written in: the one its tag names, else those it is known to
// be written in; none for a tag that names no language ("und", "zxx", "mul").
Scripts ScriptsOf(const QString &tag)
{
    const QStringList parts = tag.split(u'-');
    const QString primary = parts.value(0).toLower();
    if (primary.size() < 2 || primary == u"und" || primary == u"zxx" || primary == u"mul" || primary == u"mis")
        return {};
    for (qsizetype i = 1; i < parts.size() && i <= 2 && parts[i].size() > 1; ++i) {
        if (parts[i].size() == 4 && parts[i][0].isLetter()) {
            const UScriptCode named = ScriptCode(parts[i].toLatin1());
            return named == USCRIPT_INVALID_CODE ? Scripts() : Family(named);
        }
    }
    // Languages written in more than one script, of which ICU's likely script is one.
    static const QHash<QString, Scripts> several = {
        {u"az"_s, {USCRIPT_LATIN, USCRIPT_CYRILLIC, USCRIPT_ARABIC}},
        {u"bs"_s, {USCRIPT_LATIN, USCRIPT_CYRILLIC}},
        {u"ha"_s, {USCRIPT_LATIN, USCRIPT_ARABIC}},
        {u"kk"_s, {USCRIPT_CYRILLIC, USCRIPT_LATIN, USCRIPT_ARABIC}},
        {u"ks"_s, {USCRIPT_ARABIC, USCRIPT_DEVANAGARI}},
        {u"ku"_s, {USCRIPT_LATIN, USCRIPT_ARABIC}},
        {u"ky"_s, {USCRIPT_CYRILLIC, USCRIPT_ARABIC}},
        {u"mn"_s, {USCRIPT_CYRILLIC, USCRIPT_MONGOLIAN}},
        {u"ms"_s, {USCRIPT_LATIN, USCRIPT_ARABIC}},
        {u"pa"_s, {USCRIPT_GURMUKHI, USCRIPT_ARABIC}},
        {u"sd"_s, {USCRIPT_ARABIC, USCRIPT_DEVANAGARI}},
        {u"sh"_s, {USCRIPT_LATIN, USCRIPT_CYRILLIC}},
        {u"sr"_s, {USCRIPT_CYRILLIC, USCRIPT_LATIN}},
        {u"tk"_s, {USCRIPT_LATIN, USCRIPT_CYRILLIC}},
        {u"tt"_s, {USCRIPT_CYRILLIC, USCRIPT_LATIN}},
        {u"ug"_s, {USCRIPT_ARABIC, USCRIPT_CYRILLIC, USCRIPT_LATIN}},
        {u"uz"_s, {USCRIPT_LATIN, USCRIPT_CYRILLIC, USCRIPT_ARABIC}},
    };
    if (const auto it = several.constFind(primary); it != several.cend())
        return *it;
    char id[ULOC_FULLNAME_CAPACITY];
    char likely[ULOC_FULLNAME_CAPACITY];
    char script[ULOC_SCRIPT_CAPACITY];
    int32_t parsed = 0;
    UErrorCode error = U_ZERO_ERROR;
    uloc_forLanguageTag(tag.toLatin1().constData(), id, sizeof id, &parsed, &error);
    uloc_addLikelySubtags(id, likely, sizeof likely, &error);
    const int32_t length = uloc_getScript(likely, script, sizeof script, &error);
    if (U_FAILURE(error) || length <= 0 || length >= static_cast<int32_t>(sizeof script))
        return {};
    const UScriptCode likelyScript = ScriptCode(QByteArray(script, length));
    return likelyScript == USCRIPT_INVALID_CODE ? Scripts() : Family(likelyScript);
}

// The language a script is most often written for ("und-Tibt" is most likely "bo").
QString ScriptLanguage(UScriptCode script)
{
    char id[ULOC_FULLNAME_CAPACITY];
    char language[ULOC_LANG_CAPACITY];
    UErrorCode error = U_ZERO_ERROR;
    const QByteArray tag = QByteArrayLiteral("und_") + uscript_getShortName(script);
    uloc_addLikelySubtags(tag.constData(), id, sizeof id, &error);
    const int32_t length = uloc_getLanguage(id, language, sizeof language, &error);
    if (U_FAILURE(error) || length <= 0 || length >= static_cast<int32_t>(sizeof language))
        return QString(u""_s);
    const QString found = QString::fromLatin1(language, length);
    return found == u"und" ? QString(u""_s) : found;
}

bool Sure(const Identified &identified)
{
    return identified.reliable && identified.percent >= kSurePercent;
}

struct Piece
{
    qsizetype start;
    qsizetype end;
    UScriptCode script;
    int mark; // the language of the mark in effect, -1 for the document's own
    qsizetype paragraph;
    int letters;
};

struct Decision
{
    QString language;
    bool marked = false;
};

enum ParagraphHas : quint8 { kKana = 1, kHangul = 2 };

// One call of LanguageRuns: the text in pieces (a paragraph's letters of one script under
// one mark), each decided.
class Runs
{
public:
    Runs(QStringView text, const QString &defaultLanguage, const QList<LanguageMark> &marks)
        : m_text(text)
        , m_default(defaultLanguage)
    {
        Split(marks);
    }

    QList<LanguageRun> Result()
    {
        QList<LanguageRun> runs;
        if (m_text.isEmpty())
            return runs;
        if (m_pieces.empty()) {
            runs.append({0, m_text.size(), QString(u""_s), u"Zyyy"_s, false});
            return runs;
        }
        for (size_t k = 0; k < m_pieces.size(); ++k) {
            const Piece &piece = m_pieces[k];
            const Decision decision = Decide(piece);
            const QString script = RunScript(decision.language, piece.script);
            const qsizetype begin = k == 0 ? 0 : Boundary(m_pieces[k - 1], piece);
            const qsizetype end = k + 1 < m_pieces.size() ? Boundary(piece, m_pieces[k + 1]) : m_text.size();
            if (!runs.isEmpty() && runs.last().language == decision.language && runs.last().script == script
                && runs.last().marked == decision.marked) {
                runs.last().length = end - runs.last().start;
            } else {
                runs.append({begin, end - begin, decision.language, script, decision.marked});
            }
        }
        return runs;
    }

private:
    std::vector<std::pair<qsizetype, int>> Offsets(const QList<LanguageMark> &marks)
    {
        std::vector<std::pair<qsizetype, int>> offsets;
        const std::vector<qsizetype> at = MarkOffsets(m_text, marks);
        for (size_t k = 0; k < at.size(); ++k)
            offsets.emplace_back(at[k], Intern(marks[static_cast<qsizetype>(k)].language));
        return offsets;
    }

    int Intern(const QString &language)
    {
        if (language.isEmpty())
            return -1;
        const auto it = m_ids.constFind(language);
        if (it != m_ids.cend())
            return *it;
        m_languages.append(language);
        m_ids.insert(language, static_cast<int>(m_languages.size() - 1));
        return static_cast<int>(m_languages.size() - 1);
    }

    void Split(const QList<LanguageMark> &marks)
    {
        const std::vector<std::pair<qsizetype, int>> offsets = Offsets(marks);
        size_t next = 0;
        int mark = -1;
        qsizetype paragraph = 0;
        m_paragraphs.push_back(0);
        const qsizetype n = m_text.size();
        for (qsizetype i = 0; i < n;) {
            while (next < offsets.size() && offsets[next].first <= i)
                mark = offsets[next++].second;
            if (m_text[i] == u'\n') {
                ++paragraph;
                m_paragraphs.push_back(0);
                ++i;
                continue;
            }
            qsizetype length = 1;
            const UScriptCode script = ScriptAt(m_text, i, &length);
            if (IsLetterScript(script)) {
                if (IsKana(script))
                    m_paragraphs.back() |= kKana;
                else if (script == USCRIPT_HANGUL)
                    m_paragraphs.back() |= kHangul;
                Piece *last = m_pieces.empty() ? nullptr : &m_pieces.back();
                if (last && last->script == script && last->mark == mark && last->paragraph == paragraph) {
                    last->end = i + length;
                    ++last->letters;
                } else {
                    m_pieces.push_back({i, i + length, script, mark, paragraph, 1});
                }
            }
            i += length;
        }
    }

    // Common characters between two pieces go with the one before, unless a line ends
    // between them: a paragraph's opening quote is its own.
    qsizetype Boundary(const Piece &before, const Piece &after) const
    {
        if (before.paragraph == after.paragraph)
            return after.start;
        return m_text.lastIndexOf(u'\n', after.start - 1) + 1;
    }

    bool Fits(const QString &language, UScriptCode script)
    {
        auto it = m_scripts.find(language);
        if (it == m_scripts.end())
            it = m_scripts.insert(language, ScriptsOf(language));
        return it->contains(script);
    }

    Decision Decide(const Piece &piece)
    {
        static const QString none;
        const QString &mark = piece.mark < 0 ? none : m_languages[piece.mark];
        if (!mark.isEmpty() && Fits(mark, piece.script))
            return Said(mark, piece, true);
        if (!m_default.isEmpty() && Fits(m_default, piece.script))
            return Said(m_default, piece, false);
        return ByScript(piece, mark.isEmpty() ? m_default : mark);
    }

    // A language the document says, where it fits the piece's script. The Asian default
    // that office suites write (Chinese) does not make kanji beside kana Chinese; the
    // document's own language gives way, for an unmarked passage of a shared script, to
    // what its letters say with certainty.
    Decision Said(const QString &language, const Piece &piece, bool fromMark)
    {
        if (piece.script == USCRIPT_HAN && PrimaryLanguage(language) == u"zh") {
            if (m_paragraphs[piece.paragraph] & kKana)
                return {u"ja"_s, false};
            if (m_paragraphs[piece.paragraph] & kHangul)
                return {u"ko"_s, false};
        }
        const bool shared = piece.script == USCRIPT_LATIN || piece.script == USCRIPT_CYRILLIC;
        if (fromMark || !shared || (piece.script == USCRIPT_LATIN && piece.letters < kLongPassage))
            return {language, true};
        const Identified identified = IdentifyLanguage(Letters(piece), language, kPassageSample);
        if (Sure(identified) && Fits(identified.language, piece.script)
            && PrimaryLanguage(identified.language) != PrimaryLanguage(language))
            return {identified.language, false};
        return {language, true};
    }

    Decision ByScript(const Piece &piece, const QString &hint)
    {
        switch (piece.script) {
        case USCRIPT_LATIN:
        case USCRIPT_CYRILLIC: {
            const Decision guess = Guess(piece.script, hint);
            if (piece.script == USCRIPT_LATIN && piece.letters < kLongPassage)
                return guess;
            const Identified identified =
                IdentifyLanguage(Letters(piece), guess.language.isEmpty() ? hint : guess.language, kPassageSample);
            if (Sure(identified) && Fits(identified.language, piece.script))
                return {identified.language, false};
            return guess;
        }
        case USCRIPT_HAN:
            if (m_paragraphs[piece.paragraph] & kKana)
                return {u"ja"_s, false};
            if (m_paragraphs[piece.paragraph] & kHangul)
                return {u"ko"_s, false};
            return {u"zh"_s, false};
        default: {
            auto it = m_scriptLanguages.find(piece.script);
            if (it == m_scriptLanguages.end())
                it = m_scriptLanguages.insert(piece.script, ScriptLanguage(piece.script));
            return {*it, false};
        }
        }
    }

    // The language of the text's unmarked Latin (or Cyrillic) letters that no language of
    // the document fits, as their letters say it taken together: nothing (Latin) or
    // Russian (Cyrillic) when they do not say it with certainty.
    Decision Guess(UScriptCode script, const QString &hint)
    {
        Decision &guess = script == USCRIPT_LATIN ? m_latinGuess : m_cyrillicGuess;
        bool &made = script == USCRIPT_LATIN ? m_latinGuessed : m_cyrillicGuessed;
        if (made)
            return guess;
        made = true;
        QString sample;
        for (const Piece &piece : m_pieces) {
            if (sample.size() >= kGuessSample)
                break;
            if (piece.script != script)
                continue;
            if (piece.mark >= 0 && Fits(m_languages[piece.mark], script))
                continue;
            sample += Letters(piece);
            sample += u'\n';
        }
        const Identified identified = IdentifyLanguage(sample, hint);
        if (Sure(identified) && Fits(identified.language, script))
            guess.language = identified.language;
        else
            guess.language = script == USCRIPT_LATIN ? QString(u""_s) : u"ru"_s;
        return guess;
    }

    QStringView Letters(const Piece &piece) const { return m_text.sliced(piece.start, piece.end - piece.start); }

    static QString RunScript(const QString &language, UScriptCode script)
    {
        const QString primary = PrimaryLanguage(language);
        if (primary == u"ja" && (script == USCRIPT_HAN || IsKana(script)))
            return u"Jpan"_s;
        if (primary == u"ko" && (script == USCRIPT_HAN || script == USCRIPT_HANGUL))
            return u"Kore"_s;
        return QString::fromLatin1(uscript_getShortName(script));
    }

    QStringView m_text;
    const QString &m_default;
    QList<QString> m_languages;
    QHash<QString, int> m_ids;
    QHash<QString, Scripts> m_scripts;
    QHash<int, QString> m_scriptLanguages;
    std::vector<Piece> m_pieces;
    std::vector<quint8> m_paragraphs;
    Decision m_latinGuess;
    Decision m_cyrillicGuess;
    bool m_latinGuessed = false;
    bool m_cyrillicGuessed = false;
};

} // namespace

QList<LanguageRun> LanguageRuns(QStringView text, const QString &defaultLanguage,
                                const QList<LanguageMark> &marksOnThisText)
{
    return Runs(text, defaultLanguage, marksOnThisText).Result();
}

std::vector<qsizetype> MarkOffsets(QStringView text, const QList<LanguageMark> &marks)
{
    std::vector<qsizetype> offsets;
    qint64 line = 0;
    qsizetype lineStart = 0;
    qsizetype lineEnd = text.indexOf(u'\n');
    qsizetype last = 0;
    for (const LanguageMark &mark : marks) {
        while (line < mark.line) {
            if (lineEnd < 0)
                return offsets;
            lineStart = lineEnd + 1;
            lineEnd = text.indexOf(u'\n', lineStart);
            ++line;
        }
        const qsizetype length = (lineEnd < 0 ? text.size() : lineEnd) - lineStart;
        last = std::max(last, lineStart + static_cast<qsizetype>(std::clamp<qint64>(mark.column, 0, length)));
        offsets.push_back(last);
    }
    return offsets;
}

QList<LanguageMark> MarksOnText(const QList<LanguageMark> &documentMarks, qint64 line, qint64 column,
                                QStringView text)
{
    const auto before = [](const LanguageMark &mark, std::pair<qint64, qint64> at) {
        return mark.line < at.first || (mark.line == at.first && mark.column < at.second);
    };
    const qsizetype lastLf = text.lastIndexOf(u'\n');
    const qint64 endLine = line + text.count(u'\n');
    const qint64 endColumn = lastLf < 0 ? column + text.size() : text.size() - lastLf - 1;
    // The first mark after the text's start, and the one in effect where it begins.
    auto it = std::lower_bound(documentMarks.cbegin(), documentMarks.cend(), std::pair{line, column + 1}, before);
    QList<LanguageMark> marks;
    if (it != documentMarks.cbegin() && (!std::prev(it)->language.isEmpty() || !std::prev(it)->ReadAsChosen())) {
        marks.append(*std::prev(it));
        marks.last().line = marks.last().column = 0;
    }
    for (; it != documentMarks.cend() && before(*it, {endLine, endColumn}); ++it) {
        marks.append(*it);
        marks.last().line = it->line - line;
        marks.last().column = it->line == line ? it->column - column : it->column;
    }
    return marks;
}

QString ScriptName(const QString &scriptCode)
{
    static const QHash<QString, QString> combined = {{u"Jpan"_s, u"Japanese"_s},
                                                     {u"Kore"_s, u"Korean"_s},
                                                     {u"Hans"_s, u"Simplified Han"_s},
                                                     {u"Hant"_s, u"Traditional Han"_s},
                                                     {u"Zyyy"_s, u"Common"_s}};
    if (const auto it = combined.constFind(scriptCode); it != combined.cend())
        return *it;
    const UScriptCode script = scriptCode.size() == 4 ? ScriptCode(scriptCode.toLatin1()) : USCRIPT_INVALID_CODE;
    const char *name = script == USCRIPT_INVALID_CODE ? nullptr : uscript_getName(script);
    if (!name)
        return scriptCode;
    return QString::fromLatin1(name).replace(u'_', u' ');
}

int LetterCount(QStringView text)
{
    int letters = 0;
    for (const char32_t c : text.toUcs4())
        letters += QChar::isLetter(c) ? 1 : 0;
    return letters;
}
