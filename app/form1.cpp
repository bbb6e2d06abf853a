#include "app/form1.h"

#include "app/controls.h"
#include "common/buildconfig.h"
#include "pipeline/conversionrun.h"
#include "pipeline/speak.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kListTooltip = u"Drag and drop files here. Double-click item to remove it. "
                             u"Move | line to right and out of window to reveal full names."_s;

QFont WindowFont()
{
    QFont font(u"Liberation Sans"_s);
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

// The hot spot of a Windows cursor file (.cur), which QPixmap does not keep.
QPoint CursorHotSpot(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QPoint(-1, -1);
    const QByteArray head = file.read(14);
    if (head.size() < 14 || head[2] != 2) // type 2: cursor
        return QPoint(-1, -1);
    auto word = [&head](int at) {
        return static_cast<int>(static_cast<unsigned char>(head[at]))
               | (static_cast<int>(static_cast<unsigned char>(head[at + 1])) << 8);
    };
    return QPoint(word(10), word(12));
}

} // namespace

Form1::Form1(const Services &services, QWidget *parent)
    : QWidget(parent)
    , m_services(services)
    , m_speak(std::make_unique<Speak>(m_services, *this))
{
    BuildControls();
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
}

void Form1::PushButton1_Click()
{
    ::PushButton1_Click(m_services, *this, *m_speak);
}

Form1::~Form1() = default;

void Form1::BuildControls()
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(Twips(0, 0, 8040, 9780).size());
    setFont(WindowFont());
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    setMouseTracking(true);

    auto button = [this](QWidget *container, const QString &caption, QRect where) {
        auto *b = new QPushButton(caption, container);
        b->setGeometry(where);
        b->setFont(ButtonFont());
        b->setMouseTracking(true);
        b->setAttribute(Qt::WA_NoMousePropagation);
        b->installEventFilter(this);
        return b;
    };
    auto frame = [this](QWidget *container, const QString &caption, QRect where) {
        auto *f = new QGroupBox(caption, container);
        f->setGeometry(where);
        f->setMouseTracking(true);
        f->installEventFilter(this);
        return f;
    };
    auto label = [](QWidget *container, const QString &caption, QRect where) {
        auto *l = new QLabel(caption, container);
        l->setGeometry(where);
        return l;
    };

    m_listView1 = new DocumentListView(this);
    m_listView1->setObjectName(u"ListView1"_s);
    m_listView1->setGeometry(Twips(120, 120, 7800, 2445));
    m_listView1->setToolTip(kListTooltip);
    m_listView1->viewport()->setMouseTracking(true);
    m_listView1->viewport()->installEventFilter(this);

    PushButton3 = button(this, u"Add ODT Files"_s, Twips(120, 2650, 3840, 405));
    PushButton4 = button(this, u"Add All ODT Files In Folder"_s, Twips(4080, 2650, 3840, 405));
    PushButton2 = button(this, u"Clear List"_s, Twips(120, 3160, 3840, 405));
    PushButton5 = button(this, u"Load Sample/Example Files"_s, Twips(4080, 3160, 3840, 405));

    Frame1 = frame(this, u"Volume Control"_s, Twips(120, 3630, 7800, 1110));
    Slider1 = new QSlider(Qt::Horizontal, Frame1);
    Slider1->setGeometry(Twips(240, 315, 7305, 315));
    Slider1->setRange(0, 100);
    Slider1->setSingleStep(1);
    Slider1->setPageStep(5);
    Slider1->setTickPosition(QSlider::TicksBelow);
    Slider1->setTickInterval(5);
    lblVolume = label(Frame1, QString(), Twips(945, 675, 5835, 330));
    lblVolume->setAlignment(Qt::AlignCenter);
    Label2 = label(Frame1, u"Min."_s, Twips(270, 720, 375, 195));
    Label3 = label(Frame1, u"Max."_s, Twips(7080, 720, 405, 225));

    Frame4 = frame(this, u"Speed of Speech"_s, Twips(120, 4800, 7800, 1080));
    Slider2 = new QSlider(Qt::Horizontal, Frame4);
    Slider2->setGeometry(Twips(240, 270, 5745, 315));
    Slider2->setRange(-10, 10);
    Slider2->setSingleStep(1);
    Slider2->setPageStep(5);
    Slider2->setTickPosition(QSlider::TicksBelow);
    Slider2->setTickInterval(1);
    PushButton14 = new QPushButton(u"Test Speed"_s, Frame4);
    PushButton14->setGeometry(Twips(6120, 270, 1440, 345));
    PushButton14->setFont(ButtonFont());
    lblSpeed = label(Frame4, QString(), Twips(900, 690, 4395, 330));
    lblSpeed->setAlignment(Qt::AlignCenter);
    Label6 = label(Frame4, u"Slow"_s, Twips(225, 690, 615, 255));
    Label5 = label(Frame4, u"Fast"_s, Twips(5640, 690, 360, 225));

    Frame2 = frame(this, u"Voice Used"_s, Twips(120, 5940, 7800, 800));
    Combo1 = new QComboBox(Frame2);
    Combo1->setGeometry(Twips(240, 300, 4200, 345));
    PushButton8 = button(Frame2, u"Refresh List"_s, Twips(4560, 300, 1440, 345));
    PushButton6 = button(Frame2, u"Add Voices"_s, Twips(6120, 300, 1440, 345));

    Frame5 = frame(this, u"Save Option"_s, Twips(120, 6790, 7800, 1815));
    Option1 = new QRadioButton(u"Save results to this folder:"_s, Frame5);
    Option1->setGeometry(Twips(240, 300, 3615, 255));
    Option1->setChecked(true);
    Frame6 = frame(Frame5, QString(), Twips(480, 510, 6840, 810));
    Text1 = new QLineEdit(Frame6);
    Text1->setGeometry(Twips(240, 300, 5670, 345));
    Text1->setMouseTracking(true);
    Text1->installEventFilter(this);
    PushButton7 = button(Frame6, u"..."_s, Twips(6000, 300, 600, 345));
    Option2 = new QRadioButton(u"Save results in folder of original file"_s, Frame5);
    Option2->setGeometry(Twips(240, 1410, 3615, 255));

    PushButton1 = button(this, u"Start Converting To MP3"_s, Twips(120, 8730, 7800, 405));
    m_progressBar1 = new TextProgressBar(this);
    m_progressBar1->setGeometry(Twips(120, 9250, 7320, 405));
    m_progressBar1->SetText(u"Progress Bar"_s);
    PushButton9 = button(this, u"?"_s, Twips(7560, 9250, 360, 405));

    const QList<std::pair<QWidget *, const char *>> names = {
        {PushButton1, "PushButton1"}, {PushButton2, "PushButton2"}, {PushButton3, "PushButton3"},
        {PushButton4, "PushButton4"}, {PushButton5, "PushButton5"}, {PushButton6, "PushButton6"},
        {PushButton7, "PushButton7"}, {PushButton8, "PushButton8"}, {PushButton9, "PushButton9"},
        {PushButton14, "PushButton14"}, {Frame1, "Frame1"}, {Frame2, "Frame2"}, {Frame4, "Frame4"},
        {Frame5, "Frame5"}, {Frame6, "Frame6"}, {Slider1, "Slider1"}, {Slider2, "Slider2"},
        {lblVolume, "lblVolume"}, {lblSpeed, "lblSpeed"}, {Label2, "Label2"}, {Label3, "Label3"},
        {Label5, "Label5"}, {Label6, "Label6"}, {Combo1, "Combo1"}, {Option1, "Option1"},
        {Option2, "Option2"}, {Text1, "Text1"}, {m_progressBar1, "ProgressBar1"},
    };
    for (const auto &[widget, name] : names)
        widget->setObjectName(QString::fromLatin1(name));

    // Sliders, labels, the voice list, the option buttons and the progress bar leave the
    // pointer as it is: their mouse moves do not reach the frame or window behind them.
    // (The push buttons apply their own rule and stop there too.)
    for (QWidget *w : std::initializer_list<QWidget *>{Slider1, Slider2, lblVolume, lblSpeed, Label2, Label3,
                                                       Label5, Label6, Combo1, Option1, Option2, m_progressBar1,
                                                       PushButton14})
        w->setAttribute(Qt::WA_NoMousePropagation);

    // The window opens centred on the screen.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frameRect(QPoint(0, 0), size());
        frameRect.moveCenter(screen->availableGeometry().center());
        move(frameRect.topLeft());
    }
}

MousePointer Form1::Pointer() const
{
    return cursor().shape() == Qt::WaitCursor ? MousePointer::Hourglass : m_pointer;
}

void Form1::SetPointer(MousePointer pointer)
{
    m_pointer = pointer;
    switch (pointer) {
    case MousePointer::Hourglass:
        setCursor(Qt::WaitCursor);
        break;
    case MousePointer::Hand:
        if (m_hasHandCursor)
            setCursor(m_handCursor);
        else
            setCursor(Qt::ArrowCursor);
        break;
    case MousePointer::Default:
        setCursor(Qt::ArrowCursor);
        break;
    }
}

IDocumentList &Form1::ListView1()
{
    return *m_listView1;
}

IProgressBar &Form1::ProgressBar1()
{
    return *m_progressBar1;
}

int Form1::Combo1Index() const
{
    return Combo1->currentIndex();
}

int Form1::Slider1Value() const
{
    return Slider1->value();
}

int Form1::Slider2Value() const
{
    return Slider2->value();
}

bool Form1::Option1Value() const
{
    return Option1->isChecked();
}

bool Form1::Option2Value() const
{
    return Option2->isChecked();
}

QString Form1::Text1Value() const
{
    return Text1->text();
}

void Form1::LoadHandPointer(const QString &path)
{
    const QPixmap image(path);
    m_hasHandCursor = !image.isNull();
    if (m_hasHandCursor) {
        const QPoint hotSpot = CursorHotSpot(path);
        m_handCursor = QCursor(image, hotSpot.x(), hotSpot.y());
    }
}

void Form1::ApplyPointerRule(QObject *over)
{
    if (Pointer() == MousePointer::Hourglass)
        return;
    const bool overButton = over == PushButton1 || over == PushButton2 || over == PushButton3
                            || over == PushButton4 || over == PushButton5 || over == PushButton6
                            || over == PushButton7 || over == PushButton8 || over == PushButton9;
    SetPointer(overButton ? MousePointer::Hand : MousePointer::Default);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove)
        ApplyPointerRule(watched == m_listView1->viewport() ? m_listView1 : watched);
    return QWidget::eventFilter(watched, event);
}

void Form1::mouseMoveEvent(QMouseEvent *event)
{
    ApplyPointerRule(this);
    QWidget::mouseMoveEvent(event);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closing ends the program at once, also in the middle of a run or a nested wait:
    // every setting is already on disk, and working files stay where they are.
    event->accept();
    std::fflush(nullptr);
    ::_exit(0);
}
