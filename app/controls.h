#pragma once

#include "common/mainwindow.h"
#include "filelist/documentlist.h"

#include <QProgressBar>
#include <QRect>
#include <QTreeWidget>

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
    QString text() const override;

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

    int Count() const override;
    QString Text(int index) const override;
    void SetText(int index, const QString &text) override;
    void Append(const QString &path) override;
    void Remove(int index) override;
    void Clear() override;
    int SelectedIndex() const override;
    void Select(int index) override;
    void EnsureVisible(int index) override;

    /// The entry under a point of the viewport; 0 when there is none.
    int IndexAt(const QPoint &viewportPoint) const;
};
