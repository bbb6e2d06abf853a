#pragma once

#include <QList>
#include <QString>
#include <QStringList>
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

// A document list held in memory, for procedures driven without a window.
class StringDocumentList final : public IDocumentList
{
public:
    StringDocumentList() = default;
    explicit StringDocumentList(QStringList entries);

    int Count() const override;
    QString Text(int index) const override;
    void SetText(int index, const QString &text) override;
    quint64 Id(int index) const override;
    void Swap(int first, int second) override;
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
    QList<quint64> m_ids;
    quint64 m_lastId = 0;
    int m_selected = 0;
    QList<int> m_scrolledTo;
};
