#include "app/controls.h"
#include "app/form1.h"
#include "tests/fakes/fakes.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class Form1Test : public ::testing::Test, protected FakeServices
{
protected:
    Form1Test()
    {
        form = std::make_unique<Form1>(services);
    }

    void MoveOver(QWidget *widget)
    {
        QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }

    std::unique_ptr<Form1> form;
};

} // namespace

TEST_F(Form1Test, ControlMapInPixels)
{
    EXPECT_EQ(form->size(), QSize(536, 652));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()); // fixed size
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);

    struct Expected
    {
        QWidget *widget;
        QWidget *container;
        QRect geometry;
    };
    const QList<Expected> expected = {
        {form->listView1(), form.get(), QRect(8, 8, 520, 163)},
        {form->PushButton3, form.get(), QRect(8, 177, 256, 27)},
        {form->PushButton4, form.get(), QRect(272, 177, 256, 27)},
        {form->PushButton2, form.get(), QRect(8, 211, 256, 27)},
        {form->PushButton5, form.get(), QRect(272, 211, 256, 27)},
        {form->Frame1, form.get(), QRect(8, 242, 520, 74)},
        {form->Slider1, form->Frame1, QRect(16, 21, 487, 21)},
        {form->lblVolume, form->Frame1, QRect(63, 45, 389, 22)},
        {form->Frame4, form.get(), QRect(8, 320, 520, 72)},
        {form->Slider2, form->Frame4, QRect(16, 18, 383, 21)},
        {form->PushButton14, form->Frame4, QRect(408, 18, 96, 23)},
        {form->Frame2, form.get(), QRect(8, 396, 520, 53)},
        {form->Combo1, form->Frame2, QRect(16, 20, 280, 23)},
        {form->PushButton8, form->Frame2, QRect(304, 20, 96, 23)},
        {form->PushButton6, form->Frame2, QRect(408, 20, 96, 23)},
        {form->Frame5, form.get(), QRect(8, 453, 520, 121)},
        {form->Option1, form->Frame5, QRect(16, 20, 241, 17)},
        {form->Frame6, form->Frame5, QRect(32, 34, 456, 54)},
        {form->Text1, form->Frame6, QRect(16, 20, 378, 23)},
        {form->PushButton7, form->Frame6, QRect(400, 20, 40, 23)},
        {form->Option2, form->Frame5, QRect(16, 94, 241, 17)},
        {form->PushButton1, form.get(), QRect(8, 582, 520, 27)},
        {form->progressBar1(), form.get(), QRect(8, 617, 488, 27)},
        {form->PushButton9, form.get(), QRect(504, 617, 24, 27)},
    };
    for (const Expected &e : expected) {
        EXPECT_EQ(e.widget->parentWidget(), e.container) << e.widget->objectName().toStdString();
        EXPECT_EQ(e.widget->geometry(), e.geometry) << e.widget->objectName().toStdString();
    }
}

TEST_F(Form1Test, CaptionsFontsAndTooltip)
{
    EXPECT_EQ(form->PushButton1->text(), u"Start Converting To MP3"_s);
    EXPECT_EQ(form->PushButton2->text(), u"Clear List"_s);
    EXPECT_EQ(form->PushButton3->text(), u"Add ODT Files"_s);
    EXPECT_EQ(form->PushButton4->text(), u"Add All ODT Files In Folder"_s);
    EXPECT_EQ(form->PushButton5->text(), u"Load Sample/Example Files"_s);
    EXPECT_EQ(form->PushButton6->text(), u"Add Voices"_s);
    EXPECT_EQ(form->PushButton7->text(), u"..."_s);
    EXPECT_EQ(form->PushButton8->text(), u"Refresh List"_s);
    EXPECT_EQ(form->PushButton9->text(), u"?"_s);
    EXPECT_EQ(form->PushButton14->text(), u"Test Speed"_s);
    EXPECT_EQ(form->Frame1->title(), u"Volume Control"_s);
    EXPECT_EQ(form->Frame2->title(), u"Voice Used"_s);
    EXPECT_EQ(form->Frame4->title(), u"Speed of Speech"_s);
    EXPECT_EQ(form->Frame5->title(), u"Save Option"_s);
    EXPECT_EQ(form->Frame6->title(), QString());
    EXPECT_EQ(form->Option1->text(), u"Save results to this folder:"_s);
    EXPECT_EQ(form->Option2->text(), u"Save results in folder of original file"_s);
    EXPECT_TRUE(form->Option1->isChecked());
    EXPECT_EQ(form->Label2->text(), u"Min."_s);
    EXPECT_EQ(form->Label3->text(), u"Max."_s);
    EXPECT_EQ(form->Label6->text(), u"Slow"_s);
    EXPECT_EQ(form->Label5->text(), u"Fast"_s);
    EXPECT_EQ(form->ProgressBar1().Text(), u"Progress Bar"_s);
    EXPECT_EQ(form->listView1()->toolTip(),
              u"Drag and drop files here. Double-click item to remove it. Move | line to right and out of window "
              u"to reveal full names."_s);
    EXPECT_EQ(form->Slider1->minimum(), 0);
    EXPECT_EQ(form->Slider1->maximum(), 100);
    EXPECT_EQ(form->Slider2->minimum(), -10);
    EXPECT_EQ(form->Slider2->maximum(), 10);
    EXPECT_EQ(form->Slider2->pageStep(), 5);
    EXPECT_TRUE(form->font().bold());
    EXPECT_DOUBLE_EQ(form->font().pointSizeF(), 9);
    EXPECT_DOUBLE_EQ(form->PushButton1->font().pointSizeF(), 11.25);
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(Qt::white));
}

TEST_F(Form1Test, OptionButtonsExcludeEachOther)
{
    form->Option2->click();
    EXPECT_FALSE(form->Option1->isChecked());
    EXPECT_TRUE(form->Option2Value());
    form->Option1->click();
    EXPECT_FALSE(form->Option2->isChecked());
}

TEST_F(Form1Test, PointerRulesNeverReplaceTheHourglass)
{
    MoveOver(form->PushButton3);
    EXPECT_EQ(form->Pointer(), MousePointer::Hand);
    EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor); // no hand image loaded
    MoveOver(form->Frame1);
    EXPECT_EQ(form->Pointer(), MousePointer::Default);
    MoveOver(form->PushButton9);
    MoveOver(form->Slider1); // sliders leave the pointer as it is
    EXPECT_EQ(form->Pointer(), MousePointer::Hand);
    MoveOver(form->PushButton14); // the test button has no rule
    EXPECT_EQ(form->Pointer(), MousePointer::Hand);
    MoveOver(form->Text1);
    EXPECT_EQ(form->Pointer(), MousePointer::Default);

    form->SetPointer(MousePointer::Hourglass);
    for (QWidget *w : {static_cast<QWidget *>(form->PushButton1), static_cast<QWidget *>(form->Frame5),
                       static_cast<QWidget *>(form.get()), form->listView1()->viewport()}) {
        MoveOver(w);
        EXPECT_EQ(form->cursor().shape(), Qt::WaitCursor);
    }
}

TEST_F(Form1Test, ProgressBarKeepsItsTextAndValueAsGiven)
{
    IProgressBar &bar = form->ProgressBar1();
    bar.SetText(u"Processing: 100%p.odt"_s);
    EXPECT_EQ(bar.Text(), u"Processing: 100%p.odt"_s);
    EXPECT_EQ(form->progressBar1()->text(), u"Processing: 100%p.odt"_s);
    bar.SetValue(190);
    EXPECT_EQ(bar.Value(), 190);
    EXPECT_EQ(form->progressBar1()->value(), 100);
    bar.SetValue(33.333);
    EXPECT_DOUBLE_EQ(bar.Value(), 33.333);
}
