#include "transport/IdSocketHandle.h"

#include "transport/IdAntiFreeze.h"
#include "transport/IdExceptions.h"
#include "transport/SocketStack.h"

#include <unistd.h>

namespace tcpipset {

TIdSocketHandle::~TIdSocketHandle() {
    CloseSocket();
}

void TIdSocketHandle::AllocateSocket(std::int32_t type, std::int32_t protocol) {
    CloseSocket();
    handle_ = RequireSocketStack("socket").OpenIPv4Socket(type, protocol);
    allocated_ = true;
}

void TIdSocketHandle::CloseSocket() noexcept {
    if (!allocated_) {
        return;
    }
    allocated_ = false;
    const TIdStackSocketHandle socket = handle_;
    handle_ = IdInvalidSocket;
    if (TIdStack* stack = SocketStack()) {
        stack->ShutdownSocket(socket, IdShutdownSend);
        stack->CloseSocket(socket);
    } else {
        // A handle that outlived every network component still must not leak its descriptor.
        ::close(socket);
    }
}

bool TIdSocketHandle::WaitReadable(std::int32_t timeoutMs) {
    if (!allocated_) {
        throw EIdConnClosedGracefully();
    }
    if (PumpInUse()) {
        const std::int32_t slice = ActivePump()->IdleTimeOut();
        if (timeoutMs == IdTimeoutInfinite) {
            // Without a positive slice length each test looks once without waiting, so that
            // events are still processed between the tests of a wait without end.
            while (!(slice > 0 ? WaitReadable(slice) : TestReadable(0))) {
            }
            return true;
        }
        // Without a positive slice length there is nothing to cut a limited wait into.
        if (slice > 0) {
            if (timeoutMs > slice) {
                // The remainder comes first, so that every later slice is a whole one.
                const std::int64_t total = timeoutMs;
                const std::int64_t count = (total + slice - 1) / slice;
                const auto first = static_cast<std::int32_t>(total - (count - 1) * slice);
                if (TestReadable(first)) {
                    return true;
                }
                for (std::int64_t i = 1; i < count - 1; ++i) {
                    if (TestReadable(slice)) {
                        return true;
                    }
                }
                timeoutMs = slice;
            }
        }
    }
    return TestReadable(timeoutMs);
}

bool TIdSocketHandle::TestReadable(std::int32_t timeoutMs) {
    TIdSocketList readList{handle_};
    readList.insert(readList.end(), alsoWatched_.begin(), alsoWatched_.end());
    const bool readable =
        RequireSocketStack("select").SelectSockets(&readList, nullptr, nullptr, timeoutMs) > 0;
    PumpAfterWait(!readable, false);
    return readable;
}

} // namespace tcpipset
