#include "tests/fakes/fakes.h"

#include "common/runtimeerror.h"

void FakeMessageBoxes::Information(const QString &text)
{
    shown.append({Kind::Information, m_title, text});
    if (onShow)
        onShow(shown.last());
}

bool FakeMessageBoxes::Question(const QString &text)
{
    shown.append({Kind::Question, m_title, text});
    if (onShow)
        onShow(shown.last());
    if (answers.empty())
        return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

void FakeMessageBoxes::ErrorReport(const QString &text)
{
    shown.append({Kind::ErrorReport, QStringLiteral("Application Error"), text});
    if (onShow)
        onShow(shown.last());
}

QStringList FakeMessageBoxes::Texts() const
{
    QStringList texts;
    for (const Box &box : shown)
        texts.append(box.text);
    return texts;
}

QStringList FakeMessageBoxes::ErrorReports() const
{
    QStringList texts;
    for (const Box &box : shown) {
        if (box.kind == Kind::ErrorReport)
            texts.append(box.text);
    }
    return texts;
}

std::optional<QString> MemorySettingsStore::Value(const QString &key) const
{
    const auto it = values.constFind(key);
    if (it == values.constEnd())
        return std::nullopt;
    return *it;
}

void MemorySettingsStore::SetValue(const QString &key, const QString &value)
{
    if (failWrites)
        throw RuntimeError(QStringLiteral("The settings could not be saved"), ErrorNumber::PermissionDenied);
    values.insert(key, value);
    writes.append(key + QLatin1Char('=') + value);
}

void FakeEventLoop::Yield()
{
    ++yields;
    if (onYield)
        onYield();
}

void FakeEventLoop::Sleep(int milliseconds)
{
    sleptMs += milliseconds;
    clock += milliseconds / 1000.0;
    if (clock >= 86400)
        clock -= 86400;
}

double FakeEventLoop::SecondsSinceMidnight()
{
    const double now = clock;
    clock += clockStep;
    if (clock >= 86400)
        clock -= 86400;
    return now;
}
