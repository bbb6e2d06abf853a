#include "common/services.h"

#include "common/diagnostics.h"

void CoreServices::Diagnose(const QString &line) const
{
    if (diagnostics)
        diagnostics->Write(line);
}
