#include "tools/tcpipctl/site/SiteEngine.h"

#include "protocol/ReplyWalk.h"
#include "tools/tcpipsim/ReplyEncoder.h"
#include "tools/tcpipsim/Request.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <random>

namespace tcpipset {
namespace {

using namespace std::chrono_literals;
using sim::RequestKind;

// What befalls the nth request of a kind for one device (0: every one).
struct Fault {
    std::string mac;
    RequestKind kind = RequestKind::Query;
    int nth = 1;
    enum class What { None, LoseRequest, LoseReply, LateReply, TwoReplies, OldValues } what;
};

struct FakeDevice {
    std::string mac;
    AddressValues holds;
    // Silent for this long after a restart.
    std::chrono::milliseconds reboot{2000};
    SiteClock::time_point silentUntil{};
};

// Devices on a scripted wire with a clock of its own: a reply arrives a millisecond after
// its request, or as the faults say; with loss set, each datagram is lost by chance.
class ScriptedSite final : public SiteTransport {
public:
    std::vector<FakeDevice> devices;
    std::vector<Fault> faults;
    double loss = 0; // each way
    std::mt19937 random{1};
    std::size_t sets = 0;
    std::size_t mostInFlight = 0;

    SiteClock::time_point Now() override { return now_; }
    std::size_t Open(SocketUse) override {
        open_.push_back(true);
        mostInFlight =
            std::max(mostInFlight, static_cast<std::size_t>(std::ranges::count(open_, true)));
        return open_.size() - 1;
    }
    void Retire(std::size_t socket) override { open_.at(socket) = false; }
    void Send(std::size_t socket, const Bytes& bytes, const std::vector<std::string>&) override {
        const sim::Request request = sim::ParseRequest(bytes);
        sets += request.kind == RequestKind::Set ? 1 : 0;
        for (auto& device : devices) {
            if (request.kind != RequestKind::Discovery &&
                request.selector != device.mac.substr(6)) {
                continue;
            }
            const int nth = ++count_[{device.mac, request.kind}];
            const auto fault = std::ranges::find_if(faults, [&](const Fault& f) {
                return f.mac == device.mac && f.kind == request.kind &&
                       (f.nth == 0 || f.nth == nth);
            });
            const Fault::What what = fault == faults.end() ? Fault::What::None : fault->what;
            if (what == Fault::What::LoseRequest || Lost() || now_ < device.silentUntil) {
                continue;
            }
            const AddressValues before = device.holds;
            if (request.kind == RequestKind::Set || request.kind == RequestKind::Restart) {
                device.holds = {request.ipText, sim::FormatDotted(Ipv4Of(request.mask)),
                                sim::FormatDotted(Ipv4Of(request.gateway))};
            }
            if (request.kind == RequestKind::Restart) {
                device.silentUntil = now_ + device.reboot;
                continue;
            }
            const AddressValues& said = what == Fault::What::OldValues ? before : device.holds;
            if (what == Fault::What::OldValues) {
                device.holds = before;
            }
            if (what == Fault::What::LoseReply || Lost()) {
                continue;
            }
            const auto at = now_ + (what == Fault::What::LateReply ? 1500ms : 1ms);
            for (int copy = 0; copy < (what == Fault::What::TwoReplies ? 2 : 1); ++copy) {
                queue_.emplace(at + copy * 1ms, SiteArrival{socket, Reply(device, said, request), 0,
                                                            said.address, "eth0"});
            }
        }
    }
    std::optional<SiteArrival> Wait(SiteClock::time_point deadline) override {
        // Datagrams to retired sockets are delivered too: the engine must not take them.
        if (queue_.empty() || queue_.begin()->first > deadline) {
            now_ = std::max(now_, deadline);
            return std::nullopt;
        }
        auto next = queue_.extract(queue_.begin());
        now_ = std::max(now_, next.key());
        next.mapped().count = static_cast<std::int32_t>(next.mapped().buffer.size());
        next.mapped().buffer.resize(DeviceReplyBufferSize);
        return std::move(next.mapped());
    }
    void CloseAll() override {}
    std::uint64_t Dropped() const override { return 0; }
    bool OneSocket() const override { return false; }
    std::vector<std::string> BroadcastInterfaces() override { return {"eth0"}; }

    const FakeDevice& Device(const std::string& mac) const {
        return *std::ranges::find_if(devices, [&](const auto& d) { return d.mac == mac; });
    }

private:
    static sim::Ipv4 Ipv4Of(const std::array<std::uint8_t, 4>& b) {
        return sim::Ipv4::FromParts(b[0], b[1], b[2], b[3]);
    }
    static std::vector<std::uint8_t> Reply(const FakeDevice& device, const AddressValues& values,
                                           const sim::Request& request) {
        sim::ReplyValues reply{*sim::ParseMac(device.mac), *sim::ParseDottedDecimal(values.mask),
                               *sim::ParseDottedDecimal(values.gateway), request.command};
        return sim::EncodeReply(reply, {});
    }
    bool Lost() { return loss > 0 && std::uniform_real_distribution<>(0, 1)(random) < loss; }

    SiteClock::time_point now_{};
    std::vector<bool> open_;
    std::map<std::pair<std::string, RequestKind>, int> count_;
    std::multimap<SiteClock::time_point, SiteArrival> queue_;
};

const std::string A = "020000000001";

template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case>& info) {
    return info.param.name;
}
const AddressValues Old{"198.18.0.10", "255.255.0.0", "198.18.0.1"};
const AddressValues New{"198.18.1.10", "255.255.0.0", "198.18.0.1"};

WriteOrder Order(const std::string& mac, const AddressValues& wanted, bool restart = false,
                 std::chrono::seconds settle = 10s) {
    return {mac, "eth0", wanted, restart, settle, std::nullopt};
}

struct Log final : WriteLog {
    std::vector<WriteRecord> records;
    void Record(const WriteRecord& record) override { records.push_back(record); }
};

struct WriteCase {
    const char* name;
    std::vector<Fault> faults;
    bool twin;
    bool changed;
    std::size_t sets;
    const char* reasonPart;
};

void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.name;
}

using W = Fault::What;

class SiteWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(SiteWrite, JudgesByWhatTheDeviceHolds) {
    const WriteCase& c = GetParam();
    ScriptedSite site;
    site.devices = {{A, Old}};
    if (c.twin) {
        site.devices.push_back({"040000000001", {"198.18.0.11", "255.255.0.0", "198.18.0.1"}});
    }
    site.faults = c.faults;
    Log log;
    SiteEngine engine(site, {}, &log);
    const auto verdicts = engine.Write({Order(A, New)}, {});
    ASSERT_EQ(verdicts.size(), 1U);
    EXPECT_EQ(verdicts[0].changed, c.changed) << verdicts[0].reason;
    if (std::string(c.reasonPart) != "not known") {
        EXPECT_EQ(verdicts[0].changed, site.Device(A).holds == New);
    }
    EXPECT_EQ(site.sets, c.sets);
    EXPECT_EQ(log.records.size(), c.sets) << "every set recorded";
    EXPECT_EQ(verdicts[0].refused, c.twin);
    EXPECT_NE(verdicts[0].reason.find(c.reasonPart), std::string::npos) << verdicts[0].reason;
    if (!log.records.empty()) {
        EXPECT_EQ(log.records.front().old, Old);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Verdicts, SiteWrite,
    testing::Values(
        WriteCase{"set_reply_lost_query_finds_new_values",
                  {{A, RequestKind::Set, 1, W::LoseReply}},
                  false,
                  true,
                  1,
                  ""},
        WriteCase{"set_lost_query_finds_old_values_set_again",
                  {{A, RequestKind::Set, 1, W::LoseRequest}},
                  false,
                  true,
                  2,
                  ""},
        WriteCase{"set_reply_late_to_a_given_up_socket",
                  {{A, RequestKind::Set, 1, W::LateReply}},
                  false,
                  true,
                  1,
                  ""},
        WriteCase{"set_reply_twice", {{A, RequestKind::Set, 1, W::TwoReplies}}, false, true, 1, ""},
        WriteCase{"device_keeps_old_values",
                  {{A, RequestKind::Set, 0, W::OldValues}},
                  false,
                  false,
                  1,
                  "not updated: it reports 198.18.0.10"},
        WriteCase{
            "probe_replies_lost_twice_asked_again",
            {{A, RequestKind::Query, 1, W::LoseReply}, {A, RequestKind::Query, 2, W::LoseReply}},
            false,
            true,
            1,
            ""},
        WriteCase{"probe_never_answered_nothing_sent",
                  {{A, RequestKind::Query, 0, W::LoseRequest}},
                  false,
                  false,
                  0,
                  "in 4 tries; nothing was sent"},
        WriteCase{"twin_answers_the_probe",
                  {},
                  true,
                  false,
                  0,
                  "2 devices answer to the last six digits 000001"},
        WriteCase{"set_reply_and_every_later_query_lost",
                  {{A, RequestKind::Set, 1, W::LoseReply},
                   {A, RequestKind::Query, 2, W::LoseRequest},
                   {A, RequestKind::Query, 3, W::LoseRequest},
                   {A, RequestKind::Query, 4, W::LoseRequest},
                   {A, RequestKind::Query, 5, W::LoseRequest}},
                  false,
                  false,
                  1,
                  "not known"}),
    CaseName<WriteCase>);

struct SurveyCase {
    const char* name;
    std::vector<Fault> faults;
    QueryVerdict::Kind kind;
    int tries;
    std::uint64_t late;
};

void PrintTo(const SurveyCase& c, std::ostream* os) {
    *os << c.name;
}

class SiteSurvey : public testing::TestWithParam<SurveyCase> {};

TEST_P(SiteSurvey, QueriesEachDeviceSeen) {
    const SurveyCase& c = GetParam();
    ScriptedSite site;
    site.devices = {{A, Old}, {"040000000001", {"198.18.0.11", "255.255.0.0", "198.18.0.1"}}};
    site.faults = c.faults;
    SiteEngine engine(site, {});
    const SurveyResult result = engine.Survey({3, {{A, ""}}, true});
    ASSERT_EQ(result.devices.size(), 2U);
    const QueryVerdict& verdict = result.wanted.at(A);
    EXPECT_EQ(verdict.kind, c.kind);
    EXPECT_EQ(verdict.tries, c.tries);
    EXPECT_EQ(engine.LateArrivals(), c.late);
    if (c.kind == QueryVerdict::Kind::Answered) {
        EXPECT_EQ(verdict.values, Old) << "the twin's reply is not taken for the device's";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Queries, SiteSurvey,
    testing::Values(SurveyCase{"answered_beside_its_twin", {}, QueryVerdict::Kind::Answered, 1, 0},
                    SurveyCase{"reply_lost_asked_again",
                               {{A, RequestKind::Query, 1, W::LoseReply}},
                               QueryVerdict::Kind::Answered,
                               2,
                               0},
                    SurveyCase{"reply_twice_is_one_device",
                               {{A, RequestKind::Query, 1, W::TwoReplies}},
                               QueryVerdict::Kind::Answered,
                               1,
                               0},
                    SurveyCase{"late_reply_to_the_first_socket_not_taken_by_the_second",
                               {{A, RequestKind::Query, 1, W::LateReply}},
                               QueryVerdict::Kind::Answered,
                               2,
                               1},
                    SurveyCase{"never_answered",
                               {{A, RequestKind::Query, 0, W::LoseRequest}},
                               QueryVerdict::Kind::OtherDevice,
                               4,
                               0}),
    CaseName<SurveyCase>);

TEST(SiteEngine, DiscoveryEndsAfterTwoRoundsThatAddNothingAndCountsTheMissed) {
    ScriptedSite site;
    site.devices = {{A, Old}, {"020000000002", New}};
    site.faults = {{A, RequestKind::Discovery, 1, W::LoseReply}};
    SiteEngine engine(site, {});
    const SurveyResult result = engine.Survey({10, {}, false});
    EXPECT_EQ(result.rounds, 4);
    EXPECT_EQ(result.devices.size(), 2U);
    EXPECT_EQ(result.missedSome, 1U);
}

TEST(SiteEngine, KeepsToParallelAndOneExchangePerSelector) {
    ScriptedSite site;
    std::vector<WriteOrder> orders;
    for (int i = 1; i <= 12; ++i) {
        char mac[13];
        // Two devices for each of six selectors.
        std::snprintf(mac, sizeof mac, "%02X0000%06X", 2 + i / 6 * 2, i % 6);
        site.devices.push_back({mac, Old});
        orders.push_back(Order(mac, New));
    }
    EngineOptions options;
    options.parallel = 4;
    SiteEngine engine(site, options);
    engine.Write(orders, {});
    EXPECT_EQ(site.mostInFlight, 4U);
    EXPECT_EQ(site.sets, 0U) << "each selector is shared by two devices: all refused";
}

TEST(SiteEngine, InterruptFinishesAndRecordsTheWritesInFlight) {
    ScriptedSite site;
    std::vector<WriteOrder> orders;
    for (const char* mac : {"020000000001", "020000000002", "020000000003"}) {
        site.devices.push_back({mac, Old});
        orders.push_back(Order(mac, New));
    }
    Log log;
    EngineOptions options;
    options.parallel = 2;
    SiteEngine engine(site, options, &log);
    const auto verdicts = engine.Write(orders, [&] { return site.sets != 0; });
    EXPECT_TRUE(verdicts[0].changed && verdicts[1].changed);
    EXPECT_EQ(verdicts[2].reason, "not written: interrupted");
    EXPECT_EQ(log.records.size(), 2U);
}

TEST(SiteEngine, RestartIsJudgedByTheSettingsItAnswersWithAfterwards) {
    ScriptedSite site;
    site.devices = {{A, Old}};
    Log log;
    SiteEngine engine(site, {}, &log);
    const auto verdicts = engine.Write({Order(A, New, true)}, {});
    EXPECT_TRUE(verdicts[0].changed) << verdicts[0].reason;
    ASSERT_EQ(log.records.size(), 2U);
    EXPECT_EQ(log.records[1].kind, WriteKind::Restart);
    EXPECT_EQ(log.records[1].old, New);

    site.devices[0].reboot = 60s;
    const auto lost = engine.Write({Order(A, Old, true, 5s)}, {});
    EXPECT_FALSE(lost[0].changed);
    EXPECT_TRUE(lost[0].took) << "its set took: the row counts as changed";
    EXPECT_NE(lost[0].reason.find("did not answer"), std::string::npos) << lost[0].reason;
}

// A whole apply, survey and writes, under a tenth of the datagrams lost each way: every
// status is what the device then holds, and (all but rarely) every device converges.
TEST(SiteEngine, UnderLossEveryVerdictIsWhatTheDeviceHolds) {
    std::size_t converged = 0;
    for (unsigned seed = 1; seed <= 10; ++seed) {
        ScriptedSite site;
        site.loss = 0.1;
        site.random.seed(seed);
        std::map<std::string, std::string> rows;
        for (int i = 1; i <= 20; ++i) {
            char mac[13];
            std::snprintf(mac, sizeof mac, "0200000000%02X", i);
            site.devices.push_back({mac, Old});
            rows[mac] = "";
        }
        SiteEngine engine(site, {});
        const SurveyResult survey = engine.Survey({3, rows, true});
        std::vector<WriteOrder> orders;
        for (int i = 1; i <= 20; ++i) {
            const std::string& mac = site.devices[static_cast<std::size_t>(i - 1)].mac;
            orders.push_back(Order(mac, {"198.18.1." + std::to_string(i), New.mask, New.gateway}));
            orders.back().known = survey.wanted.at(mac);
        }
        const auto verdicts = engine.Write(orders, {});
        for (std::size_t i = 0; i < orders.size(); ++i) {
            const bool holds = site.devices[i].holds == orders[i].wanted;
            if (verdicts[i].reason.find("not known") == std::string::npos) {
                EXPECT_EQ(verdicts[i].changed, holds) << seed << " " << verdicts[i].reason;
            }
            converged += verdicts[i].changed ? 1U : 0U;
        }
    }
    EXPECT_GE(converged, 199U);
}

} // namespace
} // namespace tcpipset
