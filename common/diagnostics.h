#pragma once

#include <QString>

// Where the real cause of a failure goes when the window shows only a fixed text: one
// line on standard error, as Linux desktop programs do.
class IDiagnostics
{
public:
    virtual ~IDiagnostics() = default;
    /// Writes one line with the real cause of a failure.
    virtual void Write(const QString &line) = 0;
};
