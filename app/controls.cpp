#include "app/controls.h"

#include <QHeaderView>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

QRect Twips(int left, int top, int width, int height)
{
    auto px = [](int twips) { return static_cast<int>(std::lround(twips / 15.0)); };
    return QRect(px(left), px(top), px(width), px(height));
}

TextProgressBar::TextProgressBar(QWidget *parent)
    : QProgressBar(parent)
{
    setRange(0, 100);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
    SetValue(0);
}

void TextProgressBar::SetValue(double value)
{
    m_value = value;
    setValue(static_cast<int>(std::lround(std::clamp(value, 0.0, 100.0))));
}

void TextProgressBar::SetText(const QString &text)
{
    m_text = text;
    update();
}

QString TextProgressBar::text() const
{
    return m_text; // shown as it is: a file name's "%p" is not a placeholder
}

DocumentListView::DocumentListView(QWidget *parent)
    : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setColumnCount(0);
    header()->setStretchLastSection(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

int DocumentListView::Count() const
{
    return topLevelItemCount();
}

QString DocumentListView::Text(int index) const
{
    const QTreeWidgetItem *item = topLevelItem(index - 1);
    return item ? item->text(0) : QString();
}

void DocumentListView::SetText(int index, const QString &text)
{
    if (QTreeWidgetItem *item = topLevelItem(index - 1))
        item->setText(0, text);
}

void DocumentListView::Append(const QString &path)
{
    auto *item = new QTreeWidgetItem(this);
    item->setText(0, path);
}

void DocumentListView::Remove(int index)
{
    delete takeTopLevelItem(index - 1);
}

void DocumentListView::Clear()
{
    clear();
}

int DocumentListView::SelectedIndex() const
{
    const QList<QTreeWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? 0 : indexOfTopLevelItem(selected.first()) + 1;
}

void DocumentListView::Select(int index)
{
    if (QTreeWidgetItem *item = topLevelItem(index - 1))
        setCurrentItem(item);
    else
        clearSelection();
}

void DocumentListView::EnsureVisible(int index)
{
    if (QTreeWidgetItem *item = topLevelItem(index - 1))
        scrollToItem(item, QAbstractItemView::EnsureVisible);
}

int DocumentListView::IndexAt(const QPoint &viewportPoint) const
{
    QTreeWidgetItem *item = itemAt(viewportPoint);
    return item ? indexOfTopLevelItem(item) + 1 : 0;
}
