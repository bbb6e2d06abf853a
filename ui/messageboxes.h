#pragma once

#include <QString>

// Every message the program shows goes through this interface. Boxes that name no
// title of their own show the application title.
class IMessageBoxes
{
public:
    virtual ~IMessageBoxes() = default;

    /// Sets the title of every box that names none of its own.
    virtual void SetApplicationTitle(const QString &title) = 0;
    /// A box with the text, an OK button and no icon.
    virtual void Information(const QString &text) = 0;
    /// A box with the text, Yes and No buttons and no icon; true when the answer is Yes.
    virtual bool Question(const QString &text) = 0;
    /// The "Application Error" box: the report text, an exclamation icon and an OK button.
    virtual void ErrorReport(const QString &text) = 0;
};
