#pragma once

#include <QString>
#include <QtGlobal>

class IDocumentList;

// State of the main window that lives longer than one handler.
struct WindowState
{
    /// True while a conversion run or the test speech is in progress.
    bool IsBusy = false;
    /// Progress steps taken for the current document; shown at the end of the progress text.
    qint32 StepCounter = 0;
    /// The 1-based number of the document being converted.
    qint32 CurrentFileNumber = 0;
};

enum class MousePointer { Default, Hourglass, Hand };

// The progress bar: a value (a real number, 0 to 100 shown; larger values are kept
// and shown as full) and a text.
class IProgressBar
{
public:
    virtual ~IProgressBar() = default;
    virtual double Value() const = 0;
    virtual void SetValue(double value) = 0;
    virtual QString Text() const = 0;
    virtual void SetText(const QString &text) = 0;
    /// What a screen reader says of the bar from now on: the document under way
    /// ("Processing: report.odt"), never the counts that each refresh shows.
    virtual void Announce(const QString &name) = 0;
};

// What the procedures behind the window read from it and drive on it; Form1 implements
// it with its controls, tests with plain values.
class IMainWindow
{
public:
    virtual ~IMainWindow() = default;

    virtual WindowState &State() = 0;
    /// The window's pointer; the hourglass means that the window is busy.
    virtual MousePointer Pointer() const = 0;
    virtual void SetPointer(MousePointer pointer) = 0;

    virtual IDocumentList &ListView1() = 0;
    virtual IProgressBar &ProgressBar1() = 0;

    /// Selected index of the voice list; -1 when nothing is selected.
    virtual int Combo1Index() const = 0;
    /// The volume slider, 0 to 100.
    virtual int Slider1Value() const = 0;
    /// The rate slider, -10 to 10.
    virtual int Slider2Value() const = 0;

    virtual bool Option1Value() const = 0;
    virtual bool Option2Value() const = 0;
    virtual QString Text1Value() const = 0;
};
