#include "tools/tcpipctl/apply/Inventory.h"

#include "tools/tcpipctl/apply/InventoryWriter.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace tcpipset {
namespace {

// The line of each problem and words that its reason holds.
using Problems = std::vector<std::pair<std::size_t, std::string>>;

struct InventoryCase {
    const char* name;
    std::string text;
    std::size_t rows;
    Problems problems = {};
};

void PrintTo(const InventoryCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadInventoryTest : public ::testing::TestWithParam<InventoryCase> {};

TEST_P(ReadInventoryTest, TakesGoodRowsAndNamesTheLineOfEveryFault) {
    const Inventory inventory = ReadInventory(GetParam().text);

    EXPECT_EQ(inventory.rows.size(), GetParam().rows);
    ASSERT_EQ(inventory.problems.size(), GetParam().problems.size());
    for (std::size_t i = 0; i < inventory.problems.size(); ++i) {
        EXPECT_EQ(inventory.problems[i].line, GetParam().problems[i].first);
        EXPECT_NE(inventory.problems[i].reason.find(GetParam().problems[i].second),
                  std::string::npos)
            << inventory.problems[i].reason;
    }
}

const std::string Header = "mac,ip,mask,gateway\n";
const std::string A = "020000000001,198.18.0.1,255.255.0.0,198.18.0.254\n";
const std::string B = "020000000002,198.18.0.2,255.255.0.0,198.18.0.254\n";

INSTANTIATE_TEST_SUITE_P(
    Files, ReadInventoryTest,
    ::testing::Values(
        InventoryCase{
            "ByteOrderMarkCrlfAndQuotes",
            "\xEF\xBB\xBFmac,ip,mask,gateway,interface\r\n"
            "\"02:00:00:00:00:01\", 198.18.0.1 ,255.255.0.0,198.18.0.254,\"a,\"\"b\"\"\"\r\n"
            "020000000002,198.18.0.2,255.255.0.0,198.18.0.254,\r\n",
            2},
        InventoryCase{"BlankLinesAndBareCommasSkipped", Header + "\n" + A + " \n,,,\n\n" + B, 2},
        InventoryCase{"ColumnsInAnyOrderAndCase",
                      " Gateway ,MAC,Interface,ip,mask\n198.18.0.254,020000000001,eth0,198.18.0.1,"
                      "255.255.0.0\n",
                      1},
        InventoryCase{"QuotedLineBreakCountsFromTheRowsFirstLine",
                      Header + "\"0200\n00000001\",198.18.0.1,255.255.0.0,198.18.0.254\n" + B +
                          "x,198.18.0.3,255.255.0.0,198.18.0.254\n",
                      1, Problems{{2, "mac 0200\\n00000001: not a MAC"}, {5, "mac x: not a MAC"}}},
        InventoryCase{"HeaderFaults", "mac,ip,IP,gw\n" + A, 0,
                      Problems{{1, "column ip appears twice"},
                               {1, "unknown column gw"},
                               {1, "no column mask"},
                               {1, "no column gateway"}}},
        InventoryCase{"NoHeader", " \n,,\n", 0, Problems{{1, "no header line"}}},
        InventoryCase{"SemicolonsAreOneProblem",
                      "mac;ip;mask;gateway\n020000000001;198.18.0.1;255.255.0.0;0.0.0.0\n", 0,
                      Problems{{1, "the separator is \";\"; use \",\""}}},
        InventoryCase{"RowFaults",
                      Header + "020000000001,198.18.0.1\n" +
                          "\"020000000002\" x,198.18.0.2,255.255.0.0,0.0.0.0\n" +
                          "0200000000,198.18.0.3,255.255.0.0,0.0.0.0\n" +
                          "020000000004,1.2.3.4.5,255.255.0.0,0.0.0.0\n" +
                          "020000000005,198.18.0.5,255.0.255.0,0.0.0.0\n" +
                          "020000000006,198.18.0.127,255.255.255.128,0.0.0.0\n" + B +
                          "020000000007,198.18.0.7,255.255.0.0,0.0.0.0\n\"unclosed",
                      2,
                      Problems{{2, "2 fields where the header has 4"},
                               {3, "text after the closing quote"},
                               {4, "mac 0200000000: not a MAC address"},
                               {5, "ip 1.2.3.4.5: not an IPv4 address"},
                               {6, "mask 255.0.255.0: the one-bits"},
                               {7, "ip 198.18.0.127: the broadcast address of its subnet"},
                               {10, "quote opened in this row is never closed"}}},
        // Twins that export found are rows of their own, which the plan refuses.
        InventoryCase{"DuplicatesNameTheEarlierLine",
                      Header + A + "020000000001,198.18.0.9,255.255.0.0,10.0.0.1\n" +
                          "020000000003,198.18.000.01,255.255.0.0,0.0.0.0\n" +
                          "04-00-00-00-00-01,198.18.0.4,255.255.0.0,0.0.0.0\n",
                      2,
                      Problems{{3, "MAC 020000000001 is also on line 2"},
                               {4, "ip 198.18.0.1 is also on line 2"}}},
        InventoryCase{"JsonArray",
                      "[\n {\"mac\": \"020000000001\", \"ip\": \"198.18.0.1\", \"mask\": "
                      "\"255.255.0.0\", \"gateway\": \"0.0.0.0\", \"interface\": null},\n"
                      " {\"interface\": \"eth0\", \"gateway\": \"0.0.0.0\", \"mask\": "
                      "\"255.255.0.0\", \"ip\": \"198.18.0.2\", \"mac\": \"020000000002\"}\n]",
                      2},
        InventoryCase{"JsonElementFaults",
                      "[{\"mac\": \"020000000001\", \"ip\": \"198.18.0.1\", \"mask\": "
                      "\"255.255.0.0\", \"gateway\": \"0.0.0.0\", \"port\": \"1\"},\n"
                      "5, [{\"mac\": \"x\"}],\n"
                      "{\"mac\": \"020000000002\", \"ip\": 7, \"ip\": \"198.18.0.2\",\n"
                      " \"mask\": {\"a\": [1]}},\n"
                      "{\"mac\": \"02000000000\", \"ip\": \"198.18.0.3\", \"mask\": "
                      "\"255.255.0.0\", \"gateway\": \"0.0.0.0\"}]",
                      0,
                      Problems{{1, "unknown key port"},
                               {2, "a number where an object is due"},
                               {2, "an array where an object is due"},
                               {3, "ip: a number where a string is due"},
                               {3, "key ip appears twice"},
                               {3, "mask: an object where a string is due"},
                               {3, "no key gateway"},
                               {5, "mac 02000000000: not a MAC address"}}},
        InventoryCase{"UneditedExportOfADeviceOnTwoInterfacesEmptyFieldsAndAWideSubnet",
                      "mac,ip,mask,gateway,interface\n" + A.substr(0, A.size() - 1) + ",eth0\n" +
                          A.substr(0, A.size() - 1) + ",eth1\n" + "020000000002,198.18.3.255,,,\n",
                      2},
        InventoryCase{"HeaderAloneIsNoInventory", Header, 0, Problems{{1, "no device"}}},
        InventoryCase{"EmptyJsonArrayIsNoInventory", "\n[]", 0, Problems{{2, "no device"}}},
        InventoryCase{"JsonSyntaxErrorIsTheOnlyProblem", "\n[{\"mac\": \"1\"},\n {\"ip\" 1}]", 0,
                      Problems{{3, "not valid JSON: syntax error"}}}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

auto Values(const InventoryRow& row) {
    return std::tie(row.mac, row.ip, row.mask, row.gateway, row.interfaceName, row.warning);
}

TEST(ReadInventoryTest, AnInterfaceThisHostLacksIsAProblemThatNamesThoseItHas) {
    const std::vector<std::string> host{"eth0", "wlan0"};
    const Inventory read =
        ReadInventory("mac,ip,mask,gateway,interface\n020000000001,198.18.0.1,255.255.0.0,0.0.0.0,"
                      "eth9\n020000000002,x,255.255.0.0,0.0.0.0,eth0\n",
                      &host);
    EXPECT_TRUE(read.rows.empty());
    ASSERT_EQ(read.problems.size(), 2u);
    EXPECT_EQ(read.problems[0].line, 2u);
    EXPECT_EQ(read.problems[0].reason,
              "interface eth9: this host has no interface of that name (it has eth0, wlan0)");
}

TEST(InventoryWriterTest, WrittenRowsReadBackTheSame) {
    const Inventory read = ReadInventory("interface,mac,ip,mask,gateway\n"
                                         "\" a,\"\"b\"\"\",0080921a2b3c,198.018.0.1,255.255.0.0,"
                                         "10.0.0.1\n"
                                         ",02:00:00:00:00:02,198.18.0.2,255.255.0.0,0.0.0.0\n");
    ASSERT_TRUE(read.problems.empty());
    ASSERT_EQ(read.rows.size(), 2u);
    const InventoryRow& first = read.rows[0];
    EXPECT_EQ(std::tie(first.line, first.mac, first.ip, first.interfaceName),
              std::tuple(2u, "0080921A2B3C", "198.18.0.1", "a,\"b\""));
    EXPECT_EQ(first.warning, "gateway 10.0.0.1 lies outside the subnet of ip 198.18.0.1 "
                             "mask 255.255.0.0");

    for (const std::string& written : {InventoryCsv(read.rows), InventoryJson(read.rows)}) {
        const Inventory again = ReadInventory(written);
        EXPECT_TRUE(again.problems.empty()) << written;
        ASSERT_EQ(again.rows.size(), read.rows.size()) << written;
        for (std::size_t i = 0; i < read.rows.size(); ++i) {
            EXPECT_EQ(Values(again.rows[i]), Values(read.rows[i])) << written;
        }
    }
}

} // namespace
} // namespace tcpipset
