#pragma once

#include <QString>

struct Services;

// The output location's controls as their handlers need them.
class IOutputLocation
{
public:
    virtual ~IOutputLocation() = default;
    virtual bool Option1Selected() const = 0;
    virtual bool Option2Selected() const = 0;
    virtual void SetText1(const QString &text) = 0;
    /// Frame6 holds Text1 and the browse button.
    virtual void EnableFrame6(bool enabled) = 0;
};

/// Either option button clicked: both states stored, Frame6 usable with Option1 alone.
void Option_Click(const Services &services, IOutputLocation &controls);
/// Every change of Text1 is stored at once.
void Text1_Change(const Services &services, const QString &text);
/// "...": the folder picker, opened where the last folder scan began; the chosen folder
/// goes into Text1 with a "/" at its end.
void PushButton7_Click(const Services &services, IOutputLocation &controls);
