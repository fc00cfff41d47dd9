#pragma once

#include "transport/IdStackPosix.h"
#include "transport/SocketStack.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tcpipset::testing {

// What the stacks made during one test were asked, and how they should answer. Platform
// calls go to the real POSIX stack unless a field here says otherwise.
struct StackRecord {
    int stacksMade = 0;
    int startupCalls = 0;
    std::int32_t startupResult = 0;

    // Every call in order, e.g. "open", "setsockopt 65535 32 -1", "sendto 127.0.0.1:9 5",
    // "shutdown 1", "close".
    std::vector<std::string> calls;
    std::vector<std::int32_t> selectTimeouts;
    // Time-out handed to the real readiness test instead of the asked one; none = as asked.
    std::optional<std::int32_t> selectTimeoutOverride;
    bool failSelects = false;
    bool failOpen = false;
    bool failSetSocketOption = false;
    std::vector<std::string> lookups;
    // Answers of the name lookup; a name without one fails with 11001.
    std::map<std::string, std::string> lookupAnswers;
    // The machine's interfaces as the stack lists them; none given: the real list.
    std::optional<TIdInterfaceList> interfaces;
    // Interfaces whose sends are refused, with the error number of the refusal.
    std::map<std::string, std::int32_t> refusingInterfaces;
    // Datagrams that batch receives take instead of the platform's, whole, in order.
    struct Arrival {
        std::vector<std::uint8_t> bytes;
        TIdDatagramInfo info;
    };
    std::optional<std::deque<Arrival>> arrivals;
    // The same for one socket each, before arrivals.
    std::map<TIdStackSocketHandle, std::deque<Arrival>> socketArrivals;
    // The receive buffer the system grants, as it counts it; none: twice what is asked, as
    // it grants root.
    std::optional<std::int32_t> grantedBuffer;
    // The next batch receive fails with this error number, as one that took a pending
    // socket error does.
    std::optional<std::int32_t> batchError;
    // The number of datagrams each batch receive took.
    std::vector<std::int32_t> batches;
};

class RecordingStack : public TIdStackPosix {
public:
    explicit RecordingStack(StackRecord& record) : record_(record) { ++record_.stacksMade; }

    std::int32_t StartupLibrary(std::uint16_t version) override;
    std::int32_t CloseSocket(TIdStackSocketHandle socket) override;
    std::string LookupHostByName(const std::string& hostName) override;
    std::int32_t ReceiveFrom(TIdStackSocketHandle socket, std::span<std::uint8_t> buffer,
                             std::int32_t length, std::int32_t flags, std::string& peerAddress,
                             std::int32_t& peerPort, std::uint32_t& arrivalInterface) override;
    std::int32_t SelectSockets(TIdSocketList* readList, TIdSocketList* writeList,
                               TIdSocketList* errorList, std::int32_t timeoutMs) override;
    std::int32_t SendTo(TIdStackSocketHandle socket, std::span<const std::uint8_t> buffer,
                        std::int32_t length, std::int32_t flags, const std::string& dottedQuad,
                        std::int32_t port) override;
    // Recorded as "sendto ADDRESS:PORT LENGTH via NAME from SOURCE" and answered without
    // reaching the platform: the interfaces may be scripted ones.
    std::int32_t SendToVia(TIdStackSocketHandle socket, std::span<const std::uint8_t> buffer,
                           std::int32_t length, std::int32_t flags, const std::string& dottedQuad,
                           std::int32_t port, const TIdInterface& via) override;
    TIdInterfaceList ListInterfaces() override;
    std::int32_t RequestReceiveBuffer(TIdStackSocketHandle socket, std::int32_t bytes) override;
    std::int32_t ReceiveBatch(TIdStackSocketHandle socket, const TIdBatchBuffers& buffers,
                              std::vector<TIdDatagramInfo>& infos) override;
    std::int32_t SetSocketOption(TIdStackSocketHandle socket, std::int32_t level,
                                 std::int32_t option, std::span<const std::uint8_t> value,
                                 std::int32_t length) override;
    TIdStackSocketHandle OpenSocket(std::int32_t family, std::int32_t type,
                                    std::int32_t protocol) override;
    std::int32_t ShutdownSocket(TIdStackSocketHandle socket, std::int32_t how) override;
    std::int32_t LastError() const override;

private:
    StackRecord& record_;
    std::optional<std::int32_t> injectedError_;
};

// Makes every socket stack of its lifetime a RecordingStack over the given record, and
// forgets an earlier start-up of the library so that the test sees its own.
class ScopedRecordingStack {
public:
    explicit ScopedRecordingStack(StackRecord& record);
    ~ScopedRecordingStack();
    ScopedRecordingStack(const ScopedRecordingStack&) = delete;
    ScopedRecordingStack& operator=(const ScopedRecordingStack&) = delete;

private:
    TIdStackFactory previous_;
};

} // namespace tcpipset::testing
