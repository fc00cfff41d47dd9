#include "RecordingStack.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

namespace tcpipset::testing {

std::int32_t RecordingStack::StartupLibrary(std::uint16_t version) {
    ++record_.startupCalls;
    record_.calls.push_back("startup " + std::to_string(version));
    return record_.startupResult;
}

std::int32_t RecordingStack::CloseSocket(TIdStackSocketHandle socket) {
    record_.calls.emplace_back("close");
    injectedError_.reset();
    return TIdStackPosix::CloseSocket(socket);
}

std::string RecordingStack::LookupHostByName(const std::string& hostName) {
    record_.lookups.push_back(hostName);
    record_.calls.push_back("lookup " + hostName);
    const auto answer = record_.lookupAnswers.find(hostName);
    if (answer == record_.lookupAnswers.end()) {
        injectedError_ = IdErrHostNotFound;
        CheckSocketResult(-1);
    }
    return answer->second;
}

std::int32_t RecordingStack::ReceiveFrom(TIdStackSocketHandle socket,
                                         std::span<std::uint8_t> buffer, std::int32_t length,
                                         std::int32_t flags, std::string& peerAddress,
                                         std::int32_t& peerPort, std::uint32_t& arrivalInterface) {
    record_.calls.push_back("recvfrom " + std::to_string(length));
    injectedError_.reset();
    return TIdStackPosix::ReceiveFrom(socket, buffer, length, flags, peerAddress, peerPort,
                                      arrivalInterface);
}

std::int32_t RecordingStack::SelectSockets(TIdSocketList* readList, TIdSocketList* writeList,
                                           TIdSocketList* errorList, std::int32_t timeoutMs) {
    record_.selectTimeouts.push_back(timeoutMs);
    injectedError_.reset();
    if (record_.failSelects) {
        injectedError_ = IdErrInvalidArgument;
        return -1;
    }
    return TIdStackPosix::SelectSockets(readList, writeList, errorList,
                                        record_.selectTimeoutOverride.value_or(timeoutMs));
}

std::int32_t RecordingStack::SendTo(TIdStackSocketHandle socket,
                                    std::span<const std::uint8_t> buffer, std::int32_t length,
                                    std::int32_t flags, const std::string& dottedQuad,
                                    std::int32_t port) {
    record_.calls.push_back("sendto " + dottedQuad + ":" + std::to_string(port) + " " +
                            std::to_string(length));
    injectedError_.reset();
    // Tests run on the machine's own network: only loopback is ever really sent to.
    if (dottedQuad.rfind("127.", 0) != 0) {
        return length;
    }
    return TIdStackPosix::SendTo(socket, buffer, length, flags, dottedQuad, port);
}

std::int32_t RecordingStack::SendToVia(TIdStackSocketHandle /*socket*/,
                                       std::span<const std::uint8_t> /*buffer*/,
                                       std::int32_t length, std::int32_t /*flags*/,
                                       const std::string& dottedQuad, std::int32_t port,
                                       const TIdInterface& via) {
    record_.calls.push_back("sendto " + dottedQuad + ":" + std::to_string(port) + " " +
                            std::to_string(length) + " via " + via.name + " from " +
                            (via.address ? AddressToText(*via.address) : "-"));
    injectedError_.reset();
    if (const auto refusal = record_.refusingInterfaces.find(via.name);
        refusal != record_.refusingInterfaces.end()) {
        injectedError_ = refusal->second;
        return -1;
    }
    return length;
}

std::int32_t RecordingStack::ReceiveBatch(TIdStackSocketHandle socket,
                                          const TIdBatchBuffers& buffers,
                                          std::vector<TIdDatagramInfo>& infos) {
    injectedError_.reset();
    if (record_.batchError) {
        injectedError_ = std::exchange(record_.batchError, std::nullopt);
        return -1;
    }
    const auto ofSocket = record_.socketArrivals.find(socket);
    std::deque<StackRecord::Arrival>* arrivals = ofSocket != record_.socketArrivals.end()
                                                     ? &ofSocket->second
                                                 : record_.arrivals ? &*record_.arrivals
                                                                    : nullptr;
    if (arrivals == nullptr) {
        return TIdStackPosix::ReceiveBatch(socket, buffers, infos);
    }
    infos.clear();
    while (infos.size() < buffers.Slots() && !arrivals->empty()) {
        const auto& arrival = arrivals->front();
        const std::size_t slot = infos.size();
        const std::size_t head = std::min(arrival.bytes.size(), buffers.headSize);
        std::copy_n(arrival.bytes.begin(), head,
                    buffers.heads.subspan(slot * buffers.headSize).begin());
        std::copy_n(arrival.bytes.begin() + static_cast<std::ptrdiff_t>(head),
                    std::min(arrival.bytes.size() - head, buffers.tailSize),
                    buffers.tails.subspan(slot * buffers.tailSize).begin());
        infos.push_back(arrival.info);
        arrivals->pop_front();
    }
    record_.batches.push_back(static_cast<std::int32_t>(infos.size()));
    return static_cast<std::int32_t>(infos.size());
}

std::int32_t RecordingStack::RequestReceiveBuffer(TIdStackSocketHandle socket, std::int32_t bytes) {
    TIdStackPosix::RequestReceiveBuffer(socket, bytes);
    // Root's grant, whoever runs the test, unless the test gives another.
    return record_.grantedBuffer.value_or(bytes > std::numeric_limits<std::int32_t>::max() / 2
                                              ? std::numeric_limits<std::int32_t>::max()
                                              : bytes * 2);
}

TIdInterfaceList RecordingStack::ListInterfaces() {
    return record_.interfaces ? *record_.interfaces : TIdStackPosix::ListInterfaces();
}

std::int32_t RecordingStack::SetSocketOption(TIdStackSocketHandle socket, std::int32_t level,
                                             std::int32_t option,
                                             std::span<const std::uint8_t> value,
                                             std::int32_t length) {
    std::int32_t asInteger = 0;
    if (value.size() == sizeof asInteger) {
        std::memcpy(&asInteger, value.data(), sizeof asInteger);
    }
    record_.calls.push_back("setsockopt " + std::to_string(level) + " " + std::to_string(option) +
                            " " + std::to_string(asInteger) + " len " + std::to_string(length));
    if (record_.failSetSocketOption) {
        injectedError_ = IdErrBadProtocolOption;
        return -1;
    }
    injectedError_.reset();
    return TIdStackPosix::SetSocketOption(socket, level, option, value, length);
}

TIdStackSocketHandle RecordingStack::OpenSocket(std::int32_t family, std::int32_t type,
                                                std::int32_t protocol) {
    record_.calls.push_back("open " + std::to_string(family) + " " + std::to_string(type) + " " +
                            std::to_string(protocol));
    injectedError_.reset();
    if (record_.failOpen) {
        return IdInvalidSocket;
    }
    return TIdStackPosix::OpenSocket(family, type, protocol);
}

std::int32_t RecordingStack::ShutdownSocket(TIdStackSocketHandle socket, std::int32_t how) {
    record_.calls.push_back("shutdown " + std::to_string(how));
    injectedError_.reset();
    return TIdStackPosix::ShutdownSocket(socket, how);
}

std::int32_t RecordingStack::LastError() const {
    return injectedError_.value_or(TIdStackPosix::LastError());
}

ScopedRecordingStack::ScopedRecordingStack(StackRecord& record)
    : previous_(SetStackFactory([&record] { return std::make_unique<RecordingStack>(record); })) {
    ForgetLibraryStartedForTesting();
}

ScopedRecordingStack::~ScopedRecordingStack() {
    SetStackFactory(std::move(previous_));
}

} // namespace tcpipset::testing
