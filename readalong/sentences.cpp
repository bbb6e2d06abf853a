#include "readalong/sentences.h"

#include "readalong/xmltext.h"

#include <unicode/brkiter.h>
#include <unicode/filteredbrk.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <memory>

namespace {

using SentenceLimits::kMaxLength;

// ICU counts offsets in 32 bits: a longer text is read in windows of this many units.
constexpr qsizetype kMaxWindow = qsizetype(1) << 30;

icu::Locale SentenceLocale(const QString &language)
{
    QByteArray tag = language.trimmed().toLatin1();
    tag.replace('_', '-');
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = tag.isEmpty() ? icu::Locale::getRoot() : icu::Locale::forLanguageTag(tag.constData(), status);
    if (U_FAILURE(status) || locale.isBogus())
        locale = icu::Locale::getRoot();
    status = U_ZERO_ERROR;
    locale.setKeywordValue("ss", "standard", status); // the locale's abbreviations end no sentence
    return locale;
}

// ICU's sentence iterator for the language, with the abbreviations that ICU's English list
// lacks although they stand before names; null when ICU has no sentence rules.
std::unique_ptr<icu::BreakIterator> SentenceIterator(const QString &language)
{
    const icu::Locale locale = SentenceLocale(language);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(icu::BreakIterator::createSentenceInstance(locale, status));
    if (U_FAILURE(status))
        return nullptr;
    if (qstrcmp(locale.getLanguage(), "en") != 0)
        return iterator;
    using Builder = icu::FilteredBreakIteratorBuilder;
    std::unique_ptr<Builder> builder(Builder::createEmptyInstance(status));
    if (!builder || U_FAILURE(status))
        return iterator;
    for (const char16_t *abbreviation : {u"Dr.", u"Drs.", u"Jr.", u"Sr.", u"St."})
        builder->suppressBreakAfter(icu::UnicodeString(abbreviation), status);
    std::unique_ptr<icu::BreakIterator> filtered(builder->wrapIteratorWithFilter(iterator.release(), status));
    return U_SUCCESS(status) ? std::move(filtered) : nullptr;
}

// Where a piece of text[from, limit) ends when it must: after the last clause that ends in
// its second half, else at its last blank, else at limit, never inside a character.
qsizetype CutPoint(QStringView text, qsizetype from, qsizetype limit)
{
    for (qsizetype i = limit - 1; i >= from + (limit - from) / 2; --i) {
        if (EndsClause(text, i))
            return i + 1;
    }
    for (qsizetype i = limit - 1; i > from; --i) {
        if (IsBreakableBlank(text[i]))
            return i;
    }
    qsizetype cut = limit;
    while (cut > from + 1 && (text[cut].isLowSurrogate() || text[cut].isMark()))
        --cut;
    return cut;
}

// Adds text[start, end) trimmed, cut into pieces of at most kMaxLength.
void AddSentence(QStringView text, qsizetype start, qsizetype end, QList<TextSpan> &spans)
{
    for (;;) {
        while (start < end && text[start].isSpace())
            ++start;
        while (end > start && text[end - 1].isSpace())
            --end;
        if (start == end)
            return;
        if (end - start <= kMaxLength) {
            spans.append({start, end - start});
            return;
        }
        const qsizetype cut = CutPoint(text, start, start + kMaxLength);
        qsizetype pieceEnd = cut;
        while (pieceEnd > start && text[pieceEnd - 1].isSpace())
            --pieceEnd;
        spans.append({start, pieceEnd - start});
        start = cut;
    }
}

// The sentences of text, which is short enough for ICU's offsets.
void AddWindow(icu::BreakIterator *iterator, QStringView text, QList<TextSpan> &spans)
{
    UErrorCode status = U_ZERO_ERROR;
    UText *utext = iterator ? utext_openUChars(nullptr, text.utf16(), text.size(), &status) : nullptr;
    if (utext)
        iterator->setText(utext, status);
    if (!utext || U_FAILURE(status)) { // no sentence rules here: only the length limit applies
        AddSentence(text, 0, text.size(), spans);
    } else {
        int32_t begin = iterator->first();
        for (int32_t end = iterator->next(); end != icu::BreakIterator::DONE; begin = end, end = iterator->next())
            AddSentence(text, begin, end, spans);
    }
    utext_close(utext);
}

} // namespace

QList<TextSpan> Sentences(QStringView text, const QString &language)
{
    QList<TextSpan> spans;
    if (text.isEmpty())
        return spans;
    const std::unique_ptr<icu::BreakIterator> iterator = SentenceIterator(language);
    for (qsizetype offset = 0; offset < text.size();) {
        qsizetype length = text.size() - offset;
        if (length > kMaxWindow)
            length = CutPoint(text, offset, offset + kMaxWindow) - offset;
        const qsizetype first = spans.size();
        AddWindow(iterator.get(), text.mid(offset, length), spans);
        for (qsizetype k = first; k < spans.size(); ++k)
            spans[k].start += offset;
        offset += length;
    }
    return spans;
}
