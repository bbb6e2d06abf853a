#include "documents/stylelanguages.h"

namespace {

// Deeper chains of styles are damage: real documents base styles a few levels deep.
constexpr int kMaxBases = 32;

const QString &Either(const QString &top, const QString &below)
{
    return top.isNull() ? below : top;
}

} // namespace

TextLanguages Over(const TextLanguages &top, const TextLanguages &below)
{
    return {Either(top.western, below.western), Either(top.asian, below.asian), Either(top.complex, below.complex)};
}

void StyleLanguages::Add(const QString &name, const QString &parent, const TextLanguages &own)
{
    m_styles.insert(name, {parent, own});
    m_resolved.clear();
}

TextLanguages StyleLanguages::Of(const QString &name, const TextLanguages &around) const
{
    if (name.isEmpty() || m_styles.isEmpty())
        return around;
    auto resolved = m_resolved.constFind(name);
    if (resolved == m_resolved.cend()) {
        TextLanguages languages;
        QString style = name;
        for (int hops = 0; hops < kMaxBases; ++hops) {
            const auto it = m_styles.constFind(style);
            if (it == m_styles.cend())
                break;
            languages = Over(languages, it->own);
            style = it->parent;
        }
        resolved = m_resolved.insert(name, languages);
    }
    return Over(*resolved, around);
}
