#pragma once

#include "common/mainwindow.h"
#include "common/services.h"

#include <QCursor>
#include <QPersistentModelIndex>
#include <QWidget>

#include <functional>
#include <memory>

class DocumentListView;
class VoiceListCombo;
class QComboBox;
class Speak;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class StepSlider;
class TextProgressBar;

// The program's one working window: the document list, the speech settings, the
// output location and the start button. Closing it ends the program at once.
class Form1 final : public QWidget, public IMainWindow
{
    Q_OBJECT
public:
    explicit Form1(const Services &services, QWidget *parent = nullptr);
    ~Form1() override;

    // IMainWindow
    WindowState &State() override { return m_state; }
    MousePointer Pointer() const override;
    void SetPointer(MousePointer pointer) override;
    IDocumentList &ListView1() override;
    IProgressBar &ProgressBar1() override;
    int Combo1Index() const override;
    int Slider1Value() const override;
    int Slider2Value() const override;
    bool Option1Value() const override;
    bool Option2Value() const override;
    QString Text1Value() const override;

    /// Runs the start-up sequence before the window is first shown; false when the
    /// program must end without showing it (no speech engine).
    bool Form_Load();

    /// Runs when the window closes, right before the program ends without running any
    /// destructor (a folder of the instance's own is removed there).
    void SetBeforeExit(std::function<void()> beforeExit) { m_beforeExit = std::move(beforeExit); }

    /// Loads the hand pointer shown over the push buttons; a missing or unreadable image
    /// leaves the standard arrow.
    void LoadHandPointer(const QString &path);

    /// The skin: a Qt style sheet loaded from the program folder's x/o.cjs.
    struct Skin
    {
        QString styleSheet;
        int property1 = 0;
        bool property5 = false;
        bool property10 = false;
    };
    const Skin &SkinFramework1() const { return m_skin; }

    // The controls, by their names in the window's design.
    DocumentListView *listView1() const { return m_listView1; }
    TextProgressBar *progressBar1() const { return m_progressBar1; }
    QPushButton *PushButton1 = nullptr;
    QPushButton *PushButton2 = nullptr;
    QPushButton *PushButton3 = nullptr;
    QPushButton *PushButton4 = nullptr;
    QPushButton *PushButton5 = nullptr;
    QPushButton *PushButton6 = nullptr;
    QPushButton *PushButton7 = nullptr;
    QPushButton *PushButton8 = nullptr;
    QPushButton *PushButton9 = nullptr;
    QPushButton *PushButton14 = nullptr;
    QGroupBox *Frame1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QGroupBox *Frame4 = nullptr;
    QGroupBox *Frame5 = nullptr;
    QGroupBox *Frame6 = nullptr;
    StepSlider *Slider1 = nullptr;
    StepSlider *Slider2 = nullptr;
    QLabel *lblVolume = nullptr;
    QLabel *lblSpeed = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QComboBox *Combo1 = nullptr;
    QRadioButton *Option1 = nullptr;
    QRadioButton *Option2 = nullptr;
    QLineEdit *Text1 = nullptr;

public Q_SLOTS:
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void PushButton5_Click();
    void PushButton6_Click();
    void PushButton7_Click();
    void PushButton8_Click();
    void PushButton9_Click();
    void PushButton14_Click();
    void Slider1_Change();
    void Slider2_Change();
    void Combo1_Click();
    void Option_Click();
    void Text1_Change();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void BuildControls();
    void ApplyPointerRule(QObject *over);
    void ConnectList();
    void ConnectHandlers();
    void ApplySkin(const QString &path);
    bool WindowIsBusy() const { return Pointer() == MousePointer::Hourglass; }

    Services m_services;
    std::function<void()> m_beforeExit;
    WindowState m_state;
    std::unique_ptr<Speak> m_speak;
    std::unique_ptr<VoiceListCombo> m_voiceList;
    Skin m_skin;
    MousePointer m_pointer = MousePointer::Default;
    QCursor m_handCursor;
    bool m_hasHandCursor = false;
    QCursor m_dragCursor;
    // The in-list drag: a button is down on the list; the entry being moved.
    bool IsDragging = false;
    QPersistentModelIndex DragItem;
    DocumentListView *m_listView1 = nullptr;
    TextProgressBar *m_progressBar1 = nullptr;
};
