#include "transport/IdExceptions.h"
#include "transport/IdStackPosix.h"
#include "transport/PosixCallSupport.h"

#include <algorithm>
#include <poll.h>
#include <vector>

namespace tcpipset {

using namespace posix;

namespace {

// Each list becomes a set: a socket given twice is tested and reported once.
void Deduplicate(TIdSocketList& list) {
    std::vector<TIdStackSocketHandle> unique;
    for (const auto socket : list) {
        if (std::ranges::find(unique, socket) == unique.end()) {
            unique.push_back(socket);
        }
    }
    list = std::move(unique);
}

struct PollPlan {
    std::vector<pollfd> fds;
    std::size_t IndexOf(TIdStackSocketHandle socket) {
        const auto it = std::ranges::find(fds, socket, &pollfd::fd);
        if (it != fds.end()) {
            return static_cast<std::size_t>(it - fds.begin());
        }
        fds.push_back(pollfd{socket, 0, 0});
        return fds.size() - 1;
    }
};

// The readiness conditions of select: a socket with a pending error or a hang-up counts as
// readable and writable, so the following call reports the error.
constexpr short ReadEvents = POLLIN;
constexpr short ReadReady = POLLIN | POLLHUP | POLLERR;
constexpr short WriteEvents = POLLOUT;
constexpr short WriteReady = POLLOUT | POLLERR;
constexpr short ErrorEvents = POLLPRI;
constexpr short ErrorReady = POLLPRI;

int KeepReady(TIdSocketList* list, short ready, const PollPlan& plan) {
    if (list == nullptr) {
        return 0;
    }
    std::erase_if(*list, [&](TIdStackSocketHandle socket) {
        const auto it = std::ranges::find(plan.fds, socket, &pollfd::fd);
        return (it->revents & ready) == 0;
    });
    return static_cast<int>(list->size());
}

} // namespace

std::int32_t TIdStackPosix::SelectSockets(TIdSocketList* readList, TIdSocketList* writeList,
                                          TIdSocketList* errorList, std::int32_t timeoutMs) {
    for (TIdSocketList* list : {readList, writeList, errorList}) {
        if (list != nullptr && list->size() > IdMaxSocketSetSize) {
            throw EIdStackSetSizeExceeded();
        }
    }
    PollPlan plan;
    const auto addEvents = [&plan](TIdSocketList* list, short events) {
        if (list == nullptr) {
            return true;
        }
        Deduplicate(*list);
        for (const auto socket : *list) {
            if (socket < 0) {
                return false;
            }
            plan.fds[plan.IndexOf(socket)].events |= events;
        }
        return true;
    };
    if (!addEvents(readList, ReadEvents) || !addEvents(writeList, WriteEvents) ||
        !addEvents(errorList, ErrorEvents)) {
        return Fail(IdErrBadFile);
    }
    if (timeoutMs < 0 && timeoutMs != IdTimeoutInfinite) {
        return Fail(IdErrInvalidArgument);
    }
    if (plan.fds.empty() && timeoutMs == IdTimeoutInfinite) {
        // Nothing could ever end such a wait; select refuses it as an invalid argument.
        return Fail(IdErrInvalidArgument);
    }

    const int ready =
        ::poll(plan.fds.data(), plan.fds.size(), timeoutMs == IdTimeoutInfinite ? -1 : timeoutMs);
    if (ready < 0) {
        return FailFromErrno();
    }
    if (std::ranges::any_of(plan.fds,
                            [](const pollfd& p) { return (p.revents & POLLNVAL) != 0; })) {
        return Fail(IdErrBadFile);
    }
    return KeepReady(readList, ReadReady, plan) + KeepReady(writeList, WriteReady, plan) +
           KeepReady(errorList, ErrorReady, plan);
}

} // namespace tcpipset
