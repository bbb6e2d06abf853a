#pragma once

#include <QString>
#include <QStringList>

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

// A document list held in memory, for procedures driven without a window.
class StringDocumentList final : public IDocumentList
{
public:
    StringDocumentList() = default;
    explicit StringDocumentList(QStringList entries);

    int Count() const override;
    QString Text(int index) const override;
    void SetText(int index, const QString &text) override;
    void Append(const QString &path) override;
    void Remove(int index) override;
    void Clear() override;
    int SelectedIndex() const override;
    void Select(int index) override;
    void EnsureVisible(int index) override;

    const QStringList &Entries() const { return m_entries; }
    /// The entries scrolled into view, in order.
    const QList<int> &ScrolledTo() const { return m_scrolledTo; }

private:
    QStringList m_entries;
    int m_selected = 0;
    QList<int> m_scrolledTo;
};

/// Removes the selected entry unless the window is busy; nothing when none is selected.
void RemoveSelectedEntry(IDocumentList &list, bool windowBusy);

/// Rows of the screen above which (and from which on) a drag scrolls the list.
inline constexpr int kDragScrollUpBelowRow = 305;
inline constexpr int kDragScrollDownFromRow = 365;

/// One pointer move of the in-list drag: swaps the texts of the dragged entry and the entry
/// under the pointer (hit, 0 for none), selects the latter, and scrolls near the screen rows
/// 305 and 365. Returns the entry that is the drag item afterwards.
int InListDragStep(IDocumentList &list, int dragItem, int hit, int screenRow);
