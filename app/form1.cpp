#include "app/form1.h"

#include "app/accessibility.h"
#include "app/controlmap.h"
#include "app/controls.h"
#include "app/startup.h"
#include "filelist/addfiles.h"
#include "filelist/addfolder.h"
#include "app/conversionrun.h"
#include "api/processes.h"
#include "pipeline/speak.h"
#include "speech/ratevolume.h"
#include "speech/voicecatalogue.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>

#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

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
    , m_speak(std::make_unique<Speak>(m_services))
{
    BuildControlMap(*this);
    m_voiceList = std::make_unique<VoiceListCombo>(*Combo1);
    Connect();
    ConnectList();
    MakeAccessible(*this);
}

Form1::~Form1() = default;

bool Form1::Form_Load()
{
    return ::Form_Load(*this);
}

// Each control to its handler, in the order of the control map.
void Form1::Connect()
{
    connect(PushButton3, &QPushButton::clicked, this, [this] { ::PushButton3_Click(m_services, *m_listView1); });
    connect(PushButton4, &QPushButton::clicked, this, [this] { ::PushButton4_Click(m_services, *this); });
    connect(PushButton2, &QPushButton::clicked, this,
            [this] { ::PushButton2_Click(m_services, *m_listView1, WindowIsBusy()); });
    connect(PushButton5, &QPushButton::clicked, this, [this] { ::PushButton5_Click(m_services, *m_listView1); });
    connect(Slider1, &QSlider::valueChanged, this, [this] { ::Slider1_Change(m_services, m_state, *Slider1, *lblVolume); });
    connect(Slider2, &QSlider::valueChanged, this, [this] { ::Slider2_Change(m_services, m_state, *Slider2, *lblSpeed); });
    connect(PushButton14, &QPushButton::clicked, this, [this] { ::PushButton14_Click(m_services, *this, *m_speak); });
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this](int index) { ::Combo1_Click(m_services, index); });
    connect(PushButton8, &QPushButton::clicked, this, [this] { ::PushButton8_Click(m_services, *m_voiceList); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { ::PushButton6_Click(m_services); });
    for (QRadioButton *option : {Option1, Option2}) {
        connect(option, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                ::Option_Click(m_services, *this);
        });
    }
    connect(Text1, &QLineEdit::textChanged, this, [this](const QString &text) { ::Text1_Change(m_services, text); });
    connect(PushButton7, &QPushButton::clicked, this, [this] { ::PushButton7_Click(m_services, *this); });
    connect(PushButton1, &QPushButton::clicked, this, [this] { ::PushButton1_Click(m_services, *this, *m_speak, m_underWay); });
    connect(PushButton9, &QPushButton::clicked, this, [this] { ::PushButton9_Click(m_services); });
}

void Form1::ConnectList()
{
    const QPixmap dragImage(m_services.programFolder + u"/drag.ico"_s);
    m_dragCursor = dragImage.isNull() ? QCursor(Qt::ArrowCursor) : QCursor(dragImage);

    DocumentListView *list = m_listView1;
    connect(list, &DocumentListView::MouseDown, this, [this] { ListView1_MouseDown(m_drag); });
    connect(list, &DocumentListView::EntryClicked, this, [this, list] {
        list->viewport()->setCursor(m_dragCursor);
        ListView1_ItemClick(m_drag, *list);
    });
    connect(list, &DocumentListView::MouseMoved, this, [this, list](QPoint at, QPoint screen) {
        ApplyPointerRule(list);
        ListView1_MouseMove(m_drag, *list, list->IndexAt(at), screen.y());
    });
    connect(list, &DocumentListView::MouseUp, this, [this, list] {
        ListView1_MouseUp(m_drag);
        list->viewport()->unsetCursor();
    });
    connect(list, &DocumentListView::DeletePressed, this, [this, list] { ListView1_Remove(*list, WindowIsBusy()); });
    connect(list, &DocumentListView::ListDoubleClicked, this, [this, list] { ListView1_Remove(*list, WindowIsBusy()); });
    connect(list, &DocumentListView::MovePressed, this,
            [this, list](int by) { ListView1_MoveSelected(*list, by); });
    // The drop is accepted at once and the folders are walked right after, from the event
    // loop, so the file manager's drag never looks stuck.
    connect(
        list, &DocumentListView::FilesDropped, this,
        [this, list](const QStringList &paths) { DropOnList(m_services, *list, paths); }, Qt::QueuedConnection);
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
        setCursor(m_hasHandCursor ? m_handCursor : QCursor(Qt::ArrowCursor));
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

void Form1::SetText1(const QString &text)
{
    Text1->setText(text);
}

void Form1::EnableFrame6(bool enabled)
{
    Frame6->setEnabled(enabled);
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
    SetPointer(over->property("handPointer").toBool() ? MousePointer::Hand : MousePointer::Default);
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove)
        ApplyPointerRule(watched);
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
    // every setting is already on disk. A run under way leaves nothing behind in the
    // user's folders: its children are stopped and its partial MP3 removed.
    event->accept();
    if (m_services.processes)
        m_services.processes->StopAll();
    m_underWay.CancelAll();
    if (m_beforeExit)
        m_beforeExit();
    std::fflush(nullptr);
    ::_exit(0);
}
