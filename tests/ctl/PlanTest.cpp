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
    const char* reasonPart;
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
    SiteFindings findings{c.seen, 3, {{c.row.mac, c.answer}}, c.holders};
    const auto plan = MakePlan({c.row}, findings);
    ASSERT_EQ(plan.size(), 1U);
    EXPECT_EQ(RowStatusName(plan[0].status), std::string(RowStatusName(c.status)));
    EXPECT_NE(plan[0].reason.find(c.reasonPart), std::string::npos) << plan[0].reason;
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlanTest,
    ::testing::Values(
        PlanCase{"NewAddress", Row, {Device}, Holds, {}, RowStatus::Change, ""},
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
        PlanCase{"TwinSeen",
                 Row,
                 {Device, {"040000000001", "198.18.0.20", "eth1"}},
                 Holds,
                 {},
                 RowStatus::Refused,
                 "also those of 040000000001 on eth1"},
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
