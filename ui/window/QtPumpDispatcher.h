#pragma once

#include "transport/PumpDispatcher.h"

namespace tcpipset {

// The idle pump's way into Qt's event loop. Qt has no call that dispatches exactly one
// event: its smallest step is one pass of the thread's event dispatcher, which delivers the
// posted events and the window system's events that are ready and never waits. Both
// operations make that one pass; the window leaves ApplicationHasPriority on, so only the
// first is used.
class QtPumpDispatcher : public PumpDispatcher {
public:
    void ProcessAllPendingEvents() override;
    void HandleOnePendingEvent() override;
};

} // namespace tcpipset
