#pragma once

#include "ui/operations/MainView.h"

namespace tcpipset {

// Shows the hourglass for its lifetime and sets the default cursor back on every way
// out, an escaping error included. Restore() ends it early, for an operation that goes
// on waiting with the normal cursor.
class WaitCursor {
public:
    explicit WaitCursor(MainView& view) : view_(view) { view_.SetCursor(crHourGlass); }
    ~WaitCursor() { Restore(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    void Restore() {
        if (active_) {
            active_ = false;
            view_.SetCursor(crDefault);
        }
    }

private:
    MainView& view_;
    bool active_ = true;
};

} // namespace tcpipset
