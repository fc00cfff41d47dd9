#include "transport/PosixCallSupport.h"

#include "transport/ErrnoMapping.h"

#include <algorithm>
#include <cerrno>

namespace tcpipset::posix {

namespace {
thread_local std::int32_t tLastError = 0;
}

std::int32_t Fail(std::int32_t winsockError) {
    tLastError = winsockError;
    return -1;
}

std::int32_t FailFromErrno() {
    return Fail(WinsockErrorFromErrno(errno));
}

std::int32_t LastError() {
    return tLastError;
}

std::optional<std::size_t> ClampLength(std::int32_t length, std::size_t available) {
    if (length < 0) {
        return std::nullopt;
    }
    return std::min(static_cast<std::size_t>(length), available);
}

} // namespace tcpipset::posix
