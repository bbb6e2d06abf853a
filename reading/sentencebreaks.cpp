#include "reading/sentencebreaks.h"

#include "reading/languagerules.h"

#include <unicode/brkiter.h>
#include <unicode/filteredbrk.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <map>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<icu::BreakIterator> MakeIterator(const QString &language)
{
    QByteArray tag = language.trimmed().toLatin1();
    tag.replace('_', '-');
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = tag.isEmpty() ? icu::Locale::getRoot() : icu::Locale::forLanguageTag(tag.constData(), status);
    if (U_FAILURE(status) || locale.isBogus())
        locale = icu::Locale::getRoot();
    status = U_ZERO_ERROR;
    locale.setKeywordValue("ss", "standard", status); // the locale's abbreviations end no sentence
    status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(icu::BreakIterator::createSentenceInstance(locale, status));
    if (U_FAILURE(status))
        return nullptr;
    const LanguageRules *rules = LanguageRules::For(language);
    if (!rules)
        return iterator;
    using Builder = icu::FilteredBreakIteratorBuilder;
    std::unique_ptr<Builder> builder(Builder::createEmptyInstance(status));
    if (!builder || U_FAILURE(status))
        return iterator;
    QStringList forms;
    for (const Abbreviation &abbreviation : rules->abbreviations) {
        const QString &form = abbreviation.form;
        if (abbreviation.use != AbbreviationUse::MayEnd && form.endsWith(u'.') && !form.contains(u' '))
            forms.append(form);
    }
    if (rules->language == RulesLanguage::English)
        forms << u"Dr."_s << u"St."_s;
    for (const QString &form : std::as_const(forms)) {
        status = U_ZERO_ERROR;
        builder->suppressBreakAfter(icu::UnicodeString(reinterpret_cast<const char16_t *>(form.utf16()),
                                                       static_cast<int32_t>(form.size())),
                                    status);
    }
    status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> filtered(builder->wrapIteratorWithFilter(iterator.release(), status));
    return U_SUCCESS(status) ? std::move(filtered) : nullptr;
}

icu::BreakIterator *IteratorFor(const QString &language)
{
    thread_local std::map<QString, std::unique_ptr<icu::BreakIterator>> cache;
    const auto found = cache.find(language);
    if (found != cache.end())
        return found->second.get();
    return cache.emplace(language, MakeIterator(language)).first->second.get();
}

void Add(QStringView text, qsizetype start, qsizetype end, QList<SentenceRange> &out)
{
    while (start < end && text[start].isSpace())
        ++start;
    while (end > start && text[end - 1].isSpace())
        --end;
    if (end > start)
        out.append({start, end - start});
}

} // namespace

QList<SentenceRange> SpokenSentences(QStringView text, const QString &language)
{
    QList<SentenceRange> out;
    icu::BreakIterator *iterator = text.size() < INT32_MAX ? IteratorFor(language) : nullptr;
    UErrorCode status = U_ZERO_ERROR;
    UText *utext = iterator ? utext_openUChars(nullptr, text.utf16(), text.size(), &status) : nullptr;
    if (utext)
        iterator->setText(utext, status);
    if (!utext || U_FAILURE(status)) {
        Add(text, 0, text.size(), out);
    } else {
        int32_t begin = iterator->first();
        for (int32_t end = iterator->next(); end != icu::BreakIterator::DONE; begin = end, end = iterator->next())
            Add(text, begin, end, out);
    }
    utext_close(utext);
    return out;
}
