#include "ui/boxreports.h"

#include "ui/messageboxes.h"

void BoxReports::Failed(const StatementFailure &failure)
{
    m_boxes.ErrorReport(ErrorReportText(failure.description, failure.siteTag, failure.line));
}
