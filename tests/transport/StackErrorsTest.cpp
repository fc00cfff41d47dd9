#include "transport/ErrnoMapping.h"
#include "transport/IdExceptions.h"
#include "transport/IdStackPosix.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <netdb.h>
#include <ostream>
#include <type_traits>

namespace tcpipset {
namespace {

struct ErrorTextCase {
    std::int32_t number;
    const char* text;
};

void PrintTo(const ErrorTextCase& c, std::ostream* os) {
    *os << c.number;
}

class SocketErrorTextTest : public ::testing::TestWithParam<ErrorTextCase> {};

TEST_P(SocketErrorTextTest, FormatsNumberLineBreakAndTableText) {
    const TIdStackPosix stack;
    const auto& param = GetParam();
    EXPECT_EQ(stack.SocketErrorText(param.number),
              "Socket Error # " + std::to_string(param.number) + "\r\n" + param.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SocketErrorTextTest,
    ::testing::Values(ErrorTextCase{10004, "Interrupted system call."},
                      ErrorTextCase{10013, "Access denied."}, ErrorTextCase{10014, "Bad address."},
                      ErrorTextCase{10024, "Too many open files."},
                      ErrorTextCase{10035, "Operation would block. "}, // the blank belongs
                      ErrorTextCase{10040, "Message too long."},
                      ErrorTextCase{10047, "Address family not supported by protocol family."},
                      ErrorTextCase{10059, "Too many references, cannot splice."},
                      ErrorTextCase{10065, "No route to host."},
                      ErrorTextCase{10066, "Directory not empty"}, // no period
                      ErrorTextCase{11001, "Host not found."},
                      // Numbers the table lacks keep only the first line.
                      ErrorTextCase{12345, ""}, ErrorTextCase{10003, ""}, ErrorTextCase{10067, ""},
                      ErrorTextCase{0, ""}, ErrorTextCase{-1, ""}));

// The table's rows between 10035 and 10066 have no gap; a lost row would show as an
// empty second line.
TEST(SocketErrorText, EveryRowFrom10035To10066HasText) {
    const TIdStackPosix stack;
    for (std::int32_t number = 10035; number <= 10066; ++number) {
        const std::string prefix = "Socket Error # " + std::to_string(number) + "\r\n";
        EXPECT_GT(stack.SocketErrorText(number).size(), prefix.size()) << number;
    }
}

TEST(CheckSocketResult, RaisesTheLastErrorWithItsTextAndKeepsIt) {
    struct FailingStack : TIdStackPosix {
        std::int32_t LastError() const override { return 10051; }
    } stack;
    EXPECT_NO_THROW(stack.CheckSocketResult(0));
    EXPECT_NO_THROW(stack.CheckSocketResult(-2));
    try {
        stack.CheckSocketResult(-1);
        FAIL() << "no exception";
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(error.SocketErrorCode(), 10051);
        EXPECT_EQ(error.Message(), "Socket Error # 10051\r\nNetwork is unreachable.");
    }
    EXPECT_EQ(stack.LastSocketError(), 10051);
}

struct StubCase {
    std::uint32_t number;
    const char* systemText;
    const char* message;
    const char* keptText;
};

void PrintTo(const StubCase& c, std::ostream* os) {
    *os << c.number << " \"" << c.systemText << '"';
}

class StubErrorTest : public ::testing::TestWithParam<StubCase> {};

TEST_P(StubErrorTest, MessageIsTitleAndTrimmedSystemText) {
    const auto& param = GetParam();
    const EIdWS2StubError error(param.number, "Error on call Winsock2 library function socket",
                                param.systemText);
    EXPECT_EQ(error.Message(), param.message);
    EXPECT_EQ(error.Win32ErrorText(), param.keptText);
    EXPECT_EQ(error.Win32Error(), param.number);
    EXPECT_EQ(error.Title(), "Error on call Winsock2 library function socket");
}

INSTANTIATE_TEST_SUITE_P(
    Rule, StubErrorTest,
    ::testing::Values(
        StubCase{0, "ignored", "Error on call Winsock2 library function socket", "ignored"},
        StubCase{10093, "Not started.\r\n",
                 "Error on call Winsock2 library function socket: Not started", "Not started"},
        StubCase{126, "Module missing . . \t",
                 "Error on call Winsock2 library function socket: Module missing",
                 "Module missing"},
        StubCase{5, "1.2", "Error on call Winsock2 library function socket: 1.2", "1.2"},
        StubCase{5, "...", "Error on call Winsock2 library function socket: ", ""}));

template <typename Derived, typename Base>
constexpr bool DerivesFrom = std::is_base_of_v<Base, Derived>;

// The operations catch by these bases, so the hierarchy is part of the interface.
static_assert(DerivesFrom<EIdException, Exception>);
static_assert(DerivesFrom<EIdSocketError, EIdException>);
static_assert(DerivesFrom<EIdInvalidSocket, EIdException>);
static_assert(DerivesFrom<EIdWS2StubError, EIdException>);
static_assert(DerivesFrom<EIdStackInitializationFailed, EIdStackError>);
static_assert(DerivesFrom<EIdStackSetSizeExceeded, EIdStackError>);
static_assert(DerivesFrom<EIdStackError, EIdException>);
static_assert(DerivesFrom<EIdPackageSizeTooBig, EIdSocketHandleError>);
static_assert(DerivesFrom<EIdNotAllBytesSent, EIdSocketHandleError>);
static_assert(DerivesFrom<EIdSocketHandleError, EIdException>);
static_assert(DerivesFrom<EIdConnClosedGracefully, EIdSilentException>);
static_assert(DerivesFrom<EIdSilentException, EIdException>);
static_assert(!DerivesFrom<EIdSocketError, EIdSocketHandleError>);
static_assert(!DerivesFrom<EIdInvalidSocket, EIdStackError>);

struct ErrnoCase {
    int error;
    std::int32_t winsock;
};

void PrintTo(const ErrnoCase& c, std::ostream* os) {
    *os << "errno " << c.error;
}

class ErrnoMappingTest : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(ErrnoMappingTest, GivesTheWindowsSocketsNumber) {
    EXPECT_EQ(WinsockErrorFromErrno(GetParam().error), GetParam().winsock);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ErrnoMappingTest,
    ::testing::Values(
        ErrnoCase{EMSGSIZE, 10040}, ErrnoCase{EACCES, 10013}, ErrnoCase{EPERM, 10013},
        ErrnoCase{ENETUNREACH, 10051}, ErrnoCase{EHOSTUNREACH, 10065}, ErrnoCase{EINVAL, 10022},
        ErrnoCase{EBADF, 10009}, ErrnoCase{ENOTSOCK, 10038}, ErrnoCase{EMFILE, 10024},
        ErrnoCase{ENFILE, 10024}, ErrnoCase{ENOBUFS, 10055}, ErrnoCase{ENOMEM, 10055},
        ErrnoCase{EADDRINUSE, 10048}, ErrnoCase{EADDRNOTAVAIL, 10049}, ErrnoCase{ENETDOWN, 10050},
        ErrnoCase{EINTR, 10004}, ErrnoCase{EWOULDBLOCK, 10035}, ErrnoCase{EAGAIN, 10035},
        ErrnoCase{ECONNREFUSED, 10061}, ErrnoCase{EFAULT, 10014}, ErrnoCase{EINPROGRESS, 10036},
        ErrnoCase{EALREADY, 10037}, ErrnoCase{EDESTADDRREQ, 10039}, ErrnoCase{EPROTOTYPE, 10041},
        ErrnoCase{ENOPROTOOPT, 10042}, ErrnoCase{EPROTONOSUPPORT, 10043},
        ErrnoCase{ESOCKTNOSUPPORT, 10044}, ErrnoCase{EOPNOTSUPP, 10045},
        ErrnoCase{EPFNOSUPPORT, 10046}, ErrnoCase{EAFNOSUPPORT, 10047}, ErrnoCase{ENETRESET, 10052},
        ErrnoCase{ECONNABORTED, 10053}, ErrnoCase{ECONNRESET, 10054}, ErrnoCase{EISCONN, 10056},
        ErrnoCase{ENOTCONN, 10057}, ErrnoCase{ESHUTDOWN, 10058}, ErrnoCase{EPIPE, 10058},
        ErrnoCase{ETOOMANYREFS, 10059}, ErrnoCase{ETIMEDOUT, 10060}, ErrnoCase{ELOOP, 10062},
        ErrnoCase{ENAMETOOLONG, 10063}, ErrnoCase{EHOSTDOWN, 10064}, ErrnoCase{ENOTEMPTY, 10066},
        // Without an equivalent row the platform number passes through.
        ErrnoCase{EIO, EIO}, ErrnoCase{ENOENT, ENOENT}));

struct LookupCase {
    int lookupError;
    int savedErrno;
    std::int32_t winsock;
};

void PrintTo(const LookupCase& c, std::ostream* os) {
    *os << "lookup error " << c.lookupError << " errno " << c.savedErrno;
}

class LookupMappingTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(LookupMappingTest, GivesTheWindowsSocketsNumber) {
    const auto& param = GetParam();
    EXPECT_EQ(WinsockErrorFromLookup(param.lookupError, param.savedErrno), param.winsock);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LookupMappingTest,
    ::testing::Values(LookupCase{EAI_NONAME, 0, 11001}, LookupCase{EAI_AGAIN, 0, 11001},
                      LookupCase{EAI_FAIL, 0, 11001}, LookupCase{EAI_FAMILY, 0, 11001},
                      LookupCase{EAI_MEMORY, 0, 10055}, LookupCase{EAI_SYSTEM, EMFILE, 10024},
                      LookupCase{EAI_SYSTEM, 0, 11001}));

} // namespace
} // namespace tcpipset
