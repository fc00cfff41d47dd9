#include "transport/IdAntiFreeze.h"

#include "transport/MainThread.h"

#include <atomic>

namespace tcpipset {

namespace {

std::atomic<TIdAntiFreezeBase*>& ActivePumpSlot() {
    static std::atomic<TIdAntiFreezeBase*> pump{nullptr};
    return pump;
}

} // namespace

TIdAntiFreezeBase::TIdAntiFreezeBase() {
    AdoptMainThreadIfUnrecorded();
    ActivePumpSlot() = this;
}

TIdAntiFreezeBase::~TIdAntiFreezeBase() {
    ActivePumpSlot() = nullptr;
}

void TIdAntiFreeze::PumpMessages() {
    if (ApplicationHasPriority()) {
        dispatcher_.ProcessAllPendingEvents();
    } else {
        dispatcher_.HandleOnePendingEvent();
    }
}

TIdAntiFreezeBase* ActivePump() {
    return ActivePumpSlot().load();
}

bool PumpInUse() {
    // The thread is tested before the pump is touched: only the main thread may look at it.
    if (!IsMainThread()) {
        return false;
    }
    const TIdAntiFreezeBase* pump = ActivePump();
    return pump != nullptr && pump->Active();
}

void PumpAfterWait(bool idle, bool force) {
    if (!PumpInUse()) {
        return;
    }
    TIdAntiFreezeBase* pump = ActivePump();
    if ((idle || !pump->OnlyWhenIdle() || force) && pump->Active()) {
        pump->PumpMessages();
    }
}

} // namespace tcpipset
