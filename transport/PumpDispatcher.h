#pragma once

namespace tcpipset {

// How the idle pump reaches the window's event loop, which the transport cannot call
// itself. The main window supplies it; neither call may block when nothing is pending.
class PumpDispatcher {
public:
    virtual ~PumpDispatcher() = default;
    virtual void ProcessAllPendingEvents() = 0; // every pending event, never blocks
    virtual void HandleOnePendingEvent() = 0;   // one pending event if there is one
};

} // namespace tcpipset
