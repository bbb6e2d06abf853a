#pragma once

#include <QString>
#include <QtGlobal>

// The document list: an ordered sequence of entries numbered from 1, each holding one
// document path exactly as it was added and an identity of its own. At most one entry is
// selected.
class IDocumentList
{
public:
    virtual ~IDocumentList() = default;

    virtual int Count() const = 0;
    /// The text of entry index (1 to Count).
    virtual QString Text(int index) const = 0;
    virtual void SetText(int index, const QString &text) = 0;
    /// The identity of entry index: given when it is added, never given to another entry of
    /// this list, kept when its text is set and carried along by Swap; 0 for no entry.
    virtual quint64 Id(int index) const = 0;
    /// Entries first and second change places, each with its text and identity; nothing
    /// unless both are entries. The selection stays at its index.
    virtual void Swap(int first, int second) = 0;
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
