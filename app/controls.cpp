#include "app/controls.h"

#include "common/runtimeerror.h"

#include <QComboBox>
#include <QDropEvent>
#include <QSignalBlocker>
#include <QSlider>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QUrl>

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

void TextProgressBar::Announce(const QString &name)
{
    Q_EMIT Announced(name);
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
    // Entries are never dragged out of the window; files are dropped in.
    setDragEnabled(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    for (auto change : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model(), change, this, [this] { Q_EMIT CountChanged(Count()); });
    connect(model(), &QAbstractItemModel::modelReset, this, [this] { Q_EMIT CountChanged(Count()); });
}

DocumentListView::~DocumentListView()
{
    // The model empties itself when the widget deletes it, after this part is gone.
    disconnect(model(), nullptr, this, nullptr);
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

namespace {

// The entry's identity rides on its item, where the list shows only the text.
constexpr int kIdRole = Qt::UserRole;

} // namespace

quint64 DocumentListView::Id(int index) const
{
    const QTreeWidgetItem *item = topLevelItem(index - 1);
    return item ? item->data(0, kIdRole).toULongLong() : 0;
}

void DocumentListView::Swap(int first, int second)
{
    QTreeWidgetItem *a = topLevelItem(first - 1);
    QTreeWidgetItem *b = topLevelItem(second - 1);
    if (!a || !b || a == b)
        return;
    const QString text = a->text(0);
    const QVariant id = a->data(0, kIdRole);
    a->setText(0, b->text(0));
    a->setData(0, kIdRole, b->data(0, kIdRole));
    b->setText(0, text);
    b->setData(0, kIdRole, id);
}

void DocumentListView::Append(const QString &path)
{
    auto *item = new QTreeWidgetItem(this);
    item->setText(0, path);
    item->setData(0, kIdRole, ++m_lastId);
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

void DocumentListView::mousePressEvent(QMouseEvent *event)
{
    Q_EMIT MouseDown();
    QTreeWidget::mousePressEvent(event);
    if (itemAt(event->position().toPoint()))
        Q_EMIT EntryClicked();
}

void DocumentListView::mouseMoveEvent(QMouseEvent *event)
{
    Q_EMIT MouseMoved(event->position().toPoint(), event->globalPosition().toPoint());
    // With a button down the drag of the window's own rules moves entries; the view's
    // drag-selection would fight it.
    if (event->buttons() == Qt::NoButton)
        QTreeWidget::mouseMoveEvent(event);
}

void DocumentListView::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeWidget::mouseReleaseEvent(event);
    Q_EMIT MouseUp();
}

void DocumentListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTreeWidget::mouseDoubleClickEvent(event);
    Q_EMIT ListDoubleClicked();
}

void DocumentListView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete) {
        Q_EMIT DeletePressed();
        return;
    }
    const bool control = (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier;
    if (control && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        Q_EMIT MovePressed(event->key() == Qt::Key_Up ? -1 : 1);
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

QStringList DroppedPaths(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    return paths;
}

void DocumentListView::dragEnterEvent(QDragEnterEvent *event)
{
    if (DroppedPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    // Only ever a copy: the source must never move or delete what was dropped.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void DocumentListView::dragMoveEvent(QDragMoveEvent *event)
{
    if (DroppedPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void DocumentListView::dropEvent(QDropEvent *event)
{
    const QStringList paths = DroppedPaths(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    Q_EMIT FilesDropped(paths);
}

VoiceListCombo::VoiceListCombo(QComboBox &combo)
    : m_combo(combo)
{
}

void VoiceListCombo::Clear()
{
    const QSignalBlocker quiet(&m_combo);
    m_combo.clear();
}

void VoiceListCombo::AddItem(const QString &text)
{
    const QSignalBlocker quiet(&m_combo);
    const int selected = m_combo.currentIndex();
    m_combo.addItem(text);
    m_combo.setCurrentIndex(selected); // adding to an empty list selects nothing
}

int VoiceListCombo::Count() const
{
    return m_combo.count();
}

void VoiceListCombo::SetListIndex(int index)
{
    if (index < -1 || index >= m_combo.count())
        throw RuntimeError(u"Invalid property value"_s, ErrorNumber::InvalidPropertyValue);
    if (index == m_combo.currentIndex())
        Q_EMIT m_combo.currentIndexChanged(index); // choosing counts as a selection even when unchanged
    else
        m_combo.setCurrentIndex(index);
}

void StepSlider::SetValueQuietly(double value)
{
    const QSignalBlocker quiet(this); // the set-back is not a move of its own
    SetSliderValue(*this, value);
}

void StepSlider::StopRepeat()
{
    setRepeatAction(QAbstractSlider::SliderNoAction);
    setSliderDown(false);
    QTimer::singleShot(0, this, [self = QPointer<StepSlider>(this)] {
        if (self) {
            self->setRepeatAction(QAbstractSlider::SliderNoAction);
            self->setSliderDown(false);
        }
    });
}

void StepSlider::SetAccessibleNameOf(std::function<QString(int)> nameOf)
{
    m_accessibleNameOf = std::move(nameOf);
    setAccessibleName(m_accessibleNameOf(value()));
}

void StepSlider::sliderChange(SliderChange change)
{
    QSlider::sliderChange(change);
    if (change == SliderValueChange && m_accessibleNameOf)
        setAccessibleName(m_accessibleNameOf(value()));
}

void SetSliderValue(QSlider &slider, double value)
{
    if (!(value >= slider.minimum() && value <= slider.maximum()))
        throw RuntimeError(u"Invalid property value"_s, ErrorNumber::InvalidPropertyValue);
    slider.setValue(static_cast<int>(value));
}
