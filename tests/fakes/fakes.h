#pragma once

#include "common/eventloop.h"
#include "common/mainwindow.h"
#include "common/services.h"
#include "filelist/documentlist.h"
#include "platform/messageboxes.h"
#include "platform/settingsstore.h"

#include <QMap>
#include <QStringList>

#include <deque>
#include <functional>

// Message boxes that record what they were asked to show and answer from a script.
class FakeMessageBoxes final : public IMessageBoxes
{
public:
    enum class Kind { Information, Question, ErrorReport };
    struct Box
    {
        Kind kind;
        QString title;
        QString text;
    };

    void SetApplicationTitle(const QString &title) override { m_title = title; }
    void Information(const QString &text) override;
    bool Question(const QString &text) override;
    void ErrorReport(const QString &text) override;

    /// Answers for the next questions, in order; an unscripted question is answered No.
    std::deque<bool> answers;
    /// Runs inside every box, as the user's events would while a box is open.
    std::function<void(const Box &)> onShow;
    QList<Box> shown;

    QStringList Texts() const;
    QStringList ErrorReports() const;

private:
    QString m_title = QStringLiteral("Vocatext");
};

// A settings store held in memory; writes can be made to fail.
class MemorySettingsStore final : public ISettingsStore
{
public:
    std::optional<QString> Value(const QString &key) const override;
    void SetValue(const QString &key, const QString &value) override;

    QMap<QString, QString> values;
    bool failWrites = false;
    QStringList writes; // "key=value", in order
};

// An event loop that counts what it is asked and never blocks; the clock is scripted.
class FakeEventLoop final : public IEventLoop
{
public:
    void Yield() override;
    void Sleep(int milliseconds) override;
    double SecondsSinceMidnight() override;

    int yields = 0;
    qint64 sleptMs = 0;
    /// The clock; advanced by every sleep and by clockStep at every reading.
    double clock = 36000;
    double clockStep = 0;
    /// Runs at every yield, as pending window events would.
    std::function<void()> onYield;
};

// A progress bar of plain values that remembers every text it showed.
class FakeProgressBar final : public IProgressBar
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

    double value = 0;
    QString text = QStringLiteral("Progress Bar");
    QList<double> values;
    QStringList texts;
};

// The main window as plain values.
class FakeMainWindow final : public IMainWindow
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
    FakeProgressBar progress;
    int combo1Index = 0;
    int slider1 = 100;
    int slider2 = 0;
    bool option1 = true;
    bool option2 = false;
    QString text1;
};
