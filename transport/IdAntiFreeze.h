#pragma once

#include "transport/IdBaseComponent.h"
#include "transport/PumpDispatcher.h"

#include <cstdint>

namespace tcpipset {

// The idle pump: while the endpoint waits on the main thread, the wait is cut into slices
// of IdleTimeOut and pending window events are processed after each slice. It is not a
// network component. Creating one makes it ActivePump, replacing any earlier one;
// destroying any pump leaves no pump in force.
class TIdAntiFreezeBase : public TIdBaseComponent {
public:
    TIdAntiFreezeBase();
    ~TIdAntiFreezeBase() override;

    bool Active() const { return active_; }
    void SetActive(bool active) { active_ = active; }
    bool ApplicationHasPriority() const { return applicationHasPriority_; }
    void SetApplicationHasPriority(bool value) { applicationHasPriority_ = value; }
    std::int32_t IdleTimeOut() const { return idleTimeOut_; }
    void SetIdleTimeOut(std::int32_t milliseconds) { idleTimeOut_ = milliseconds; }
    bool OnlyWhenIdle() const { return onlyWhenIdle_; }
    void SetOnlyWhenIdle(bool value) { onlyWhenIdle_ = value; }

    virtual void PumpMessages() = 0;

private:
    bool active_ = true;
    bool applicationHasPriority_ = true;
    std::int32_t idleTimeOut_ = 250;
    bool onlyWhenIdle_ = true;
};

class TIdAntiFreeze : public TIdAntiFreezeBase {
public:
    explicit TIdAntiFreeze(PumpDispatcher& dispatcher) : dispatcher_(dispatcher) {}
    void PumpMessages() override;

private:
    PumpDispatcher& dispatcher_;
};

TIdAntiFreezeBase* ActivePump();
// True when a pump is in force, the caller is the main thread and the pump is Active.
bool PumpInUse();
// Processes pending events after a slice of a wait; the transport always passes force false.
void PumpAfterWait(bool idle, bool force);

} // namespace tcpipset
