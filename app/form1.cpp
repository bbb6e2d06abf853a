#include "app/form1.h"

#include "app/controls.h"
#include "app/workingfoldercheck.h"
#include "common/apptitle.h"
#include "common/buildconfig.h"
#include "common/eventloop.h"
#include "common/helpers.h"
#include "common/runtimeerror.h"
#include "common/settings.h"
#include "common/statements.h"
#include "filelist/addfiles.h"
#include "filelist/addfolder.h"
#include "filelist/samples.h"
#include "pipeline/conversionrun.h"
#include "pipeline/speak.h"
#include "platform/filedialogs.h"
#include "platform/messageboxes.h"
#include "platform/random.h"
#include "platform/shell.h"
#include "speech/voicecatalogue.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QPointer>

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
    m_voiceList = std::make_unique<VoiceListCombo>(*Combo1);
    ConnectList();
    ConnectHandlers();
}

void Form1::ConnectHandlers()
{
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form1::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form1::PushButton7_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form1::PushButton8_Click);
    connect(PushButton9, &QPushButton::clicked, this, &Form1::PushButton9_Click);
    connect(PushButton14, &QPushButton::clicked, this, &Form1::PushButton14_Click);
    connect(Slider1, &QSlider::valueChanged, this, &Form1::Slider1_Change);
    connect(Slider2, &QSlider::valueChanged, this, &Form1::Slider2_Change);
    connect(Combo1, &QComboBox::currentIndexChanged, this, &Form1::Combo1_Click);
    connect(Option1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Option_Click();
    });
    connect(Option2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            Option_Click();
    });
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
}

bool Form1::Form_Load()
{
    Statements run(*m_services.boxes, SiteTag(u"Form1"_s, u"Form_Load"_s));
    const QString program = m_services.programFolder;
    ISettingsStore &settings = *m_services.settings;

    run(100, [&] {
        const QString skin = program + u"/x/o.cjs"_s;
        if (QFileInfo(skin).isFile())
            ApplySkin(skin);
    });
    if (run.If(102, [&] { return FileExists(program + u"/HAND-M.CUR"_s); }))
        run(104, [&] { LoadHandPointer(program + u"/HAND-M.CUR"_s); });
    run(106, [&] {
        // About one start in a hundred shows the maker's home page.
        if (m_services.random->Between(1, 100) == 7)
            m_services.shell->Open(QString::fromUtf8(kHomePage));
    });
    if (run.If(108, [&] { return ReadSetting(settings, u"Snapshot"_s).isEmpty(); }))
        run([&] { TakeSampleSnapshot(m_services); });
    if (run.If(128, [&] { return ReadSetting(settings, u"Snapshot"_s).isEmpty(); }))
        run([&] { TakeSampleSnapshot(m_services); });
    run(130, [&] {
        setWindowTitle(QString::fromUtf8(kProductName));
        setWindowIcon(QIcon(u":/icons/vocatext.png"_s));
        m_services.boxes->SetApplicationTitle(ApplicationTitle(QString::fromUtf8(kProductName)));
    });
    bool voices = true;
    run(132, [&] { voices = FillVoiceList(m_services, *m_voiceList); });
    if (!voices)
        return false;
    run(134, [&] { SetSliderValue(*Slider1, SettingToWholeNumber(ReadSetting(settings, u"Volume Level"_s, 100))); });
    run(136, [&] { SetSliderValue(*Slider2, SettingToWholeNumber(ReadSetting(settings, u"Speech Rate"_s, -3))); });
    run(138, [&] { lblVolume->setText(u"Volume Level = "_s + QString::number(Slider1->value())); });
    run(140, [&] { lblSpeed->setText(u"Speech Rate = "_s + QString::number(Slider2->value())); });
    run(142, [&] {
        const QString desktop = m_services.shell->DesktopFolder() + u'/';
        Text1->setText(ReadSetting(settings, u"Text1"_s, desktop));
    });
    run(144, [&] { m_listView1->setHeaderLabels({u" ODT File(s)"_s}); });
    run(146, [&] { m_listView1->header()->resizeSection(0, Twips(0, 0, 7000, 0).width()); });
    // Selecting an option from code is a click on it, also when it was selected already.
    auto restoreOption = [this](QRadioButton *option, bool selected) {
        {
            const QSignalBlocker quiet1(Option1);
            const QSignalBlocker quiet2(Option2);
            option->setChecked(selected);
        }
        if (selected)
            Option_Click();
    };
    run(148, [&] { restoreOption(Option1, SettingToBoolean(ReadSetting(settings, u"Option1"_s, u"True"_s))); });
    run(150, [&] { restoreOption(Option2, SettingToBoolean(ReadSetting(settings, u"Option2"_s, u"False"_s))); });
    if (run.If(152, [&] { return Option1->isChecked(); }))
        run(154, [&] { Frame6->setEnabled(true); });
    else
        run(156, [&] { Frame6->setEnabled(false); });
    run(156, [&] { CheckWorkingFolder(m_services); });
    return true;
}

void Form1::ApplySkin(const QString &path)
{
    // The window and its option buttons, frames and labels take the button-face colour.
    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(u"Path/File access error: "_s + path, ErrorNumber::PathFileAccessError);
    m_skin.styleSheet = QString::fromUtf8(file.readAll());
    m_skin.property1 |= 1;
    m_skin.property5 = true;
    m_skin.property10 = true;
    setStyleSheet(m_skin.styleSheet);
}

void Form1::PushButton6_Click()
{
    ::PushButton6_Click(m_services);
}

void Form1::PushButton7_Click()
{
    Statements run(*m_services.boxes, SiteTag(u"Form1"_s, u"PushButton7_Click"_s));
    QString chosen;
    run(100, [&] {
        chosen = BrowseForFolder(*m_services.dialogs, u"Please select folder:"_s,
                                 ReadSetting(*m_services.settings, u"LastFolder"_s));
    });
    if (!run.If(102, [&] { return !chosen.isEmpty(); }))
        return;
    run(104, [&] { WriteSetting(*m_services.settings, u"LastFolderDot"_s, chosen); });
    if (run.If(104, [&] { return !chosen.endsWith(u'/'); }))
        run(106, [&] { Text1->setText(chosen + u'/'); });
    else
        run(108, [&] { Text1->setText(chosen); });
}

void Form1::PushButton8_Click()
{
    ::PushButton8_Click(m_services, *m_voiceList);
}

void Form1::PushButton9_Click()
{
    Statements run(*m_services.boxes, SiteTag(u"Form1"_s, u"PushButton9_Click"_s));
    const QString br = u"\r\n"_s;
    run(100, [&] {
        m_services.boxes->Information(
            u"Most Windows software and most software on "_s + QString::fromUtf8(kMakerHost)
            + u" allow you to multitask (do other things) while it is running."_s + br + br
            + u"This software is an exception. This software uses a lot of resources. Please allow the software to "
              u"run without multitasking so that it does not crash."_s
            + br + br + u"Please walk away from the computer and do something else if you are tempted to multitask."_s);
    });
}

void Form1::PushButton14_Click()
{
    Statements run(*m_services.boxes, SiteTag(u"Form1"_s, u"PushButton14_Click"_s));
    if (run.If(100, [&] { return m_state.IsBusy; }))
        return;
    run(102, [&] { m_state.IsBusy = true; });
    run(104, [&] { SetPointer(MousePointer::Hourglass); });
    run(106, [&] { m_services.events->Yield(); });
    run(108, [&] { m_speak->SaveToWAV(u"This is a test"_s, QString()); });
    run(110, [&] { SetPointer(MousePointer::Default); });
    run(112, [&] { m_state.IsBusy = false; });
}

namespace {

// A slider moved while a run or the test speech is busy is refused and set back to its
// stored value; otherwise its label and its setting follow it.
void SliderChange(const Services &services, const WindowState &state, StepSlider &slider, QLabel &label,
                  const QString &procedure, const QString &caption, const QString &key, int missing)
{
    Statements run(*services.boxes, SiteTag(u"Form1"_s, procedure));
    if (run.If(100, [&] { return state.IsBusy; })) {
        // A press on the groove repeats its page step for as long as the button is down; the
        // box takes the release, so the repeat is stopped here and once more after the press
        // has been handled (the slider starts the repeat only then).
        slider.StopRepeat();
        run(114, [&] { services.boxes->Information(u"You can not adjust because file is being saved now."_s); });
        QTimer::singleShot(0, &slider, [target = QPointer<StepSlider>(&slider)] {
            if (target)
                target->StopRepeat();
        });
        run(116, [&] {
            const QSignalBlocker quiet(&slider); // the set-back is not a move of its own
            SetSliderValue(slider, SettingToWholeNumber(ReadSetting(*services.settings, key, missing)));
        });
        return;
    }
    run(102, [&] { label.setText(caption + QString::number(slider.value())); });
    run(104, [&] { WriteSetting(*services.settings, key, QString::number(slider.value())); });
}

// The handlers without an error report of their own: a store that cannot be written is
// left for the next change.
template<typename F>
void Quietly(F &&write)
{
    try {
        write();
    } catch (const std::exception &) {
    }
}

} // namespace

void Form1::Slider1_Change()
{
    SliderChange(m_services, m_state, *Slider1, *lblVolume, u"Slider1_Change"_s, u"Volume Level = "_s,
                 u"Volume Level"_s, 100);
}

void Form1::Slider2_Change()
{
    SliderChange(m_services, m_state, *Slider2, *lblSpeed, u"Slider2_Change"_s, u"Speech Rate = "_s,
                 u"Speech Rate"_s, 0);
}

void Form1::Combo1_Click()
{
    Quietly([&] { WriteSetting(*m_services.settings, u"Combo"_s, QString::number(Combo1->currentIndex())); });
}

void Form1::Option_Click()
{
    Quietly([&] { WriteSetting(*m_services.settings, u"Option1"_s, BooleanToSetting(Option1->isChecked())); });
    Quietly([&] { WriteSetting(*m_services.settings, u"Option2"_s, BooleanToSetting(Option2->isChecked())); });
    Frame6->setEnabled(Option1->isChecked());
}

void Form1::Text1_Change()
{
    Quietly([&] { WriteSetting(*m_services.settings, u"Text1"_s, Text1->text()); });
}

void Form1::PushButton1_Click()
{
    ::PushButton1_Click(m_services, *this, *m_speak);
}

void Form1::PushButton2_Click()
{
    Statements run(*m_services.boxes, SiteTag(u"Form1"_s, u"PushButton2_Click"_s));
    run(100, [&] {
        if (!WindowIsBusy())
            m_listView1->Clear();
    });
}

void Form1::PushButton3_Click()
{
    ::PushButton3_Click(m_services, *m_listView1);
}

void Form1::PushButton4_Click()
{
    ::PushButton4_Click(m_services, *this);
}

void Form1::PushButton5_Click()
{
    Statements run(*m_services.boxes, SiteTag(u"Form1"_s, u"PushButton5_Click"_s));
    run(100, [&] { LoadSampleFiles(m_services, *m_listView1); });
}

void Form1::ConnectList()
{
    const QPixmap dragImage(m_services.programFolder + u"/drag.ico"_s);
    m_dragCursor = dragImage.isNull() ? QCursor(Qt::ArrowCursor) : QCursor(dragImage);

    DocumentListView *list = m_listView1;
    connect(list, &DocumentListView::MouseDown, this, [this] { IsDragging = true; });
    connect(list, &DocumentListView::EntryClicked, this, [this, list] {
        list->viewport()->setCursor(m_dragCursor);
        const int selected = list->SelectedIndex();
        DragItem = selected > 0 ? QPersistentModelIndex(list->model()->index(selected - 1, 0)) : QPersistentModelIndex();
    });
    connect(list, &DocumentListView::MouseMoved, this, [this, list](QPoint at, QPoint screen) {
        ApplyPointerRule(list);
        if (!IsDragging)
            return;
        const int dragItem = DragItem.isValid() ? DragItem.row() + 1 : 0;
        const int moved = InListDragStep(*list, dragItem, list->IndexAt(at), screen.y());
        if (moved != dragItem && moved > 0)
            DragItem = QPersistentModelIndex(list->model()->index(moved - 1, 0));
    });
    connect(list, &DocumentListView::MouseUp, this, [this, list] {
        IsDragging = false;
        list->viewport()->unsetCursor();
    });
    connect(list, &DocumentListView::DeletePressed, this, [this, list] { RemoveSelectedEntry(*list, WindowIsBusy()); });
    connect(list, &DocumentListView::ListDoubleClicked, this,
            [this, list] { RemoveSelectedEntry(*list, WindowIsBusy()); });
    // The drop is accepted at once and the folders are walked right after, from the event
    // loop, so the file manager's drag never looks stuck.
    connect(
        list, &DocumentListView::FilesDropped, this,
        [this, list](const QStringList &paths) { DropOnList(m_services, *list, paths); }, Qt::QueuedConnection);
}

Form1::~Form1() = default;

void Form1::BuildControls()
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(Twips(0, 0, 8040, 9780).size());
    setFont(WindowFont());
    // White behind dark text, as designed, whatever the desktop's theme: the labels, frame
    // titles and option captions keep their dark text on a dark theme too.
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        white.setColor(group, QPalette::WindowText, Qt::black);
    white.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
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

    PushButton3 = button(this, u"Add ODT Files"_s, Twips(120, 2650, 3840, 405));
    PushButton4 = button(this, u"Add All ODT Files In Folder"_s, Twips(4080, 2650, 3840, 405));
    PushButton2 = button(this, u"Clear List"_s, Twips(120, 3160, 3840, 405));
    PushButton5 = button(this, u"Load Sample/Example Files"_s, Twips(4080, 3160, 3840, 405));

    Frame1 = frame(this, u"Volume Control"_s, Twips(120, 3630, 7800, 1110));
    Slider1 = new StepSlider(Qt::Horizontal, Frame1);
    Slider1->setGeometry(Twips(240, 315, 7305, 315));
    Slider1->setRange(0, 100);
    Slider1->setSingleStep(1);
    Slider1->setPageStep(5);
    Slider1->setTickPosition(QSlider::TicksBelow);
    Slider1->setTickInterval(5);
    Slider1->setTracking(false); // a drag is one change, when the slider is let go
    lblVolume = label(Frame1, QString(), Twips(945, 675, 5835, 330));
    lblVolume->setAlignment(Qt::AlignCenter);
    Label2 = label(Frame1, u"Min."_s, Twips(270, 720, 375, 195));
    Label3 = label(Frame1, u"Max."_s, Twips(7080, 720, 405, 225));

    Frame4 = frame(this, u"Speed of Speech"_s, Twips(120, 4800, 7800, 1080));
    Slider2 = new StepSlider(Qt::Horizontal, Frame4);
    Slider2->setGeometry(Twips(240, 270, 5745, 315));
    Slider2->setRange(-10, 10);
    Slider2->setSingleStep(1);
    Slider2->setPageStep(5);
    Slider2->setTickPosition(QSlider::TicksBelow);
    Slider2->setTickInterval(1);
    Slider2->setTracking(false);
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
    // every setting is already on disk, and working files stay where they are.
    event->accept();
    if (m_beforeExit)
        m_beforeExit();
    std::fflush(nullptr);
    ::_exit(0);
}
