#include "RecordingStack.h"
#include "transport/IdExceptions.h"
#include "transport/IdStackPosix.h"
#include "transport/IdUDPClient.h"

#include <fstream>
#include <gtest/gtest.h>
#include <ostream>
#include <sstream>

namespace tcpipset {
namespace {

using testing::ScopedRecordingStack;
using testing::StackRecord;

struct QuadCase {
    const char* text;
    bool dottedQuad;
    TIdIPv4Bytes bytes; // meaningful only for dotted quads
};

void PrintTo(const QuadCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class DottedQuadTest : public ::testing::TestWithParam<QuadCase> {};

TEST_P(DottedQuadTest, RecognisesAndConverts) {
    const TIdStackPosix stack;
    const auto& param = GetParam();
    EXPECT_EQ(stack.IsDottedQuad(param.text), param.dottedQuad);
    if (param.dottedQuad) {
        EXPECT_EQ(stack.TextToAddress(param.text), param.bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DottedQuadTest,
    ::testing::Values(
        QuadCase{"255.255.255.255", true, {255, 255, 255, 255}},
        QuadCase{"0.0.0.0", true, {0, 0, 0, 0}}, QuadCase{"192.168.0.10", true, {192, 168, 0, 10}},
        // The integer reading allows what the address fields may hold.
        QuadCase{"$C0.168.0.1", true, {192, 168, 0, 1}}, QuadCase{" 10.0.0.1", true, {10, 0, 0, 1}},
        QuadCase{"010.0x0A.+1.0001", true, {10, 10, 1, 1}}, QuadCase{"256.1.1.1", false, {}},
        QuadCase{"1.2.3", false, {}}, QuadCase{"1.2.3.4.5", false, {}},
        QuadCase{"1..2.3", false, {}}, QuadCase{"a.b.c.d", false, {}},
        QuadCase{"10.0.0", false, {}}, QuadCase{"", false, {}}, QuadCase{"1.2.3.", false, {}},
        QuadCase{"-1.2.3.4", false, {}}, QuadCase{"1.2.3.4 ", false, {}},
        QuadCase{"localhost", false, {}}));

struct TextCase {
    TIdIPv4Bytes bytes;
    const char* text;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.text;
}

class AddressToTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(AddressToTextTest, WritesDecimalWithoutLeadingZeros) {
    const TIdStackPosix stack;
    EXPECT_EQ(stack.AddressToText(GetParam().bytes), GetParam().text);
    EXPECT_EQ(stack.TextToAddress(GetParam().text), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Table, AddressToTextTest,
                         ::testing::Values(TextCase{{10, 0, 0, 1}, "10.0.0.1"},
                                           TextCase{{0, 0, 0, 0}, "0.0.0.0"},
                                           TextCase{{192, 168, 0, 5}, "192.168.0.5"},
                                           TextCase{{255, 255, 255, 255}, "255.255.255.255"}));

struct ResolveCase {
    const char* host;
    const char* result;
    bool looksUp;
};

void PrintTo(const ResolveCase& c, std::ostream* os) {
    *os << c.host;
}

class ResolveTest : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveTest, LooksUpOnlyWhatIsNeitherLocalhostNorADottedQuad) {
    StackRecord record;
    record.lookupAnswers = {{"printer.example", "192.0.2.7"}, {"10.0.0", "10.0.0.0"}};
    const ScopedRecordingStack scoped(record);
    const TIdUDPClient component; // brings the stack into being
    const auto& param = GetParam();

    EXPECT_EQ(SocketStack()->ResolveToDottedQuad(param.host), param.result);
    EXPECT_EQ(record.lookups,
              param.looksUp ? std::vector<std::string>{param.host} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Table, ResolveTest,
                         ::testing::Values(ResolveCase{"LocalHost", "127.0.0.1", false},
                                           ResolveCase{"localhost", "127.0.0.1", false},
                                           ResolveCase{"LOCALHOST", "127.0.0.1", false},
                                           ResolveCase{"255.255.255.255", "255.255.255.255", false},
                                           ResolveCase{"$C0.168.0.1", "$C0.168.0.1", false},
                                           ResolveCase{"10.0.0", "10.0.0.0", true},
                                           ResolveCase{"printer.example", "192.0.2.7", true}));

TEST(Resolve, NameNotFoundRaises11001) {
    StackRecord record;
    const ScopedRecordingStack scoped(record);
    const TIdUDPClient component;
    try {
        SocketStack()->ResolveToDottedQuad("nowhere.example");
        FAIL() << "no exception";
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(error.SocketErrorCode(), 11001);
        EXPECT_EQ(error.Message(), "Socket Error # 11001\r\nHost not found.");
    }
}

bool HostsFileAnswers(const std::string& name) {
    std::ifstream hosts("/etc/hosts");
    std::string line;
    while (std::getline(hosts, line)) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string address;
        std::string alias;
        words >> address;
        while (words >> alias) {
            if (alias == name && address.starts_with("127.")) {
                return true;
            }
        }
    }
    return false;
}

// A real lookup, made only of a name that the hosts file answers, so that no query leaves
// the machine.
TEST(Resolve, PlatformLookupReadsTheHostsFile) {
    if (!HostsFileAnswers("localhost")) {
        GTEST_SKIP() << "/etc/hosts does not map localhost to a loopback address";
    }
    TIdStackPosix stack;
    const std::string address = stack.LookupHostByName("localhost");
    EXPECT_TRUE(address.starts_with("127.")) << address;
    EXPECT_TRUE(stack.IsDottedQuad(address));
}

TEST(Resolve, NameWithNullCharacterIsNotFound) {
    TIdStackPosix stack;
    try {
        stack.LookupHostByName(std::string("localhost\0.x", 12));
        FAIL() << "no exception";
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(error.SocketErrorCode(), 11001);
    }
}

} // namespace
} // namespace tcpipset
