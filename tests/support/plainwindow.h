#pragma once

#include "ui/mainwindow.h"
#include "filelist/documentlist.h"

#include <QList>
#include <QStringList>

// A progress bar of plain values that remembers every value and text it showed.
class PlainProgressBar final : public IProgressBar
{
public:
    double Value() const override { return value; }
    void SetValue(double v) override
    {
        value = v;
        values.append(v);
    }
    QString Text() const override { return text; }
    void SetText(const QString &t) override
    {
        text = t;
        texts.append(t);
    }
    void Announce(const QString &name) override { announced.append(name); }

    double value = 0;
    QString text = QStringLiteral("Progress Bar");
    QList<double> values;
    QStringList texts;
    QStringList announced;
};

// The main window as plain values: what a front end without widgets (a benchmark, a
// test) hands to the procedures behind the window.
class PlainMainWindow final : public IMainWindow
{
public:
    WindowState &State() override { return state; }
    MousePointer Pointer() const override { return pointer; }
    void SetPointer(MousePointer p) override
    {
        pointer = p;
        pointers.append(p);
    }
    IDocumentList &ListView1() override { return list; }
    IProgressBar &ProgressBar1() override { return progress; }
    int Combo1Index() const override { return combo1Index; }
    int Slider1Value() const override { return slider1; }
    int Slider2Value() const override { return slider2; }
    bool Option1Value() const override { return option1; }
    bool Option2Value() const override { return option2; }
    QString Text1Value() const override { return text1; }

    WindowState state;
    MousePointer pointer = MousePointer::Default;
    QList<MousePointer> pointers;
    StringDocumentList list;
    PlainProgressBar progress;
    int combo1Index = -1;
    int slider1 = 100;
    int slider2 = -3;
    bool option1 = true;
    bool option2 = false;
    QString text1;
};
