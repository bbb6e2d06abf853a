#include "app/controls.h"
#include "qtui/qtdialogs.h"
#include "app/form1.h"
#include "tests/fakes/fakes.h"
#include "tests/testutil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionSlider>
#include "ui/filedialogs.h"
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class WindowTest : public ::testing::Test, protected FakeServices
{
protected:
    WindowTest()
        : temp("TEMP", work.path())
    {
        services.programFolder = program.path();
        QDir(program.path()).mkdir(u"Samples"_s);
        WriteBytes(program.filePath(u"Samples/Example.odt"_s), "x");
        shell.desktop = work.path() + u"/Desktop"_s;
    }

    Form1 &Load()
    {
        form = std::make_unique<Form1>(services);
        loaded = form->Form_Load();
        return *form;
    }

    QStringList ReportLines() const
    {
        QStringList lines;
        for (const QString &text : boxes.ErrorReports())
            lines.append(text.section(u"\r\n"_s, 1).section(u"\r\r"_s, 0, 0));
        return lines;
    }

    QTemporaryDir work;
    QTemporaryDir program;
    ScopedEnv temp;
    std::unique_ptr<Form1> form;
    bool loaded = false;
};

} // namespace

TEST_F(WindowTest, AFirstStartRestoresTheDefaultsThroughTheControls)
{
    Form1 &w = Load();
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.Texts().join(u'\n').toStdString();
    EXPECT_EQ(w.windowTitle(), u"Vocatext"_s);
    EXPECT_EQ(w.Slider1->value(), 100);
    EXPECT_EQ(w.lblVolume->text(), u"Volume Level = 100"_s);
    EXPECT_EQ(w.Slider2->value(), -3);
    EXPECT_EQ(w.lblSpeed->text(), u"Speech Rate = -3"_s);
    EXPECT_EQ(w.Text1->text(), shell.desktop + u'/');
    EXPECT_TRUE(w.Option1->isChecked());
    EXPECT_TRUE(w.Frame6->isEnabled());
    EXPECT_EQ(w.Combo1->count(), 3);
    EXPECT_EQ(w.Combo1->currentIndex(), 0);
    EXPECT_EQ(w.listView1()->headerItem()->text(0), u" ODT File(s)"_s);
    EXPECT_EQ(w.listView1()->header()->sectionSize(0), 467);
    // Every restored value went back to the store through its control's handler.
    EXPECT_EQ(settings.values.value(u"Volume Level"_s), u"100"_s);
    EXPECT_EQ(settings.values.value(u"Speech Rate"_s), u"-3"_s);
    EXPECT_EQ(settings.values.value(u"Text1"_s), shell.desktop + u'/');
    EXPECT_EQ(settings.values.value(u"Option1"_s), u"True"_s);
    EXPECT_EQ(settings.values.value(u"Option2"_s), u"False"_s);
    EXPECT_EQ(settings.values.value(u"Combo"_s), u"0"_s);
    EXPECT_FALSE(settings.values.value(u"Snapshot"_s).isEmpty());
    EXPECT_TRUE(shell.opened.isEmpty());
    EXPECT_TRUE(QDir(work.path()).entryList(QDir::Files).isEmpty()); // the working-folder check cleans up
}

TEST_F(WindowTest, StoredValuesComeBackAndGarbageIsReportedOnceEach)
{
    settings.values = {{u"Volume Level"_s, u"150"_s}, {u"Speech Rate"_s, u"2.5"_s}, {u"Option1"_s, u"abc"_s},
                       {u"Option2"_s, u"False"_s},   {u"Combo"_s, u"5"_s},       {u"Text1"_s, u"/typed but missing"_s}};
    Form1 &w = Load();
    EXPECT_TRUE(loaded);
    EXPECT_EQ(ReportLines(), (QStringList{u"in Lectorn2021/08/31.Form1.Form_Load at line 134"_s,
                                          u"in Lectorn2021/08/31.Form1.Form_Load at line 148"_s}));
    EXPECT_EQ(w.Slider1->value(), 0); // the slider's position before start-up
    EXPECT_EQ(w.lblVolume->text(), u"Volume Level = 0"_s);
    EXPECT_EQ(w.Slider2->value(), 2); // halves to even
    EXPECT_EQ(w.Combo1->currentIndex(), -1); // the saved voice is gone
    EXPECT_EQ(w.Text1->text(), u"/typed but missing"_s);
    EXPECT_TRUE(w.Option1->isChecked());
}

TEST_F(WindowTest, ResultsBesideTheDocumentsDisableTheFolderFrame)
{
    settings.values = {{u"Option1"_s, u"False"_s}, {u"Option2"_s, u"True"_s}, {u"Combo"_s, u"1"_s}};
    Form1 &w = Load();
    EXPECT_TRUE(w.Option2->isChecked());
    EXPECT_FALSE(w.Option1->isChecked());
    EXPECT_FALSE(w.Frame6->isEnabled());
    EXPECT_FALSE(w.Text1->isEnabled());
    EXPECT_EQ(w.Combo1->currentIndex(), 1);
    EXPECT_EQ(settings.values.value(u"Option1"_s), u"False"_s);
}

TEST_F(WindowTest, NoDesktopFolderLeavesTheOutputFolderEmpty)
{
    shell.failDesktop = true;
    settings.values = {{u"Text1"_s, u"/stored/"_s}};
    Form1 &w = Load();
    EXPECT_EQ(ReportLines(), QStringList{u"in Lectorn2021/08/31.Form1.Form_Load at line 142"_s});
    EXPECT_EQ(w.Text1->text(), QString());
}

TEST_F(WindowTest, NoSpeechEngineEndsTheProgramBeforeTheWindowShows)
{
    speech.failCreateVoice = true;
    Load();
    EXPECT_FALSE(loaded);
    EXPECT_EQ(boxes.Texts(),
              QStringList{u"No voices found within the 'Text to Speech' feature in the Windows Control Panel."_s});
}

TEST_F(WindowTest, TheHomePageOpensOnDrawSeven)
{
    random.value = 7;
    Load();
    EXPECT_EQ(shell.opened, QStringList{u"https://www.quillmark.example/"_s});
}

TEST_F(WindowTest, SkinAndHandPointerAreUsedWhenPresent)
{
    QDir(program.path()).mkdir(u"x"_s);
    WriteBytes(program.filePath(u"x/o.cjs"_s), "QPushButton { color: navy; }");
    ASSERT_TRUE(QFile::copy(QStringLiteral(VOCATEXT_SOURCE_DIR "/app/resources/HAND-M.CUR"),
                            program.filePath(u"HAND-M.CUR"_s)));
    Form1 &w = Load();
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_EQ(w.styleSheet(), u"QPushButton { color: navy; }"_s);
    EXPECT_EQ(w.SkinFramework1().property1 & 1, 1);
    EXPECT_TRUE(w.SkinFramework1().property5 && w.SkinFramework1().property10);
    w.SetPointer(MousePointer::Hand);
    EXPECT_EQ(w.cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(w.cursor().hotSpot(), QPoint(5, 0));
}

TEST_F(WindowTest, SliderMovesAreStoredAndRefusedDuringARun)
{
    Form1 &w = Load();
    w.Slider1->setValue(40);
    EXPECT_EQ(w.lblVolume->text(), u"Volume Level = 40"_s);
    EXPECT_EQ(settings.values.value(u"Volume Level"_s), u"40"_s);

    w.State().IsBusy = true;
    w.Slider1->setValue(70);
    EXPECT_EQ(boxes.Texts().last(), u"You can not adjust because file is being saved now."_s);
    EXPECT_EQ(w.Slider1->value(), 40);
    EXPECT_EQ(settings.values.value(u"Volume Level"_s), u"40"_s);

    settings.values.remove(u"Speech Rate"_s);
    w.Slider2->setValue(5);
    EXPECT_EQ(w.Slider2->value(), 0); // a missing rate counts as 0 when a move is undone
    EXPECT_FALSE(settings.values.contains(u"Speech Rate"_s));
    EXPECT_EQ(boxes.shown.size(), 2);
}

TEST_F(WindowTest, APressOnTheGrooveDuringARunIsRefusedOnce)
{
    Form1 &w = Load();
    w.show();
    w.Slider1->setValue(40);
    w.State().IsBusy = true;
    boxes.shown.clear();
    // The press on the groove right of the handle, with the button that pages in this style,
    // starts the slider's page-step repeat; the box would take the button's release, so no
    // release comes.
    const auto button = static_cast<Qt::MouseButton>(w.Slider1->style()->styleHint(QStyle::SH_Slider_PageSetButtons)
                                                     & ~w.Slider1->style()->styleHint(QStyle::SH_Slider_AbsoluteSetButtons)
                                                     & (Qt::LeftButton | Qt::MiddleButton | Qt::RightButton));
    ASSERT_NE(button, Qt::NoButton);
    const Qt::MouseButton first = button & Qt::LeftButton ? Qt::LeftButton : button & Qt::MiddleButton ? Qt::MiddleButton : Qt::RightButton;
    QStyleOptionSlider option;
    option.initFrom(w.Slider1);
    option.orientation = Qt::Horizontal;
    option.minimum = w.Slider1->minimum();
    option.maximum = w.Slider1->maximum();
    option.sliderPosition = option.sliderValue = w.Slider1->value();
    option.tickPosition = w.Slider1->tickPosition();
    option.subControls = QStyle::SC_All;
    const QRect groove = w.Slider1->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, w.Slider1);
    const QPointF at(groove.left() + groove.width() * 0.9, groove.center().y());
    QMouseEvent press(QEvent::MouseButtonPress, at, w.Slider1->mapToGlobal(at), first, first, Qt::NoModifier);
    QApplication::sendEvent(w.Slider1, &press);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 1200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(boxes.Texts(), QStringList{u"You can not adjust because file is being saved now."_s});
    EXPECT_EQ(w.Slider1->value(), 40);
    EXPECT_EQ(settings.values.value(u"Volume Level"_s), u"40"_s);
}

TEST_F(WindowTest, ADarkDesktopThemeKeepsDarkTextOnTheWhiteWindow)
{
    const QPalette before = QApplication::palette();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Base, QColor(0x20, 0x20, 0x20));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    QApplication::setPalette(dark);
    Form1 &w = Load();
    for (QWidget *widget : std::initializer_list<QWidget *>{&w, w.Frame1, w.Frame5, w.Label2, w.lblVolume, w.Option1,
                                                            w.Option2}) {
        EXPECT_EQ(widget->palette().color(QPalette::Window), QColor(Qt::white)) << widget->objectName().toStdString();
        EXPECT_LT(widget->palette().color(QPalette::WindowText).lightness(), 60) << widget->objectName().toStdString();
    }
    // Rendered: the label's text is dark on white.
    w.resize(w.size());
    const QImage label = w.Label2->grab().toImage();
    int darkest = 255;
    for (int y = 0; y < label.height(); ++y)
        for (int x = 0; x < label.width(); ++x)
            darkest = std::min(darkest, qGray(label.pixel(x, y)));
    EXPECT_LT(darkest, 80);
    QApplication::setPalette(before);
}

TEST_F(WindowTest, FilesChosenFromSeveralFoldersAreAddedExactly)
{
    EXPECT_EQ(FileDialogResult({u"/docs/a.odt"_s, u"/docs/sub/x.odt"_s, u"/other/b.odt"_s}),
              u"/\0docs/a.odt\0docs/sub/x.odt\0other/b.odt"_s);
    EXPECT_EQ(FileDialogResult({u"/docs/a.odt"_s, u"/docs/b.odt"_s}),
              u"/docs\0a.odt\0b.odt"_s);
    EXPECT_EQ(FileDialogResult({u"/docs/a.odt"_s}), u"/docs/a.odt"_s);

    Form1 &w = Load();
    dialogs.openResult = FileDialogResult({u"/docs/a.odt"_s, u"/docs/sub/x.odt"_s, u"/a.odt"_s});
    w.PushButton3->click();
    QStringList entries;
    for (int i = 1; i <= w.listView1()->Count(); ++i)
        entries.append(w.listView1()->Text(i));
    EXPECT_EQ(entries, (QStringList{u"/docs/a.odt"_s, u"/docs/sub/x.odt"_s, u"/a.odt"_s}));
}

TEST_F(WindowTest, TestSpeechHoldsTheBusyFlag)
{
    Form1 &w = Load();
    speech.calls.clear();
    w.State().IsBusy = true;
    w.PushButton14->click();
    EXPECT_TRUE(speech.calls.isEmpty());
    w.State().IsBusy = false;
    bool busyWhileSpeaking = false;
    events.onYield = [&] { busyWhileSpeaking = w.State().IsBusy && w.Pointer() == MousePointer::Hourglass; };
    w.PushButton14->click();
    EXPECT_TRUE(busyWhileSpeaking);
    EXPECT_TRUE(speech.calls.contains(u"Speak This is a test"_s));
    EXPECT_TRUE(speech.calls.contains(u"SetRate -3"_s));
    EXPECT_FALSE(w.State().IsBusy);
    EXPECT_EQ(w.Pointer(), MousePointer::Default);
}

TEST_F(WindowTest, HelpAndVoiceButtons)
{
    Form1 &w = Load();
    w.PushButton9->click();
    EXPECT_TRUE(boxes.shown.last().text.startsWith(
        u"Most Windows software and most software on www.quillmark.example allow you to multitask"_s));
    EXPECT_TRUE(boxes.shown.last().text.endsWith(u"if you are tempted to multitask."_s));

    w.PushButton6->click(); // answered No
    EXPECT_TRUE(shell.opened.isEmpty());
    boxes.answers = {true};
    w.PushButton6->click();
    EXPECT_EQ(shell.opened, QStringList{u"https://duckduckgo.com/?q=microsoft%20text%20to%20speech%20voices"_s});

    speech.voices.append(u"eSpeak NG Welsh"_s);
    w.PushButton8->click();
    EXPECT_EQ(w.Combo1->count(), 4);
    EXPECT_TRUE(boxes.shown.last().text.startsWith(u"Done.\r\rList has been refreshed"_s));
    speech.failCreateVoice = true;
    w.PushButton8->click();
    EXPECT_EQ(boxes.shown.last().text,
              u"No voices found within the 'Text to Speech' feature in the Windows Control Panel."_s);
}

TEST_F(WindowTest, OutputLocationControlsPersistEveryChange)
{
    Form1 &w = Load();
    w.Option2->click();
    EXPECT_FALSE(w.Frame6->isEnabled());
    EXPECT_EQ(w.Text1->text(), shell.desktop + u'/');
    EXPECT_EQ(settings.values.value(u"Option1"_s), u"False"_s);
    EXPECT_EQ(settings.values.value(u"Option2"_s), u"True"_s);
    w.Option1->click();
    EXPECT_TRUE(w.Frame6->isEnabled());

    w.Text1->setText(u"/a"_s);
    w.Text1->setText(u"/ab"_s);
    EXPECT_EQ(settings.values.value(u"Text1"_s), u"/ab"_s);

    settings.values.insert(u"LastFolder"_s, u"/scanned"_s);
    dialogs.pickedFolder = QString();
    w.PushButton7->click();
    EXPECT_EQ(w.Text1->text(), u"/ab"_s);
    EXPECT_FALSE(settings.values.contains(u"LastFolderDot"_s));
    EXPECT_EQ(dialogs.asked.last(), u"PickFolder|Please select folder:|/scanned"_s);
    dialogs.pickedFolder = u"/audio"_s;
    w.PushButton7->click();
    EXPECT_EQ(w.Text1->text(), u"/audio/"_s);
    EXPECT_EQ(settings.values.value(u"LastFolderDot"_s), u"/audio"_s);
    EXPECT_EQ(settings.values.value(u"Text1"_s), u"/audio/"_s);
    dialogs.pickedFolder = u"/"_s;
    w.PushButton7->click();
    EXPECT_EQ(w.Text1->text(), u"/"_s);
    EXPECT_EQ(settings.values.value(u"LastFolder"_s), u"/scanned"_s);
}

TEST_F(WindowTest, TheListRefusesRemovalWhileBusyAndMovesEntriesByDragging)
{
    Form1 &w = Load();
    DocumentListView *list = w.listView1();
    for (const QString &entry : {u"A"_s, u"B"_s, u"C"_s, u"D"_s})
        list->Append(entry);
    list->Select(2);
    QKeyEvent deleteKey(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    w.SetPointer(MousePointer::Hourglass);
    QApplication::sendEvent(list, &deleteKey);
    w.PushButton2->click();
    EXPECT_EQ(list->Count(), 4);
    w.SetPointer(MousePointer::Default);
    QKeyEvent otherKey(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QApplication::sendEvent(list, &otherKey);
    EXPECT_EQ(list->Count(), 4);
    QApplication::sendEvent(list, &deleteKey);
    EXPECT_EQ(list->Count(), 3);
    list->Append(u"B"_s);

    // Drag entry A from the top row straight onto the last entry: the two swap.
    w.resize(w.size());
    list->show();
    auto rowCentre = [list](int index) { return list->visualItemRect(list->topLevelItem(index - 1)).center(); };
    auto send = [list](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at), QPointF(list->viewport()->mapToGlobal(at)),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(list->viewport(), &event);
    };
    send(QEvent::MouseButtonPress, rowCentre(1), Qt::LeftButton);
    send(QEvent::MouseMove, rowCentre(4), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, rowCentre(4), Qt::NoButton);
    EXPECT_EQ(list->Text(1), u"B"_s);
    EXPECT_EQ(list->Text(4), u"A"_s);
    EXPECT_EQ(list->SelectedIndex(), 4);

    w.PushButton2->click();
    EXPECT_EQ(list->Count(), 0);
}

TEST_F(WindowTest, DropsNeedAFileList)
{
    Form1 &w = Load();
    QMimeData text;
    text.setText(u"just text"_s);
    EXPECT_TRUE(DroppedPaths(&text).isEmpty());
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(u"/docs/a.odt"_s), QUrl(u"https://example.com/b.odt"_s)});
    EXPECT_EQ(DroppedPaths(&files), QStringList{u"/docs/a.odt"_s});
    QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.listView1()->viewport(), &refused);
    EXPECT_FALSE(refused.isAccepted());
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.listView1()->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction); // never a move
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.listView1()->viewport(), &drop);
    // Accepted at once, walked right after from the event loop: the drag never looks stuck.
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    EXPECT_EQ(w.listView1()->Count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.listView1()->Count(), 1);
}
