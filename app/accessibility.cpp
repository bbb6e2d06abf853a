#include "app/accessibility.h"

#include "app/controls.h"
#include "app/form1.h"

#include <QAccessibleWidget>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

using namespace Qt::StringLiterals;

namespace {

// A plain QWidget at the top is a "filler" to AT-SPI; a screen reader looks for a frame
// to name the window it is in.
QAccessibleInterface *MainWindowRole(const QString &, QObject *object)
{
    if (auto *form = qobject_cast<Form1 *>(object))
        return new QAccessibleWidget(form, QAccessible::Window);
    return nullptr;
}

QString DocumentListName(int count)
{
    if (count == 0)
        return u"Documents to convert: none"_s;
    return u"Documents to convert: "_s + QString::number(count) + (count == 1 ? u" document"_s : u" documents"_s);
}

QString VolumeSliderName(int value)
{
    QString words = QString::number(value) + u" percent"_s;
    if (value == 0)
        words = u"0, silent"_s;
    else if (value == 100)
        words = u"100, full"_s;
    return u"Volume level: "_s + words;
}

QString SpeedSliderName(int value)
{
    QString words = value < 0 ? u"slower than normal"_s : u"faster than normal"_s;
    if (value == 0)
        words = u"normal"_s;
    else if (value == -10)
        words = u"slowest"_s;
    else if (value == 10)
        words = u"fastest"_s;
    return u"Speed of speech: "_s + QString::number(value) + u", "_s + words;
}

void Describe(QWidget *control, const QString &name, const QString &description)
{
    if (!name.isEmpty())
        control->setAccessibleName(name);
    control->setAccessibleDescription(description);
}

} // namespace

void MakeAccessible(Form1 &form)
{
    QAccessible::installFactory(MainWindowRole);

    DocumentListView *list = form.listView1();
    // The tooltip speaks of the mouse; the description says what the keyboard does.
    Describe(list, DocumentListName(list->Count()),
             u"Up, Down, Home and End choose a document; Ctrl+Up and Ctrl+Down move it; Delete removes it"_s);
    QObject::connect(list, &DocumentListView::CountChanged, list,
                     [list](int count) { list->setAccessibleName(DocumentListName(count)); });

    Describe(form.PushButton3, {}, u"Choose OpenDocument text files to add to the list"_s);
    Describe(form.PushButton4, {}, u"Add every OpenDocument text file of a folder and its sub-folders"_s);
    Describe(form.PushButton2, {}, u"Remove every document from the list"_s);
    Describe(form.PushButton5, {}, u"Add the example documents that come with Vocatext"_s);
    form.Slider1->SetAccessibleNameOf(VolumeSliderName);
    Describe(form.Slider1, {}, u"Loudness of the voice, from 0, silent, to 100, full"_s);
    form.Slider2->SetAccessibleNameOf(SpeedSliderName);
    Describe(form.Slider2, {}, u"From -10, slowest, through 0, normal, to 10, fastest"_s);
    Describe(form.PushButton14, {}, u"Speak a test phrase with the chosen voice, speed and volume"_s);
    // On Linux Qt names a drop-down list by its current text, the chosen voice.
    Describe(form.Combo1, {}, u"The voice that reads the documents"_s);
    Describe(form.PushButton8, {}, u"Read the list of installed voices again"_s);
    Describe(form.PushButton6, {}, u"How to install more voices"_s);
    Describe(form.Option1, {}, u"Every MP3 file goes into the output folder"_s);
    Describe(form.Frame6, u"Chosen folder"_s, {});
    Describe(form.Text1, u"Output folder"_s, u"The folder that receives the MP3 files"_s);
    Describe(form.PushButton7, u"Choose the output folder"_s, {});
    Describe(form.Option2, {}, u"Every MP3 file goes into the folder of its document"_s);
    Describe(form.PushButton1, {}, u"Convert every document in the list to an MP3 file"_s);
    TextProgressBar *progress = form.progressBar1();
    Describe(progress, progress->Text(), u"Progress of the conversion"_s);
    // The refreshes rewrite the text every 100 ms with a running count: a name replaced that
    // often is never heard, so the name is the document under way, until the next one.
    QObject::connect(progress, &TextProgressBar::Announced, progress, [progress](const QString &name) {
        // Each new name is announced; the same name again would be said again.
        if (name != progress->accessibleName())
            progress->setAccessibleName(name);
    });
    Describe(form.PushButton9, u"Why to leave the computer alone during a conversion"_s, {});

    // The order in which the controls stand on the window, row by row. Of the two option
    // buttons Tab reaches the selected one; the arrow keys move between them.
    const QList<QWidget *> tabOrder = {list, form.PushButton3, form.PushButton4, form.PushButton2, form.PushButton5,
                                       form.Slider1, form.Slider2, form.PushButton14, form.Combo1, form.PushButton8,
                                       form.PushButton6, form.Option1, form.Text1, form.PushButton7, form.Option2,
                                       form.PushButton1, form.PushButton9};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);

    // A button's own shortcut leaves its caption as it is and is its accessible key binding.
    form.PushButton3->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    form.PushButton4->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    form.PushButton1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
    form.PushButton9->setShortcut(QKeySequence(Qt::Key_F1));
    auto *keypadEnter = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Enter), &form);
    QObject::connect(keypadEnter, &QShortcut::activated, form.PushButton1, &QPushButton::animateClick);
}
