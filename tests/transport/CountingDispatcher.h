#pragma once

#include "transport/PumpDispatcher.h"

#include <functional>

namespace tcpipset::testing {

// Counts what the pump asks of the event loop; onPump runs at each call with the number of
// calls so far, standing for an event handler that runs during a wait.
class CountingDispatcher : public PumpDispatcher {
public:
    void ProcessAllPendingEvents() override {
        ++processAll;
        Pumped();
    }
    void HandleOnePendingEvent() override {
        ++handleOne;
        Pumped();
    }

    int processAll = 0;
    int handleOne = 0;
    std::function<void(int)> onPump;

private:
    void Pumped() {
        if (onPump) {
            onPump(processAll + handleOne);
        }
    }
};

} // namespace tcpipset::testing
