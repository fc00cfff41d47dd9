#include "transport/MainThread.h"

#include <atomic>
#include <thread>

namespace tcpipset {

namespace {

std::atomic<std::thread::id>& MainThreadId() {
    static std::atomic<std::thread::id> id{};
    return id;
}

} // namespace

void RecordMainThread() {
    MainThreadId() = std::this_thread::get_id();
}

void AdoptMainThreadIfUnrecorded() {
    std::thread::id none{};
    MainThreadId().compare_exchange_strong(none, std::this_thread::get_id());
}

bool IsMainThread() {
    const std::thread::id main = MainThreadId();
    return main != std::thread::id{} && main == std::this_thread::get_id();
}

} // namespace tcpipset
