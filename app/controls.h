#pragma once

#include "ui/mainwindow.h"
#include "common/documentlist.h"
#include "speech/ratevolume.h"
#include "speech/voicecatalogue.h"

#include <QLabel>

#include <QProgressBar>
#include <QRect>
#include <QSlider>
#include <QTreeWidget>

#include <functional>

class QComboBox;
class QMimeData;
class QSlider;

/// A rectangle given in twips (15 twips are one pixel), in pixels.
QRect Twips(int left, int top, int width, int height);

// The progress bar that shows a text. Its value is a real number; values beyond
// 0 to 100 are kept as they are and shown clamped.
class TextProgressBar final : public QProgressBar, public IProgressBar
{
    Q_OBJECT
public:
    explicit TextProgressBar(QWidget *parent = nullptr);

    double Value() const override { return m_value; }
    void SetValue(double value) override;
    QString Text() const override { return m_text; }
    void SetText(const QString &text) override;
    void Announce(const QString &name) override;
    QString text() const override;

Q_SIGNALS:
    /// The name a screen reader says of the bar was set (also to the same name again).
    void Announced(const QString &name);

private:
    double m_value = 0;
    QString m_text;
};

// The document list: a report-style list of one column, one selected entry at most.
class DocumentListView : public QTreeWidget, public IDocumentList
{
    Q_OBJECT
public:
    explicit DocumentListView(QWidget *parent = nullptr);
    ~DocumentListView() override;

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

    /// The entry under a point of the viewport; 0 when there is none.
    int IndexAt(const QPoint &viewportPoint) const;

Q_SIGNALS:
    /// A mouse button went down on the list (any button).
    void MouseDown();
    /// An entry was clicked (after the click selected it).
    void EntryClicked();
    /// The pointer moved over the list.
    void MouseMoved(QPoint viewportPosition, QPoint screenPosition);
    void MouseUp();
    /// The Delete key while the list has focus.
    void DeletePressed();
    /// Ctrl+Up (by -1) or Ctrl+Down (by 1) while the list has focus.
    void MovePressed(int by);
    void ListDoubleClicked();
    /// Local files and folders dropped onto the list, in the drop's order.
    void FilesDropped(const QStringList &paths);
    /// Entries were added or removed.
    void CountChanged(int count);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    quint64 m_lastId = 0;
};

/// The local files and folders that a drag carries; empty when it carries no file list.
QStringList DroppedPaths(const QMimeData *data);

// The voice list over the window's drop-down list. Filling it selects nothing; choosing an
// index is a selection, which the list's handlers see.
class VoiceListCombo final : public IVoiceList
{
public:
    explicit VoiceListCombo(QComboBox &combo);
    void Clear() override;
    void AddItem(const QString &text) override;
    int Count() const override;
    void SetListIndex(int index) override;

private:
    QComboBox &m_combo;
};

// A slider as the speech settings' handlers see it.
class StepSlider final : public QSlider, public ISliderControl
{
    Q_OBJECT
public:
    using QSlider::QSlider;
    int Value() const override { return value(); }
    void SetValueQuietly(double value) override;
    /// Ends a repeat and the press that started it now, and once more right after the
    /// event being handled (a press starts its repeat only after its first step).
    void StopRepeat() override;
    /// The accessible name follows the value from now on, also a value set back quietly.
    void SetAccessibleNameOf(std::function<QString(int value)> nameOf);

protected:
    void sliderChange(SliderChange change) override;

private:
    std::function<QString(int)> m_accessibleNameOf;
};

// A label whose caption the handlers set.
class CaptionLabel final : public QLabel, public ICaption
{
    Q_OBJECT
public:
    using QLabel::QLabel;
    void SetCaption(const QString &caption) override { setText(caption); }
};

/// Sets a slider from code, as the user would move it; a value outside its range is the
/// "Invalid property value" error and leaves the slider as it was.
void SetSliderValue(QSlider &slider, double value);
