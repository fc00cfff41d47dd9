#pragma once

#include "tools/tcpipctl/site/SiteTransport.h"
#include "ui/operations/UnlistedReplies.h"
#include "ui/operations/WriteRecord.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tcpipset {

struct EngineOptions {
    std::size_t parallel = 64; // exchanges in flight at most
    int retries = 3;           // further tries of a request that nothing answered
    std::chrono::milliseconds timeout{1000};
    // Between two broadcasts, so that a hundred devices are not asked in one burst.
    std::chrono::microseconds pace{2000};
    // Requests go to the limited broadcast address: each leaves only where its device
    // answered. Any other destination is routed as the system routes it.
    bool limitedBroadcast = true;
    std::vector<std::string> interfaceLimit;
};

// How a device's query ended, after its retries.
struct QueryVerdict {
    enum class Kind { Answered, NoAnswer, Several, OtherDevice, Unreadable };
    Kind kind = Kind::NoAnswer;
    AddressValues values;                // Answered: what the device holds
    std::vector<std::string> interfaces; // where it answered
    std::vector<std::string> devices;    // "MAC at ADDRESS" of every device that answered
    // More than one device answered to its last six digits: a write would reach them all.
    bool shared = false;
    int tries = 0;
};

struct SurveyRequest {
    int rounds = 3;
    // apply: the MACs of the rows, each with the interface its row names (empty: any).
    // Each is queried from the start, beside the discovery, which ends once every one has
    // been seen or has answered. Empty (export): the discovery ends once two rounds in a
    // row have added no device.
    std::map<std::string, std::string> wanted;
    // export: each device is queried on the interface it was seen on, while the discovery
    // goes on.
    bool query = true;
};

struct SurveyedDevice {
    std::string mac;
    std::string address;
    std::string interfaceName;
    int roundsAnswered = 0;
    int firstRound = 0;
    std::optional<QueryVerdict> query;
};

struct SurveyResult {
    std::vector<SurveyedDevice> devices;        // by MAC and interface, in the order first seen
    std::map<std::string, QueryVerdict> wanted; // apply: the query of each row's MAC
    int rounds = 0;
    UnlistedReplies unlisted; // discovery datagrams that listed no device
    // Devices that did not answer some round after the one they were first seen in, or
    // were first seen after the first: their replies, or the requests, were lost.
    std::size_t missedSome = 0;
};

// One row to write: the device and what it is to hold, with --restart its restart.
struct WriteOrder {
    std::string mac;
    std::string interfaceName; // where it was seen; empty: not known
    AddressValues wanted;
    bool restart = false;
    std::chrono::seconds settle{10};
    // The answer to its query in this run, which then stands for the query before the set.
    std::optional<QueryVerdict> known;
};

struct WriteVerdict {
    bool changed = false; // the device holds the asked values (and, with restart, answers so)
    bool took = false;    // it holds them, whatever became of its restart
    bool sent = false;    // a set left for it
    bool refused = false; // another device answers to its last six digits: nothing was sent
    std::string reason;   // why not changed
    std::optional<AddressValues> before;
};

// Runs the queries, sets and restarts of many devices at once, each exchange from a
// socket of its own, retried where nothing answered and judged by what the device then
// holds. No console output: the commands say what it found.
class SiteEngine {
public:
    SiteEngine(SiteTransport& transport, EngineOptions options, WriteLog* log = nullptr);
    ~SiteEngine();
    SiteEngine(const SiteEngine&) = delete;
    SiteEngine& operator=(const SiteEngine&) = delete;

    SurveyResult Survey(const SurveyRequest& request);
    // Once interrupted() says so, no further device is started; the writes in flight are
    // finished and recorded. A device not started is reported with reason "interrupted".
    std::vector<WriteVerdict> Write(const std::vector<WriteOrder>& orders,
                                    const std::function<bool()>& interrupted);

    // Datagrams that came to a socket whose request had already been answered or given up.
    std::uint64_t LateArrivals() const { return late_; }
    // Exchanges whose replies never paused, ended after ArrivalLimit datagrams.
    std::size_t CutShort() const { return cutShort_; }
    bool Serial() const { return options_.parallel == 1; }

    static constexpr int ArrivalLimit = 100000;

    class Job;

private:
    void Run(std::vector<std::unique_ptr<Job>>& jobs, const std::function<bool()>& interrupted);
    void Send(Job& job, std::unordered_map<std::size_t, Job*>& owner);
    void Deliver(Job& job, const SiteArrival& arrival);

    SiteTransport& transport_;
    EngineOptions options_;
    WriteLog* log_;
    SiteClock::time_point nextSend_{};
    std::uint64_t late_ = 0;
    std::size_t cutShort_ = 0;
};

} // namespace tcpipset
