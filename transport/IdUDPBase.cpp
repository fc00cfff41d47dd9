#include "transport/IdUDPBase.h"

#include "transport/IdAntiFreeze.h"
#include "transport/IdExceptions.h"
#include "transport/IdInterfaces.h"
#include "transport/SocketStack.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace tcpipset {

TIdUDPBase::~TIdUDPBase() {
    TIdUDPBase::CloseSocketHandle();
}

void TIdUDPBase::SetBroadcastEnabled(bool enabled) {
    if (enabled == broadcastEnabled_) {
        return;
    }
    broadcastEnabled_ = enabled;
    if (binding_ && binding_->HandleAllocated()) {
        ApplyBroadcastFlag(enabled);
    }
}

void TIdUDPBase::SetActive(bool active) {
    if (Loading()) {
        activeRequested_ = active;
        return;
    }
    if (active == IsActive()) {
        return;
    }
    if (active) {
        EnsureSocket();
    } else {
        CloseSocketHandle();
    }
}

void TIdUDPBase::Loaded() {
    if (activeRequested_) {
        activeRequested_ = false;
        SetActive(true);
    }
}

bool TIdUDPBase::IsActive() const {
    if (Loading()) {
        return activeRequested_;
    }
    return binding_ && binding_->HandleAllocated();
}

void TIdUDPBase::CloseSocketHandle() {
    group_.Clear();
    binding_.reset();
    // A socket made later must never return what reached this one.
    queue_.Clear();
    queue_.ForgetSockets();
    queue_.IgnoreOwnDatagrams({}, 0);
}

TIdSocketHandle& TIdUDPBase::EnsureSocket() {
    if (!binding_) {
        binding_ = std::make_unique<TIdSocketHandle>();
    }
    // A port the system picks may be one that another process shares already: then the
    // socket is made again, on another port.
    bool mayShare = true;
    for (int attempt = 1; !binding_->HandleAllocated(); ++attempt) {
        binding_->AllocateSocket(IdSockDgram, 0);
        // A new socket always receives the option, whichever value it has.
        ApplyBroadcastFlag(broadcastEnabled_);
        TIdStack& stack = RequireSocketStack("setsockopt");
        const TIdStackSocketHandle socket = binding_->Handle();
        // A smaller buffer than asked for only makes drops likelier: not a failure, but a
        // receive group then makes up for it.
        const std::int32_t granted = receiveBufferRequest_ > 0
                                         ? stack.RequestReceiveBuffer(socket, receiveBufferRequest_)
                                         : stack.ReceiveBufferSize(socket);
        std::size_t groupSize = !mayShare                ? 1
                                : receiveGroupSize_ != 0 ? receiveGroupSize_
                                                         : ReceiveGroup::SocketsFor(granted);
        if (groupSize > 1 && stack.AllowPortSharing(socket) == -1) {
            groupSize = 1;
        }
        // A group shares a port, so the endpoint's socket holds one from the start, as
        // its first send would have given it.
        if (boundPort_ != 0 || groupSize > 1) {
            const std::int32_t result = stack.BindSocket(socket, boundPort_);
            if (result == -1) {
                // A socket on another port would defeat the rule that names this one.
                const std::int32_t error = stack.LastError();
                binding_->CloseSocket();
                stack.RaiseSocketError(error);
            }
        }
        if (groupSize == 1) {
            break;
        }
        const std::uint16_t port = stack.LocalPort(socket);
        switch (group_.Claim(port)) {
        case PortClaim::Result::Taken:
            group_.Form(stack, port, groupSize, receiveBufferRequest_);
            binding_->WatchAlso(group_.Members());
            break;
        case PortClaim::Result::HeldElsewhere:
            // Another endpoint shares this port with its own sockets: it would take a
            // share of every reply, as a plain bind would not let it.
            binding_->CloseSocket();
            if (boundPort_ != 0 || attempt == MaxPortAttempts) {
                stack.RaiseSocketError(IdErrAddressInUse);
            }
            break;
        case PortClaim::Result::Unavailable:
            // Without a claim the port stays open to others: one socket, not shared.
            binding_->CloseSocket();
            mayShare = false;
            break;
        }
    }
    return *binding_;
}

TIdSocketList TIdUDPBase::ReceiveSockets() const {
    if (!binding_ || !binding_->HandleAllocated()) {
        return {};
    }
    TIdSocketList sockets{binding_->Handle()};
    sockets.insert(sockets.end(), group_.Members().begin(), group_.Members().end());
    return sockets;
}

std::uint64_t TIdUDPBase::DroppedDatagrams() const {
    // The sockets' own counts are exact; the counts that datagrams carried stand in only
    // where the system does not give them.
    std::uint64_t counted = 0;
    if (TIdStack* stack = SocketStack()) {
        for (const auto socket : ReceiveSockets()) {
            counted +=
                static_cast<std::uint64_t>(std::max<std::int64_t>(stack->SocketDrops(socket), 0));
        }
    }
    return queue_.Dropped() + std::max(counted, queue_.SystemDropped());
}

std::int32_t TIdUDPBase::ReceiveBufferGranted() const {
    if (!binding_ || !binding_->HandleAllocated()) {
        return 0;
    }
    return std::max(RequireSocketStack("getsockopt").ReceiveBufferSize(binding_->Handle()), 0);
}

void TIdUDPBase::ApplyBroadcastFlag(bool enabled) {
    if (!binding_) {
        EnsureSocket();
    }
    const std::int32_t value = enabled ? -1 : 0;
    std::array<std::uint8_t, sizeof value> bytes{};
    std::memcpy(bytes.data(), &value, sizeof value);
    TIdStack& stack = RequireSocketStack("setsockopt");
    stack.CheckSocketResult(stack.SetSocketOption(binding_->Handle(), IdSolSocket, IdSoBroadcast,
                                                  bytes, static_cast<std::int32_t>(bytes.size())));
}

void TIdUDPBase::SendText(std::string_view data) {
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(data.data()),
                                              data.size());
    // A text longer than a datagram can be is refused by the platform all the same.
    const auto count = static_cast<std::int32_t>(
        std::min<std::size_t>(data.size(), std::numeric_limits<std::int32_t>::max()));
    SendBytesTo(host_, port_, bytes, count);
}

void TIdUDPBase::SendBytes(std::span<const std::uint8_t> buffer, std::int32_t byteCount) {
    SendBytesTo(host_, port_, buffer, byteCount);
}

void TIdUDPBase::SendBytesTo(const std::string& host, std::int32_t port,
                             std::span<const std::uint8_t> buffer, std::int32_t byteCount) {
    TIdStack& stack = RequireSocketStack("sendto");
    // Resolved before the socket exists, so a failed lookup leaves no socket behind.
    const std::string address = stack.ResolveToDottedQuad(host);
    const TIdSocketHandle& handle = EnsureSocket();
    arrivalsSince_.reset();
    // Listed at every send, so that an interface that came up since is used.
    const TIdInterfaceList interfaces = stack.ListInterfaces();
    const std::int32_t result =
        address == LimitedBroadcastAddress
            ? SendOnInterfaces(stack, handle.Handle(), interfaces, address, port, buffer, byteCount)
            : stack.SendTo(handle.Handle(), buffer, byteCount, 0, address, port);
    IgnoreOwnDatagrams(stack, handle.Handle(), interfaces);
    if (result == -1) {
        if (stack.LastError() == IdErrMessageTooLong) {
            throw EIdPackageSizeTooBig();
        }
        stack.CheckSocketResult(result);
    }
    if (result != byteCount) {
        throw EIdNotAllBytesSent();
    }
}

void TIdUDPBase::IgnoreOwnDatagrams(TIdStack& stack, TIdStackSocketHandle socket,
                                    const TIdInterfaceList& interfaces) {
    // The system loops a limited broadcast back to a socket bound to its port: the
    // workstation's own request would be read as the first reply.
    std::vector<TIdIPv4Bytes> own;
    for (const auto& entry : interfaces) {
        if (entry.address) {
            own.push_back(*entry.address);
        }
    }
    // The port is the platform's choice until the first send, so it is read after it.
    queue_.IgnoreOwnDatagrams(std::move(own), stack.LocalPort(socket));
}

std::int32_t TIdUDPBase::SendOnInterfaces(TIdStack& stack, TIdStackSocketHandle socket,
                                          const TIdInterfaceList& all, const std::string& address,
                                          std::int32_t port, std::span<const std::uint8_t> buffer,
                                          std::int32_t byteCount) {
    for (const auto& entry : all) {
        interfaceNames_[entry.index] = entry.name;
    }
    const TIdInterfaceList vias = BroadcastInterfaces(all, broadcastInterfaces_);
    if (vias.empty()) {
        if (!broadcastInterfaces_.empty()) {
            // The operator's limit holds: nothing leaves on an interface outside it.
            stack.RaiseSocketError(IdErrNetworkUnreachable);
        }
        return stack.SendTo(socket, buffer, byteCount, 0, address, port);
    }
    std::int32_t taken = -1;
    for (const auto& via : vias) {
        const std::int32_t result =
            stack.SendToVia(socket, buffer, byteCount, 0, address, port, via);
        if (result != -1 && (taken == -1 || result < taken)) {
            taken = result;
        }
    }
    if (taken == -1) {
        // Every interface refused; the stack still holds the last refusal's number.
        return -1;
    }
    return taken;
}

std::vector<std::string> TIdUDPBase::UsableBroadcastInterfaces() const {
    std::vector<std::string> names;
    for (const auto& entry :
         BroadcastInterfaces(RequireSocketStack("getifaddrs").ListInterfaces())) {
        names.push_back(entry.name);
    }
    return names;
}

void TIdUDPBase::NoteArrivalInterface(TIdStack& stack, std::uint32_t index) {
    if (index == 0) {
        lastArrivalInterface_.clear();
        return;
    }
    auto known = interfaceNames_.find(index);
    if (known == interfaceNames_.end()) {
        known = interfaceNames_.emplace(index, stack.InterfaceName(index)).first;
    }
    lastArrivalInterface_ = known->second;
}

std::int32_t TIdUDPBase::ReceiveDatagram(std::span<std::uint8_t> buffer, std::int32_t bufferSize,
                                         std::string& peerAddress, std::int32_t& peerPort,
                                         std::int32_t timeoutMs) {
    if (timeoutMs == IdTimeoutDefault) {
        timeoutMs = receiveTimeout_;
    }
    TIdSocketHandle& handle = EnsureSocket();
    TIdStack& stack = RequireSocketStack("recvfrom");
    if (!queue_.Empty()) {
        // While the queue is worked off, the kernel's buffers are kept drained.
        queue_.Fill(stack, ReceiveSockets());
    } else if (!WaitForDatagram(stack, handle, timeoutMs)) {
        NoteNothingReceived(peerAddress, peerPort);
        arrivalsSince_.reset();
        return 0;
    }
    KeepWindowResponsive();
    if (queue_.Empty()) {
        // An event handled just now discarded what was queued.
        NoteNothingReceived(peerAddress, peerPort);
        return 0;
    }
    return TakeQueued(stack, buffer, bufferSize, peerAddress, peerPort);
}

bool TIdUDPBase::WaitForDatagram(TIdStack& stack, TIdSocketHandle& handle, std::int32_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::int32_t left = timeoutMs;
    while (handle.WaitReadable(left)) {
        if (!queue_.Fill(stack, ReceiveSockets())) {
            // A pending error, which the read took: it is reported as a failed receive
            // would report it, since no later wait would ever see it again.
            const std::int32_t error = stack.LastError();
            lastArrivalInterface_.clear();
            stack.RaiseSocketError(error);
        }
        if (!queue_.Empty() || timeoutMs == 0) {
            return !queue_.Empty();
        }
        // Readable, yet nothing kept (the endpoint's own datagram, or one the system threw
        // away on reading it): the rest of the time is waited.
        if (timeoutMs > 0) {
            const auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (rest.count() <= 0) {
                return false;
            }
            left = static_cast<std::int32_t>(rest.count());
        }
    }
    return false;
}

void TIdUDPBase::NoteNothingReceived(std::string& peerAddress, std::int32_t& peerPort) {
    peerAddress.clear();
    peerPort = 0;
    lastArrivalInterface_.clear();
}

std::int32_t TIdUDPBase::TakeQueued(TIdStack& stack, std::span<std::uint8_t> buffer,
                                    std::int32_t bufferSize, std::string& peerAddress,
                                    std::int32_t& peerPort) {
    if (bufferSize < 0) {
        // Refused before anything is taken, as the platform refuses a negative length.
        peerAddress = "0.0.0.0";
        peerPort = 0;
        stack.RaiseSocketError(IdErrInvalidArgument);
    }
    ReceiveQueue::Datagram datagram = queue_.Take();
    const std::size_t room = std::min(static_cast<std::size_t>(bufferSize), buffer.size());
    std::copy_n(datagram.bytes.begin(), std::min(room, datagram.bytes.size()), buffer.begin());
    peerAddress = stack.AddressToText(datagram.info.peer);
    peerPort = datagram.info.peerPort;
    NoteArrivalInterface(stack, datagram.info.arrivalInterface);
    if (static_cast<std::size_t>(datagram.info.length) > room) {
        stack.RaiseSocketError(IdErrMessageTooLong);
    }
    return datagram.info.length;
}

void TIdUDPBase::KeepWindowResponsive() {
    if (!PumpInUse()) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!arrivalsSince_) {
        arrivalsSince_ = now;
        return;
    }
    if (now - *arrivalsSince_ >= std::chrono::milliseconds(ActivePump()->IdleTimeOut())) {
        PumpAfterWait(false, true);
        arrivalsSince_ = std::chrono::steady_clock::now();
    }
}

} // namespace tcpipset
