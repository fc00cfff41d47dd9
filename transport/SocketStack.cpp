#include "transport/SocketStack.h"

#include "transport/IdExceptions.h"
#include "transport/IdStackPosix.h"

#include <atomic>
#include <string>

namespace tcpipset {

namespace {

constexpr std::uint16_t LibraryVersion = 0x0202;

struct StackState {
    std::mutex lock;
    std::int32_t userCount = 0;
    std::unique_ptr<TIdStack> owned;
    // Readers on a component's thread see the stack without taking the lock: it cannot
    // change while that component lives.
    std::atomic<TIdStack*> current{nullptr};
    std::atomic<bool> libraryStarted{false};
    TIdStackFactory factory;
};

StackState& State() {
    static StackState state;
    return state;
}

std::unique_ptr<TIdStack> MakeStack(StackState& state) {
    if (state.factory) {
        return state.factory();
    }
    return std::make_unique<TIdStackPosix>();
}

void StartLibraryOnce(StackState& state, TIdStack& stack) {
    if (state.libraryStarted) {
        return;
    }
    if (stack.StartupLibrary(LibraryVersion) != 0) {
        throw EIdStackInitializationFailed();
    }
    state.libraryStarted = true;
}

} // namespace

TIdStack* SocketStack() {
    return State().current.load();
}

TIdStack& RequireSocketStack(const char* functionName) {
    TIdStack* stack = SocketStack();
    if (stack == nullptr) {
        throw EIdWS2StubError(IdErrNotInitialised,
                              std::string("Error on call Winsock2 library function ") +
                                  functionName,
                              "No network component exists, so no socket stack is in force.");
    }
    return *stack;
}

std::int32_t StackUserCount() {
    StackState& state = State();
    const std::lock_guard guard(state.lock);
    return state.userCount;
}

std::mutex& StackLock() {
    return State().lock;
}

bool LibraryStarted() {
    return State().libraryStarted;
}

void EnterStackUser() {
    StackState& state = State();
    const std::lock_guard guard(state.lock);
    if (state.userCount == 0) {
        auto stack = MakeStack(state);
        StartLibraryOnce(state, *stack);
        state.owned = std::move(stack);
        state.current = state.owned.get();
    }
    ++state.userCount;
}

void LeaveStackUser() noexcept {
    StackState& state = State();
    const std::lock_guard guard(state.lock);
    if (--state.userCount == 0) {
        state.current = nullptr;
        state.owned.reset();
    }
}

TIdStackFactory SetStackFactory(TIdStackFactory factory) {
    StackState& state = State();
    const std::lock_guard guard(state.lock);
    auto previous = std::move(state.factory);
    state.factory = std::move(factory);
    return previous;
}

void ForgetLibraryStartedForTesting() {
    State().libraryStarted = false;
}

} // namespace tcpipset
