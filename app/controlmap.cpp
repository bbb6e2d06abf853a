#include "app/controlmap.h"

#include "app/controls.h"
#include "app/form1.h"

#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

using namespace Qt::StringLiterals;

namespace {

const QString kListTooltip = u"Drag and drop files here. Double-click item to remove it. "
                             u"Move | line to right and out of window to reveal full names."_s;

QFont WindowFont()
{
    QFont font(u"Liberation Sans"_s); // stands in for Arial, with the same metrics
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(9);
    font.setBold(true);
    return font;
}

QFont ButtonFont()
{
    QFont font = WindowFont();
    font.setPointSizeF(11.25);
    return font;
}

// How a control takes part in the window's pointer rules.
enum class Pointer {
    Hand,    // the push buttons 1 to 9: the hand, unless the window is busy
    Default, // the window, its frames, Text1: the standard arrow, unless busy
    Leave,   // everything else leaves the pointer as it is
    Own,     // the list applies the rule in its own handler
};

// Makes one control of the map: its name, container, caption, position and pointer rule.
template<typename T, typename... Args>
T *Make(Form1 &form, const char *name, QWidget *container, QRect where, Pointer pointer, Args &&...args)
{
    auto *control = new T(std::forward<Args>(args)..., container);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(where);
    switch (pointer) {
    case Pointer::Hand:
        control->setProperty("handPointer", true);
        control->setAttribute(Qt::WA_NoMousePropagation);
        control->setMouseTracking(true);
        control->installEventFilter(&form);
        break;
    case Pointer::Default:
        control->setMouseTracking(true);
        control->installEventFilter(&form);
        break;
    case Pointer::Own:
        break;
    case Pointer::Leave:
        // Its mouse moves do not reach the frame or window behind it.
        control->setAttribute(Qt::WA_NoMousePropagation);
        break;
    }
    return control;
}

QPushButton *Button(Form1 &form, const char *name, QWidget *container, const QString &caption, QRect where,
                    Pointer pointer = Pointer::Hand)
{
    auto *button = Make<QPushButton>(form, name, container, where, pointer, caption);
    button->setFont(ButtonFont());
    return button;
}

StepSlider *Slider(Form1 &form, const char *name, QWidget *container, QRect where, int minimum, int maximum,
                   int tickInterval)
{
    auto *slider = Make<StepSlider>(form, name, container, where, Pointer::Leave, Qt::Horizontal);
    slider->setRange(minimum, maximum);
    slider->setSingleStep(1);
    slider->setPageStep(5);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(tickInterval);
    slider->setTracking(false); // a drag is one change, when the slider is let go
    return slider;
}

CaptionLabel *Label(Form1 &form, const char *name, QWidget *container, const QString &caption, QRect where,
                    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto *label = Make<CaptionLabel>(form, name, container, where, Pointer::Leave, caption);
    label->setAlignment(alignment);
    return label;
}

} // namespace

void BuildControlMap(Form1 &form)
{
    form.setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                        | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    form.setFixedSize(Twips(0, 0, 8040, 9780).size());
    form.setFont(WindowFont());
    // White behind dark text, as the window has always looked, whatever the desktop's theme: the labels, frame
    // titles and option captions keep their dark text on a dark theme too.
    QPalette white = form.palette();
    white.setColor(QPalette::Window, Qt::white);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        white.setColor(group, QPalette::WindowText, Qt::black);
    white.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    form.setPalette(white);
    form.setAutoFillBackground(true);
    form.setMouseTracking(true);

    Form1 &f = form;
    f.m_listView1 = Make<DocumentListView>(f, "ListView1", &f, Twips(120, 120, 7800, 2445), Pointer::Own);
    f.m_listView1->setToolTip(kListTooltip);
    f.m_listView1->viewport()->setMouseTracking(true);

    f.PushButton3 = Button(f, "PushButton3", &f, u"Add ODT Files"_s, Twips(120, 2650, 3840, 405));
    f.PushButton4 = Button(f, "PushButton4", &f, u"Add All ODT Files In Folder"_s, Twips(4080, 2650, 3840, 405));
    f.PushButton2 = Button(f, "PushButton2", &f, u"Clear List"_s, Twips(120, 3160, 3840, 405));
    f.PushButton5 = Button(f, "PushButton5", &f, u"Load Sample/Example Files"_s, Twips(4080, 3160, 3840, 405));

    f.Frame1 = Make<QGroupBox>(f, "Frame1", &f, Twips(120, 3630, 7800, 1110), Pointer::Default, u"Volume Control"_s);
    f.Slider1 = Slider(f, "Slider1", f.Frame1, Twips(240, 315, 7305, 315), 0, 100, 5);
    f.lblVolume = Label(f, "lblVolume", f.Frame1, QString(), Twips(945, 675, 5835, 330), Qt::AlignCenter);
    f.Label2 = Label(f, "Label2", f.Frame1, u"Min."_s, Twips(270, 720, 375, 195));
    f.Label3 = Label(f, "Label3", f.Frame1, u"Max."_s, Twips(7080, 720, 405, 225));

    f.Frame4 = Make<QGroupBox>(f, "Frame4", &f, Twips(120, 4800, 7800, 1080), Pointer::Default, u"Speed of Speech"_s);
    f.Slider2 = Slider(f, "Slider2", f.Frame4, Twips(240, 270, 5745, 315), -10, 10, 1);
    f.PushButton14 = Button(f, "PushButton14", f.Frame4, u"Test Speed"_s, Twips(6120, 270, 1440, 345), Pointer::Leave);
    f.lblSpeed = Label(f, "lblSpeed", f.Frame4, QString(), Twips(900, 690, 4395, 330), Qt::AlignCenter);
    f.Label6 = Label(f, "Label6", f.Frame4, u"Slow"_s, Twips(225, 690, 615, 255));
    f.Label5 = Label(f, "Label5", f.Frame4, u"Fast"_s, Twips(5640, 690, 360, 225));

    f.Frame2 = Make<QGroupBox>(f, "Frame2", &f, Twips(120, 5940, 7800, 800), Pointer::Default, u"Voice Used"_s);
    f.Combo1 = Make<QComboBox>(f, "Combo1", f.Frame2, Twips(240, 300, 4200, 345), Pointer::Leave);
    f.PushButton8 = Button(f, "PushButton8", f.Frame2, u"Refresh List"_s, Twips(4560, 300, 1440, 345));
    f.PushButton6 = Button(f, "PushButton6", f.Frame2, u"Add Voices"_s, Twips(6120, 300, 1440, 345));

    f.Frame5 = Make<QGroupBox>(f, "Frame5", &f, Twips(120, 6790, 7800, 1815), Pointer::Default, u"Save Option"_s);
    f.Option1 = Make<QRadioButton>(f, "Option1", f.Frame5, Twips(240, 300, 3615, 255), Pointer::Leave,
                                   u"Save results to this folder:"_s);
    f.Option1->setChecked(true);
    f.Frame6 = Make<QGroupBox>(f, "Frame6", f.Frame5, Twips(480, 510, 6840, 810), Pointer::Default, QString());
    f.Text1 = Make<QLineEdit>(f, "Text1", f.Frame6, Twips(240, 300, 5670, 345), Pointer::Default);
    f.PushButton7 = Button(f, "PushButton7", f.Frame6, u"..."_s, Twips(6000, 300, 600, 345));
    f.Option2 = Make<QRadioButton>(f, "Option2", f.Frame5, Twips(240, 1410, 3615, 255), Pointer::Leave,
                                   u"Save results in folder of original file"_s);

    f.PushButton1 = Button(f, "PushButton1", &f, u"Start Converting To MP3"_s, Twips(120, 8730, 7800, 405));
    f.m_progressBar1 = Make<TextProgressBar>(f, "ProgressBar1", &f, Twips(120, 9250, 7320, 405), Pointer::Leave);
    f.m_progressBar1->SetText(u"Progress Bar"_s);
    f.PushButton9 = Button(f, "PushButton9", &f, u"?"_s, Twips(7560, 9250, 360, 405));

    // The window opens centred on the screen.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frameRect(QPoint(0, 0), form.size());
        frameRect.moveCenter(screen->availableGeometry().center());
        form.move(frameRect.topLeft());
    }
}
