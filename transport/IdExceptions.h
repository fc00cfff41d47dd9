#pragma once

#include "protocol/Exception.h"

#include <cstdint>
#include <string>

namespace tcpipset {

// Root of every failure of the transport.
class EIdException : public Exception {
public:
    explicit EIdException(const std::string& message) : Exception(message) {}
};

// A socket call failed; SocketErrorCode is the Windows Sockets number of the failure.
class EIdSocketError : public EIdException {
public:
    EIdSocketError(std::int32_t socketErrorCode, const std::string& message)
        : EIdException(message), socketErrorCode_(socketErrorCode) {}
    std::int32_t SocketErrorCode() const { return socketErrorCode_; }

private:
    std::int32_t socketErrorCode_ = 0;
};

class EIdInvalidSocket : public EIdException {
public:
    EIdInvalidSocket() : EIdException("Cannot allocate socket.") {}
};

// The socket library could not be reached. The library is linked directly, so loading and
// resolving its functions cannot fail; the class remains for a socket call made while no
// socket stack exists.
class EIdWS2StubError : public EIdException {
public:
    // The message is the title alone when the error number is 0, otherwise the title, ": "
    // and the system text without its trailing control characters, blanks and dots.
    EIdWS2StubError(std::uint32_t win32Error, const std::string& title,
                    const std::string& systemText);
    std::uint32_t Win32Error() const { return win32Error_; }
    const std::string& Win32ErrorText() const { return win32ErrorText_; }
    const std::string& Title() const { return title_; }

private:
    std::uint32_t win32Error_ = 0;
    std::string win32ErrorText_;
    std::string title_;
};

class EIdStackError : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdStackInitializationFailed : public EIdStackError {
public:
    EIdStackInitializationFailed() : EIdStackError("Winsock Initialization Error.") {}
};

class EIdStackSetSizeExceeded : public EIdStackError {
public:
    EIdStackSetSizeExceeded() : EIdStackError("Set Size Exceeded.") {}
};

class EIdSocketHandleError : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdPackageSizeTooBig : public EIdSocketHandleError {
public:
    EIdPackageSizeTooBig() : EIdSocketHandleError("Package Size Too Big.") {}
};

class EIdNotAllBytesSent : public EIdSocketHandleError {
public:
    EIdNotAllBytesSent() : EIdSocketHandleError("Not all bytes sent.") {}
};

class EIdSilentException : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdConnClosedGracefully : public EIdSilentException {
public:
    EIdConnClosedGracefully() : EIdSilentException("Connection Closed Gracefully.") {}
};

} // namespace tcpipset
