#include "common/services.h"

#include "common/diagnostics.h"

void Services::Diagnose(const QString &line) const
{
    if (diagnostics)
        diagnostics->Write(line);
}
