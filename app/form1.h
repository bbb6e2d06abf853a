#pragma once

#include "app/outputlocation.h"
#include "ui/mainwindow.h"
#include "common/services.h"
#include "filelist/listhandlers.h"
#include "pipeline/documentjob.h"

#include <QCursor>
#include <QWidget>

#include <functional>
#include <memory>

class CaptionLabel;
class DocumentListView;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class Speak;
class StepSlider;
class TextProgressBar;
class VoiceListCombo;

// The program's one working window. It owns the controls (built by BuildControlMap) and
// the state that outlives a handler, and connects each control to its handler in the
// subsystem it belongs to; closing it ends the program at once.
class Form1 final : public QWidget, public IMainWindow, public IOutputLocation
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

    // IOutputLocation
    bool Option1Selected() const override { return Option1Value(); }
    bool Option2Selected() const override { return Option2Value(); }
    void SetText1(const QString &text) override;
    void EnableFrame6(bool enabled) override;

    /// Runs the start-up sequence before the window is first shown; false when the
    /// program must end without showing it (no speech engine).
    bool Form_Load();

    /// Runs when the window closes, right before the program ends without running any
    /// destructor (a folder of the instance's own is removed there), after a run under way
    /// has been cancelled: its encoder or join stopped, its partial MP3 removed.
    void SetBeforeExit(std::function<void()> beforeExit) { m_beforeExit = std::move(beforeExit); }

    /// The hand pointer shown over the push buttons; a missing or unreadable image leaves
    /// the standard arrow.
    void LoadHandPointer(const QString &path);

    /// The skin: a Qt style sheet, with the component's properties 1, 5 and 10.
    struct Skin
    {
        QString styleSheet;
        int property1 = 0;
        bool property5 = false;
        bool property10 = false;
    };
    const Skin &SkinFramework1() const { return m_skin; }
    Skin &SkinFramework1() { return m_skin; }

    const Services &services() const { return m_services; }
    VoiceListCombo &voiceList() const { return *m_voiceList; }

    // The controls, by the names that the handlers and the tests know them by.
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
    CaptionLabel *lblVolume = nullptr;
    CaptionLabel *lblSpeed = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QComboBox *Combo1 = nullptr;
    QRadioButton *Option1 = nullptr;
    QRadioButton *Option2 = nullptr;
    QLineEdit *Text1 = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    friend void BuildControlMap(Form1 &form);
    void Connect();
    void ConnectList();
    /// The pointer rules: over a push button the hand, over the window, its frames, Text1
    /// and the list the arrow; never in place of the hourglass.
    void ApplyPointerRule(QObject *over);
    bool WindowIsBusy() const { return Pointer() == MousePointer::Hourglass; }

    Services m_services;
    WindowState m_state;
    std::unique_ptr<Speak> m_speak;
    JobsUnderWay m_underWay;
    std::unique_ptr<VoiceListCombo> m_voiceList;
    std::function<void()> m_beforeExit;
    Skin m_skin;
    MousePointer m_pointer = MousePointer::Default;
    QCursor m_handCursor;
    bool m_hasHandCursor = false;
    QCursor m_dragCursor;
    ListDragState m_drag;
    DocumentListView *m_listView1 = nullptr;
    TextProgressBar *m_progressBar1 = nullptr;
};
