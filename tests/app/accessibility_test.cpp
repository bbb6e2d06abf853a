#include "app/controls.h"
#include "app/form1.h"
#include "tests/fakes/fakes.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class AccessibilityTest : public ::testing::Test, protected FakeServices
{
protected:
    AccessibilityTest() { form = std::make_unique<Form1>(services); }

    static QString Name(QWidget *widget)
    {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    }

    static QString KeyBinding(QWidget *button)
    {
        QAccessibleActionInterface *actions = QAccessible::queryAccessibleInterface(button)->actionInterface();
        return actions->keyBindingsForAction(QAccessibleActionInterface::pressAction()).value(0);
    }

    void CtrlKey(int key)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::ControlModifier);
        QApplication::sendEvent(form->listView1(), &press);
    }

    std::unique_ptr<Form1> form;
};

} // namespace

TEST_F(AccessibilityTest, EveryControlIsNamedInWordsAndTheWindowIsAFrame)
{
    EXPECT_EQ(QAccessible::queryAccessibleInterface(form.get())->role(), QAccessible::Window);
    static const QRegularExpression word(u"\\w"_s);
    for (QWidget *control : form->findChildren<QWidget *>()) {
        // Qt names the drop-down list by its current voice, and there is none here.
        if ((control->focusPolicy() & Qt::TabFocus) && !qobject_cast<QComboBox *>(control)) {
            EXPECT_TRUE(Name(control).contains(word)) << control->objectName().toStdString();
        }
    }
    EXPECT_EQ(Name(form->Text1), u"Output folder"_s);
    EXPECT_EQ(Name(form->PushButton7), u"Choose the output folder"_s);
    EXPECT_EQ(Name(form->PushButton9), u"Why to leave the computer alone during a conversion"_s);
    EXPECT_EQ(form->PushButton7->text(), u"..."_s); // what the window shows stays as it was
    EXPECT_EQ(form->PushButton9->text(), u"?"_s);
}

TEST_F(AccessibilityTest, NamesFollowTheListTheSlidersAndTheProgressText)
{
    DocumentListView *list = form->listView1();
    EXPECT_EQ(Name(list), u"Documents to convert: none"_s);
    list->Append(u"/a.odt"_s);
    EXPECT_EQ(Name(list), u"Documents to convert: 1 document"_s);
    list->Append(u"/b.odt"_s);
    EXPECT_EQ(Name(list), u"Documents to convert: 2 documents"_s);
    list->Remove(1);
    list->Clear();
    EXPECT_EQ(Name(list), u"Documents to convert: none"_s);

    SetSliderValue(*form->Slider2, 0);
    EXPECT_EQ(Name(form->Slider2), u"Speed of speech: 0, normal"_s);
    SetSliderValue(*form->Slider2, -10);
    EXPECT_EQ(Name(form->Slider2), u"Speed of speech: -10, slowest"_s);
    form->Slider2->SetValueQuietly(4); // a refused move set back
    EXPECT_EQ(Name(form->Slider2), u"Speed of speech: 4, faster than normal"_s);
    SetSliderValue(*form->Slider1, 0);
    EXPECT_EQ(Name(form->Slider1), u"Volume level: 0, silent"_s);
    SetSliderValue(*form->Slider1, 40);
    EXPECT_EQ(Name(form->Slider1), u"Volume level: 40 percent"_s);

    IProgressBar &bar = form->ProgressBar1();
    EXPECT_EQ(Name(form->progressBar1()), u"Progress Bar"_s);
    bar.SetText(u"Processing: a.odt"_s);
    bar.Announce(bar.Text());
    // The waits' refreshes, ten a second, leave the name to be heard.
    bar.SetText(u"Processing file 1 of 2.. please wait patiently.. Please do not click on anything..7"_s);
    bar.SetText(u"Processing: a.odt, Please wait.. 3"_s);
    EXPECT_EQ(Name(form->progressBar1()), u"Processing: a.odt"_s);
    EXPECT_EQ(bar.Text(), u"Processing: a.odt, Please wait.. 3"_s);
    bar.Announce(u"Progress Bar"_s);
    EXPECT_EQ(Name(form->progressBar1()), u"Progress Bar"_s);
}

TEST_F(AccessibilityTest, ShortcutsAreKeyBindingsAndCtrlArrowsMoveTheSelectedDocument)
{
    EXPECT_EQ(KeyBinding(form->PushButton3), u"Ctrl+O"_s);
    EXPECT_EQ(KeyBinding(form->PushButton4), u"Ctrl+Shift+O"_s);
    EXPECT_EQ(KeyBinding(form->PushButton1), u"Ctrl+Return"_s);
    EXPECT_EQ(KeyBinding(form->PushButton9), u"F1"_s);
    EXPECT_EQ(form->PushButton3->text(), u"Add ODT Files"_s); // no mnemonic in the caption

    DocumentListView *list = form->listView1();
    list->setColumnCount(1); // start-up creates the column
    for (const QString &path : {u"/a.odt"_s, u"/b.odt"_s, u"/c.odt"_s})
        list->Append(path);
    list->Select(1);
    const quint64 a = list->Id(1);
    CtrlKey(Qt::Key_Down);
    EXPECT_EQ(list->Text(2), u"/a.odt"_s);
    EXPECT_EQ(list->Id(2), a); // a run tells the entry by it
    EXPECT_NE(list->Id(1), a);
    EXPECT_EQ(list->SelectedIndex(), 2);
    form->SetPointer(MousePointer::Hourglass); // during a run too, as a drag
    CtrlKey(Qt::Key_Up);
    form->SetPointer(MousePointer::Default);
    EXPECT_EQ(list->Text(1), u"/a.odt"_s);
    EXPECT_EQ(list->SelectedIndex(), 1);
}
