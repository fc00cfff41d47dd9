#pragma once

#include <cstddef>
#include <cstdint>

namespace tcpipset {

// A platform socket handle; IdInvalidSocket stands for "no socket".
using TIdStackSocketHandle = int;
inline constexpr TIdStackSocketHandle IdInvalidSocket = -1;

// The stack's interface speaks the Windows Sockets numbers for families, types, levels and
// options, so that callers and recording stacks in tests see the same values on every
// platform; TIdStackPosix translates them.
inline constexpr std::int32_t IdAfInet = 2;
inline constexpr std::int32_t IdSockDgram = 2;
inline constexpr std::int32_t IdSolSocket = 0xFFFF;
inline constexpr std::int32_t IdSoReuseAddr = 0x0004;
inline constexpr std::int32_t IdSoBroadcast = 0x0020;
inline constexpr std::int32_t IdSoSndBuf = 0x1001;
inline constexpr std::int32_t IdSoRcvBuf = 0x1002;
inline constexpr std::int32_t IdShutdownReceive = 0;
inline constexpr std::int32_t IdShutdownSend = 1;
inline constexpr std::int32_t IdShutdownBoth = 2;

// Time-outs in milliseconds: -1 asks for the endpoint's ReceiveTimeout, -2 waits without limit.
inline constexpr std::int32_t IdTimeoutDefault = -1;
inline constexpr std::int32_t IdTimeoutInfinite = -2;

// The most sockets one list of a readiness test may hold.
inline constexpr std::size_t IdMaxSocketSetSize = 64;

// Windows Sockets error numbers that the transport itself tests for or produces.
inline constexpr std::int32_t IdErrInterrupted = 10004;
inline constexpr std::int32_t IdErrBadFile = 10009;
inline constexpr std::int32_t IdErrAccessDenied = 10013;
inline constexpr std::int32_t IdErrInvalidArgument = 10022;
inline constexpr std::int32_t IdErrMessageTooLong = 10040;
inline constexpr std::int32_t IdErrBadProtocolOption = 10042;
inline constexpr std::int32_t IdErrAddressInUse = 10048;
inline constexpr std::int32_t IdErrNetworkUnreachable = 10051;
inline constexpr std::int32_t IdErrNoBufferSpace = 10055;
inline constexpr std::int32_t IdErrNotInitialised = 10093;
inline constexpr std::int32_t IdErrHostNotFound = 11001;

} // namespace tcpipset
