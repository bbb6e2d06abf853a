#pragma once

#include "common/eventloop.h"

// The real event loop of the running QCoreApplication.
class QtEventLoop final : public IEventLoop
{
public:
    void Yield() override;
    void Sleep(int milliseconds) override;
};
