#pragma once

#include <QString>

// The document list: an ordered sequence of entries numbered from 1, each holding one
// document path exactly as it was added. At most one entry is selected.
class IDocumentList
{
public:
    virtual ~IDocumentList() = default;

    virtual int Count() const = 0;
    /// The text of entry index (1 to Count).
    virtual QString Text(int index) const = 0;
    virtual void SetText(int index, const QString &text) = 0;
    /// Adds an entry at the end; no check of any kind.
    virtual void Append(const QString &path) = 0;
    /// Removes entry index; the entries after it move up by one.
    virtual void Remove(int index) = 0;
    virtual void Clear() = 0;
    /// The selected entry's number; 0 when none is selected.
    virtual int SelectedIndex() const = 0;
    virtual void Select(int index) = 0;
    /// Scrolls just enough to show entry index.
    virtual void EnsureVisible(int index) = 0;
};
