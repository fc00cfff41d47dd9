#include "transport/IdStack.h"

#include "protocol/ParseInteger.h"
#include "transport/IdExceptions.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace tcpipset {

namespace {

constexpr std::pair<std::int32_t, std::string_view> ErrorTable[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block. "},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
};

// Splits off the text before the next "."; without one the whole rest is the part.
std::string_view TakePart(std::string_view& rest) {
    const auto dot = rest.find('.');
    if (dot == std::string_view::npos) {
        const auto part = rest;
        rest = {};
        return part;
    }
    const auto part = rest.substr(0, dot);
    rest.remove_prefix(dot + 1);
    return part;
}

// The fourth part is whatever remains after three splits, further dots included, so that
// ParseInteger rejects it.
std::array<std::string_view, 4> SplitFourParts(std::string_view text) {
    std::array<std::string_view, 4> parts;
    for (std::size_t i = 0; i < 3; ++i) {
        parts[i] = TakePart(text);
    }
    parts[3] = text;
    return parts;
}

std::optional<std::int32_t> TryParse(std::string_view part) {
    try {
        return ParseInteger(part);
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        return lower(x) == lower(y);
    });
}

} // namespace

std::string_view TIdStack::ErrorTableText(std::int32_t number) const {
    const auto* row =
        std::ranges::find(ErrorTable, number, &std::pair<std::int32_t, std::string_view>::first);
    return row == std::end(ErrorTable) ? std::string_view{} : row->second;
}

std::string TIdStack::SocketErrorText(std::int32_t number) const {
    std::string text = "Socket Error # " + std::to_string(number) + "\r\n";
    text.append(ErrorTableText(number));
    return text;
}

std::string TIdStack::AddressToText(const TIdIPv4Bytes& address) const {
    std::string text;
    for (std::size_t i = 0; i < address.size(); ++i) {
        if (i != 0) {
            text += '.';
        }
        text += std::to_string(address[i]);
    }
    return text;
}

TIdIPv4Bytes TIdStack::TextToAddress(std::string_view dottedQuad) const {
    const auto parts = SplitFourParts(dottedQuad);
    TIdIPv4Bytes address{};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        address[i] =
            static_cast<std::uint8_t>(static_cast<std::uint32_t>(ParseInteger(parts[i])) & 0xFFu);
    }
    return address;
}

bool TIdStack::IsDottedQuad(std::string_view text) const {
    return std::ranges::all_of(SplitFourParts(text), [](std::string_view part) {
        const auto value = TryParse(part);
        return value && *value >= 0 && *value <= 255;
    });
}

void TIdStack::CheckSocketResult(std::int32_t result) {
    if (result != -1) {
        return;
    }
    RaiseSocketError(LastError());
}

void TIdStack::RaiseSocketError(std::int32_t number) {
    lastSocketError_ = number;
    throw EIdSocketError(number, SocketErrorText(number));
}

TIdStackSocketHandle TIdStack::OpenIPv4Socket(std::int32_t type, std::int32_t protocol) {
    const TIdStackSocketHandle socket = OpenSocket(IdAfInet, type, protocol);
    if (socket == IdInvalidSocket) {
        throw EIdInvalidSocket();
    }
    return socket;
}

std::string TIdStack::ResolveToDottedQuad(const std::string& host) {
    if (EqualsIgnoringAsciiCase(host, "LOCALHOST")) {
        return "127.0.0.1";
    }
    if (IsDottedQuad(host)) {
        return host;
    }
    return LookupHostByName(host);
}

} // namespace tcpipset
