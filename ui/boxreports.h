#pragma once

#include "common/statements.h"

class IMessageBoxes;

// The window's answer to a failed statement: one "Application Error" box naming the
// procedure and the statement, and the procedure goes on.
class BoxReports final : public IFailureHandler
{
public:
    explicit BoxReports(IMessageBoxes &boxes)
        : m_boxes(boxes)
    {
    }
    void Failed(const StatementFailure &failure) override;

private:
    IMessageBoxes &m_boxes;
};
