#pragma once

// The program's one thread keeps the window alive by yielding to the event loop at
// fixed points of long work; this is that service, with the sleep.
class IEventLoop
{
public:
    virtual ~IEventLoop() = default;

    /// Lets the pending window events run once.
    virtual void Yield() = 0;
    /// Waits the given time; window events keep running meanwhile, so a wait never
    /// freezes the window.
    virtual void Sleep(int milliseconds) = 0;
};
