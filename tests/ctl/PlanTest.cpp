#include "tools/tcpipctl/apply/Plan.h"

#include "tools/tcpipctl/apply/AddressProbe.h"
#include "tools/tcpipctl/apply/PlanReport.h"

#include <gtest/gtest.h>
#include <ostream>

namespace tcpipset {
namespace {

const InventoryRow Row{2, "020000000001", "198.18.1.10", "255.255.0.0", "198.18.0.1", "", ""};
const DeviceValues Holds{"198.18.0.10", "255.255.0.0", "198.18.0.1"};
const SeenDevice Device{"020000000001", "198.18.0.10", "eth0"};

struct PlanCase {
    const char* name;
    InventoryRow row;
    std::vector<SeenDevice> seen;
    std::optional<DeviceValues> answer;
    std::map<std::string, std::string> holders;
    RowStatus status;
    const char* reasonPart; // of the reason, or of the note of a change that goes ahead
    std::map<std::string, std::string> unchecked = {};
    std::map<std::string, std::string> workstation = {};
};

void PrintTo(const PlanCase& c, std::ostream* os) {
    *os << c.name;
}

InventoryRow OnInterface(const std::string& name) {
    InventoryRow row = Row;
    row.interfaceName = name;
    return row;
}

InventoryRow Wanting(const DeviceValues& values) {
    InventoryRow row = Row;
    row.ip = values.ip;
    row.mask = values.mask;
    row.gateway = values.gateway;
    return row;
}

class PlanTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanTest, EachRowGetsTheStatusOfItsRules) {
    const PlanCase& c = GetParam();
    SiteFindings findings{c.seen,    3,           {{c.row.mac, c.answer}},
                          c.holders, c.unchecked, c.workstation};
    const auto plan = MakePlan({c.row}, findings);
    ASSERT_EQ(plan.size(), 1U);
    EXPECT_EQ(RowStatusName(plan[0].status), std::string(RowStatusName(c.status)));
    EXPECT_NE((plan[0].reason + plan[0].note).find(c.reasonPart), std::string::npos)
        << plan[0].reason << plan[0].note;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlanTest,
    ::testing::Values(
        PlanCase{"NewAddress", Row, {Device}, Holds, {}, RowStatus::Change, ""},
        PlanCase{"AnUncheckedAddressGoesAheadNoted",
                 Row,
                 {Device},
                 Holds,
                 {},
                 RowStatus::Change,
                 "address not checked for another holder: arping failed",
                 {{"198.18.1.10", "arping failed (exit status 2)"}}},
        PlanCase{"TheWorkstationsOwnAddressIsInUse",
                 Row,
                 {Device},
                 Holds,
                 {},
                 RowStatus::Refused,
                 "address in use by this workstation on eth0",
                 {},
                 {{"198.18.1.10", "eth0"}}},
        PlanCase{"EmptyMaskAndGatewayAreWhatTheDeviceHolds",
                 Wanting({"198.18.0.10", "", ""}),
                 {Device},
                 Holds,
                 {},
                 RowStatus::Unchanged,
                 ""},
        PlanCase{"NoMaskInTheFileNorOnTheDevice",
                 Wanting({"198.18.1.10", "", ""}),
                 {Device},
                 DeviceValues{"198.18.0.10", "", "198.18.0.1"},
                 {},
                 RowStatus::Refused,
                 "no mask: the file gives none and the device reports none"},
        PlanCase{"UneditedExportOfADeviceWithoutMaskOrGateway",
                 Wanting({"198.18.0.10", "", ""}),
                 {Device},
                 DeviceValues{"198.18.0.10", "", ""},
                 {},
                 RowStatus::Unchanged,
                 ""},
        PlanCase{"SameValuesWrittenOtherwise",
                 Wanting({"198.18.0.10", "255.255.0.0", "198.18.0.1"}),
                 {Device},
                 Holds,
                 {},
                 RowStatus::Unchanged,
                 ""},
        PlanCase{"OnlyTheGatewayChanges",
                 Wanting({"198.18.0.10", "255.255.0.0", "198.18.0.2"}),
                 {Device},
                 Holds,
                 {{"198.18.0.10", "12AB00000001"}},
                 RowStatus::Change,
                 ""},
        PlanCase{
            "NotSeen", Row, {}, std::nullopt, {}, RowStatus::Missing, "not seen in 3 discoveries"},
        PlanCase{"SeenOnAnotherInterface",
                 OnInterface("eth1"),
                 {Device},
                 Holds,
                 {},
                 RowStatus::Missing,
                 "on eth1"},
        PlanCase{"SeenOnTheInterfaceGiven",
                 OnInterface("eth0"),
                 {Device},
                 Holds,
                 {},
                 RowStatus::Change,
                 ""},
        PlanCase{"SilentToTheQuery",
                 Row,
                 {Device},
                 std::nullopt,
                 {},
                 RowStatus::Missing,
                 "did not answer the query"},
        PlanCase{
            "TwinSeen",
            Row,
            {Device, {"040000000001", "198.18.0.20", "eth1"}},
            Holds,
            {},
            RowStatus::Refused,
            "also those of 040000000001 on eth1: set one of them with the window, or on its own "
            "segment with --interface"},
        PlanCase{"TwinOnAnInterfaceNotWritten",
                 OnInterface("eth0"),
                 {Device, {"040000000001", "198.18.0.20", "eth1"}},
                 Holds,
                 {},
                 RowStatus::Change,
                 ""},
        PlanCase{"SeenOnTwoInterfaces",
                 Row,
                 {Device, {"020000000001", "198.18.0.10", "eth1"}},
                 Holds,
                 {},
                 RowStatus::Refused,
                 "give its interface"},
        PlanCase{"AnotherDeviceAnswersFromTheAddress",
                 Row,
                 {Device, {"020000000002", "198.18.1.10", "eth0"}},
                 Holds,
                 {},
                 RowStatus::Refused,
                 "address in use by MAC 020000000002"},
        PlanCase{"AnotherHostAnswersTheProbe",
                 Row,
                 {Device},
                 Holds,
                 {{"198.18.1.10", "12AB00000001"}},
                 RowStatus::Refused,
                 "address in use by MAC 12AB00000001"},
        PlanCase{"TheDeviceItselfAnswersTheProbe",
                 Row,
                 {Device},
                 Holds,
                 {{"198.18.1.10", "020000000001"}},
                 RowStatus::Change,
                 ""}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(PlanReport, StatusAndChangedTellCheckAndApplyApart) {
    PlannedRow change{Row, RowStatus::Change, Holds, {Row.ip, Row.mask, Row.gateway}, "eth0", {}};
    PlannedRow missing{Row, RowStatus::Missing, std::nullopt, {}, "", "not seen"};
    EXPECT_EQ(PlanStatus({change}), 0);
    EXPECT_TRUE(PlanJson({change})["changed"].get<bool>());
    EXPECT_EQ(PlanStatus({change, missing}), 1);
    change.status = RowStatus::Failed;
    change.took = true;
    EXPECT_TRUE(PlanJson({change})["changed"].get<bool>()) << "its set took, its restart failed";
    change.took = false;
    change.status = RowStatus::Unchanged;
    EXPECT_FALSE(PlanJson({change})["changed"].get<bool>());
    EXPECT_EQ(PlanText({change}, false, false)
                  .substr(PlanText({change}, false, false).rfind("nothing to change")),
              "nothing to change: every device already holds its settings\n");
}

TEST(AddressProbe, OnlyWhatReadsAsIputilsOutputChecksAnAddress) {
    const std::string free = "ARPING 198.18.2.201 from 0.0.0.0 eth0\n"
                             "Sent 2 probes (2 broadcast(s))\nReceived 0 response(s)\n";
    const std::string held = "Unicast reply from 198.18.2.200 [12:4E:44:BB:00:15]  0.5ms\n";
    const struct {
        std::string output;
        int status;
        bool checked;
        const char* holderOrWhy;
    } rows[] = {
        {free, 0, true, ""},
        {held, 1, true, "124E44BB0015"},
        {"arping: socket: Operation not permitted\n", 2, false,
         "arping failed (exit status 2): socket: Operation not permitted"},
        {"", -1, false, "arping was killed"},
        {"60 bytes from 12:4e:44:bb:00:15 (198.18.2.200): index=0\n", 0, false, "not understood"},
        {free, 1, false, "not understood"},
    };
    for (const auto& row : rows) {
        const ProbeReading reading = ReadArping(row.output, row.status);
        EXPECT_EQ(reading.checked, row.checked) << row.output;
        EXPECT_NE((reading.holder + reading.why).find(row.holderOrWhy), std::string::npos)
            << reading.why;
    }
}

TEST(AddressProbe, TheHolderIsTheMacOfTheFirstReply) {
    EXPECT_EQ(HolderInArpingOutput("ARPING 198.18.2.200 from 0.0.0.0 eth0\n"
                                   "Unicast reply from 198.18.2.200 [12:4E:44:BB:00:15]  0.5ms\n"
                                   "Sent 1 probes (1 broadcast(s))\nReceived 1 response(s)\n"),
              "124E44BB0015");
    EXPECT_EQ(HolderInArpingOutput("ARPING 198.18.2.201 from 0.0.0.0 eth0\n"
                                   "Sent 2 probes (2 broadcast(s))\nReceived 0 response(s)\n"),
              "");
}

} // namespace
} // namespace tcpipset
