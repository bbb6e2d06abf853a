#pragma once

#include "common/diagnostics.h"

// The diagnostics as one line "vocatext: ..." on standard error.
class StderrDiagnostics final : public IDiagnostics
{
public:
    void Write(const QString &line) override;
};
