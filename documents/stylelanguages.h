#pragma once

#include "documents/linewriter.h"

#include <QHash>
#include <QString>

/// Each language of top, where it says one (a null string says none), else below's.
TextLanguages Over(const TextLanguages &top, const TextLanguages &below);

// The languages that a word processor's styles of one family give text: each style says
// some of them and takes the rest from the style it is based on. A chain of bases is
// followed 32 styles up at most, so a loop or an endless chain in a hostile document
// costs nothing.
class StyleLanguages
{
public:
    /// A style, its own languages (null where it says none) and the style it is based on.
    void Add(const QString &name, const QString &parent, const TextLanguages &own);
    /// The languages of text in that style: the style's own, its bases', then around's.
    TextLanguages Of(const QString &name, const TextLanguages &around) const;
    bool IsEmpty() const { return m_styles.isEmpty(); }

private:
    struct Style
    {
        QString parent;
        TextLanguages own;
    };
    QHash<QString, Style> m_styles;
    mutable QHash<QString, TextLanguages> m_resolved; // through the bases, null where none says
};
