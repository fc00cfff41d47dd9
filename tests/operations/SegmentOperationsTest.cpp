// The operations on the real endpoint, broadcasting to tcpipsim across the test segment.
// Each case runs in a segment of its own, started by ctest through tools/testnet with the
// devices it needs, and refuses to run anywhere else: it broadcasts.
#include "tests/operations/ScriptedView.h"
#include "tests/operations/ShownFields.h"
#include "transport/IdUDPClient.h"
#include "ui/operations/DeviceOperations.h"
#include "ui/operations/Messages.h"

#include <cstdlib>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace tcpipset::testing {
namespace {

using ::testing::ElementsAre;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

ino_t NetworkNamespaceOf(const char* process) {
    struct stat info {};
    const std::string path = std::string("/proc/") + process + "/ns/net";
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

// Inside the segment only: testnet says so, and this process's network namespace is not
// the machine's own.
bool InsideTestSegment() {
    const ino_t own = NetworkNamespaceOf("self");
    return !Env("TESTNET_SIM_LOG").empty() && own != 0 && own != NetworkNamespaceOf("1");
}

// The simulator's record of one kind of request: the hexadecimal bytes of each.
std::vector<std::string> LoggedRequests(const std::string& kind) {
    std::vector<std::string> found;
    std::ifstream log(Env("TESTNET_SIM_LOG"));
    for (std::string line; std::getline(log, line);) {
        if (line.find(" rx ") == std::string::npos ||
            line.find(" kind=" + kind + " ") == std::string::npos) {
            continue;
        }
        const auto bytes = line.find("bytes=");
        found.push_back(line.substr(bytes + 6));
    }
    return found;
}

std::string Hex(const std::string& text) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (const char character : text) {
        const auto c = static_cast<unsigned char>(character);
        hex += digits[c >> 4];
        hex += digits[c & 0x0F];
    }
    return hex;
}

// The window's endpoint settings, on the segment: every request goes to 255.255.255.255.
class InSegment : public ::testing::Test {
protected:
    void SetUp() override {
        if (!InsideTestSegment()) {
            GTEST_SKIP() << "broadcasts: runs only inside tools/testnet";
        }
        client.SetBufferSize(576);
        client.SetHost("255.255.255.255");
        client.SetPort(5001);
        client.SetReceiveTimeout(1000);
        client.SetReceiveBufferRequest(ReceiveBufferRequest());
        operations.FormCreate();
    }
    virtual std::int32_t ReceiveBufferRequest() const {
        return TIdUDPClient::DefaultReceiveBufferRequest;
    }
    // A double click on the first listed line.
    void SelectFirstDevice() {
        view.PlaceCaret(0);
        operations.Memo1DblClick();
        view.events.clear();
    }
    Fields Shown() const { return testing::Shown(view); }
    void Enter(const Fields& f) { view.SetFields(f.ip, f.mask, f.gateway); }

    ScriptedView view{16};
    TIdUDPClient client;
    DeviceOperations operations{view, client};
};

const std::string Confirm = std::string("confirm:") + messages::ConfirmSet();
const std::vector<std::string> Waited{"cursor:wait", "cursor:default"};

TEST_F(InSegment, DiscoveryListsEveryDeviceInOrder) {
    EXPECT_THAT(view.ListLines(), ElementsAre("0200000A1B2C", "0200000A1B2D", "0200000A1B2E"));
}

// A switch delivers every reply at once, and the buffer a stock system grants a user without
// root holds only about 280 of them; the sender here shares the processors with the
// receiver, as on a workstation. Whatever the run, every device is listed or told of as
// lost, and the loss told is the one the sockets counted.
class InSegmentAtStockBuffer : public InSegment {
protected:
    std::int32_t ReceiveBufferRequest() const override { return 212992; }
};

TEST_F(InSegmentAtStockBuffer, BurstOfAThousandIsListedOrToldAsLost) {
    const std::uint64_t lost = client.DroppedDatagrams();
    const std::vector<std::string> notice{"notice:" + messages::RepliesLost(lost)};
    EXPECT_EQ(view.ListLines().size() + lost, 1000U);
    EXPECT_EQ(view.events.size() > 2
                  ? std::vector<std::string>(view.events.begin() + 2, view.events.end())
                  : std::vector<std::string>{},
              lost == 0 ? std::vector<std::string>{} : notice);
}

// Two devices whose MACs end in the same six digits: a set of either would reach both.
TEST_F(InSegment, SetOfADeviceSharingItsLastSixDigitsIsRefused) {
    SelectFirstDevice();
    Enter({"198.18.0.77", "255.255.255.0", "198.18.0.1"});
    operations.SetTcpIpAddress();
    EXPECT_THAT(view.events, ElementsAre(std::string("error:") + messages::SelectorShared()));
    EXPECT_THAT(LoggedRequests("set"), ::testing::IsEmpty());
}

TEST_F(InSegment, QueryFillsTheFieldsWithDecimalTexts) {
    SelectFirstDevice();
    EXPECT_EQ(Shown(), (Fields{"198.18.0.10", "255.255.255.0", "198.18.0.1"}));
    EXPECT_THAT(LoggedRequests("query"), ElementsAre(Hex("PTN0A1B2CJ")));
}

TEST_F(InSegment, SetIsConfirmedWhenTheDeviceAnswersFromItsNewAddress) {
    SelectFirstDevice();
    Enter({"198.18.1.20", "255.255.255.0", "198.18.1.1"});
    operations.SetTcpIpAddress();
    EXPECT_THAT(view.events, ElementsAre(Confirm, Waited[0], Waited[1],
                                         std::string("notice:") + messages::Updated()));
    EXPECT_EQ(Shown(), (Fields{"198.18.1.20", "255.255.255.0", "198.18.1.1"}));
}

// The device of this case answers a set from the address that it held before.
TEST_F(InSegment, SetAnsweredFromTheOldAddressIsNotConfirmed) {
    SelectFirstDevice();
    Enter({"198.18.1.20", "255.255.255.0", "198.18.1.1"});
    operations.SetTcpIpAddress();
    EXPECT_THAT(view.events, ElementsAre(Confirm, Waited[0], Waited[1],
                                         std::string("error:") + messages::NotUpdated()));
    EXPECT_EQ(Shown(), (Fields{"198.18.0.10", "255.255.255.0", "198.18.1.1"}));
}

TEST_F(InSegment, MaskWithLeadingZerosIsSentAsBytesAndNeverComparesEqual) {
    SelectFirstDevice();
    Enter({"198.18.1.20", "255.255.255.000", "198.18.1.1"});
    operations.SetTcpIpAddress();
    EXPECT_THAT(view.events, ElementsAre(Confirm, Waited[0], Waited[1],
                                         std::string("error:") + messages::NotUpdated()));
    EXPECT_EQ(Shown(), (Fields{"198.18.1.20", "255.255.255.0", "198.18.1.1"}));
    EXPECT_THAT(LoggedRequests("set"),
                ElementsAre(Hex("PTN0A1B2CI198.18.1.20") + "0104FFFFFF000204C6120101FF"));
}

TEST_F(InSegment, RestartEmptiesTheFieldsAndEndsSilently) {
    SelectFirstDevice();
    operations.RestartDevice();
    EXPECT_THAT(view.events, ElementsAre("confirm:" + messages::ConfirmRestart("198.18.0.10"),
                                         Waited[0], Waited[1]));
    EXPECT_EQ(Shown(), (Fields{"", "", ""}));
    EXPECT_THAT(LoggedRequests("restart"),
                ElementsAre(Hex("PTN0A1B2CI198.18.0.10") + "0104FFFFFF000204C6120001100101FF"));
}

} // namespace
} // namespace tcpipset::testing
