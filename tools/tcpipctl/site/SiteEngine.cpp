#include "tools/tcpipctl/site/SiteEngine.h"

#include "i18n/Translate.h"
#include "protocol/Exception.h"
#include "protocol/ReplyWalk.h"
#include "protocol/Requests.h"
#include "tools/tcpipctl/AddressOptions.h"
#include "ui/operations/ProcessUser.h"
#include "ui/operations/QueryAnswers.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

namespace tcpipset {

namespace {

using namespace std::chrono_literals;
using i18n::Format;
using i18n::Tr;
using i18n::TrN;

// A restarted device is asked at most twice a second whether it is back.
constexpr auto SettleSpacing = 500ms;

bool Holds(const AddressValues& held, const AddressValues& wanted) {
    return SameDottedQuad(held.address, wanted.address) && SameDottedQuad(held.mask, wanted.mask) &&
           SameDottedQuad(held.gateway, wanted.gateway);
}

std::string ValuesText(const AddressValues& values) {
    return values.address + "/" + values.mask + " gw " + values.gateway;
}

std::string DeviceText(const QueryAnswers::Device& device) {
    const std::string mac = device.mac.empty() ? Tr("a device") : device.mac;
    return Format(Tr("%1 at %2"), mac, device.address);
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& part : parts) {
        text += (text.empty() ? "" : ", ") + part;
    }
    return text;
}

} // namespace

// One device's (or one discovery's) work: a run of exchanges, one in flight at a time,
// each from a socket of its own. The engine sends what a job asks for, hands it the
// datagrams that come back to that socket, and tells it when the exchange is over.
class SiteEngine::Job {
public:
    enum class Exchange { Listen, Query, Set, Drain };

    virtual ~Job() = default;
    Job() = default;
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // The last six digits it holds while it runs: two requests for the same digits would
    // each be answered by the other's device too.
    std::string Selector() const {
        return deviceMac.empty() ? std::string{} : DeviceSelectorOf(deviceMac);
    }
    virtual void Start() = 0;
    // The exchange in flight is over: by its deadline, or (a set) by its reply.
    virtual void Ended() = 0;
    virtual void Listened(const SiteArrival&) {}
    // Not started before an interrupt.
    virtual void Skip() { done = true; }
    // The request could not be sent.
    virtual void SendFailed(const std::string& message) = 0;

    // What the engine reads and keeps for the job.
    struct Request {
        Exchange exchange = Exchange::Query;
        Bytes bytes;
        std::vector<std::string> aim;
        SiteClock::time_point notBefore{};
    };
    std::optional<Request> next;
    std::string deviceMac; // the device's; empty for a discovery
    bool started = false;
    bool done = false;
    std::optional<std::size_t> socket;
    Exchange exchange = Exchange::Query;
    SiteClock::time_point deadline{};
    SiteClock::time_point sentAt{};
    int arrivals = 0;
    // A query's answers, or a set's one reply.
    QueryAnswers answers;
    bool unreadable = false;
    std::optional<AddressValues> setReply;
    bool cutShort = false;

protected:
    void Ask(Exchange kind, Bytes bytes, std::vector<std::string> aim,
             SiteClock::time_point notBefore = {}) {
        next = Request{kind, std::move(bytes), std::move(aim), notBefore};
    }
};

namespace {

using Job = SiteEngine::Job;

// The devices that answered a query, sorted as the query command sorts them: those whose
// replies carry the MAC asked (or, when none does, carry none) answer for it.
QueryVerdict JudgeQuery(const std::string& mac, const QueryAnswers& answers, bool unreadable,
                        int tries) {
    QueryVerdict verdict;
    verdict.tries = tries;
    std::vector<const QueryAnswers::Device*> named;
    std::vector<const QueryAnswers::Device*> others;
    const bool anyCarries = std::ranges::any_of(
        answers.Devices(), [&](const QueryAnswers::Device& device) { return device.mac == mac; });
    for (const auto& device : answers.Devices()) {
        verdict.devices.push_back(DeviceText(device));
        const bool forMac = anyCarries ? device.mac == mac : device.mac.empty();
        (forMac ? named : others).push_back(&device);
    }
    verdict.shared = answers.Several(mac);
    if (unreadable) {
        verdict.kind = QueryVerdict::Kind::Unreadable;
    } else if (named.size() > 1) {
        verdict.kind = QueryVerdict::Kind::Several;
    } else if (named.empty()) {
        verdict.kind =
            others.empty() ? QueryVerdict::Kind::NoAnswer : QueryVerdict::Kind::OtherDevice;
    } else {
        verdict.kind = QueryVerdict::Kind::Answered;
        verdict.values = {named.front()->address, named.front()->mask, named.front()->gateway};
        verdict.interfaces = named.front()->interfaces;
    }
    return verdict;
}

bool Unanswered(const QueryVerdict& verdict) {
    return verdict.kind == QueryVerdict::Kind::NoAnswer ||
           verdict.kind == QueryVerdict::Kind::OtherDevice;
}

std::vector<std::string> AimAt(const EngineOptions& options, const std::string& interfaceName) {
    if (options.limitedBroadcast && !interfaceName.empty()) {
        return {interfaceName};
    }
    return options.interfaceLimit;
}

// A device's query during the survey, asked again while nothing answers it.
class QueryJob final : public Job {
public:
    // Where the verdict goes is found anew at the end: the list of devices grows while the
    // query runs.
    QueryJob(std::function<QueryVerdict&()> verdict, const std::string& mac,
             const std::string& interfaceName, const EngineOptions& options)
        : verdict_(std::move(verdict)), retries_(options.retries),
          aim_(AimAt(options, interfaceName)) {
        deviceMac = mac;
    }

    void Start() override { Send(); }
    void Ended() override {
        QueryVerdict verdict = JudgeQuery(deviceMac, answers, unreadable, tries_);
        if (Unanswered(verdict) && tries_ <= retries_) {
            Send();
            return;
        }
        verdict_() = std::move(verdict);
        done = true;
    }
    void SendFailed(const std::string&) override {
        verdict_() = JudgeQuery(deviceMac, {}, false, tries_);
        done = true;
    }

private:
    void Send() {
        ++tries_;
        Ask(Exchange::Query, BuildQueryRequest(deviceMac), aim_);
    }

    std::function<QueryVerdict&()> verdict_;
    int retries_;
    std::vector<std::string> aim_;
    int tries_ = 0;
};

// The rounds of discovery, which start each new device's query as it is first seen.
class DiscoveryJob final : public Job {
public:
    DiscoveryJob(const SurveyRequest& request, SurveyResult& result,
                 std::vector<std::unique_ptr<Job>>& jobs, const EngineOptions& options)
        : request_(request), result_(result), jobs_(jobs), options_(options) {}

    void Start() override {
        for (const auto& [mac, where] : request_.wanted) {
            jobs_.push_back(std::make_unique<QueryJob>(
                [this, row = mac]() -> QueryVerdict& { return result_.wanted[row]; }, mac, where,
                options_));
        }
        SendRound();
    }
    void Listened(const SiteArrival& arrival) override {
        using Kind = UnlistedReplies::Kind;
        if (ReplyIsSkipped(arrival.buffer)) {
            result_.unlisted.Count(arrival.count == 0 ? Kind::Empty : Kind::FirstByteZero,
                                   arrival.peer);
            return;
        }
        ReplyTexts texts;
        // One device's odd reply must not hide the devices that answer after it.
        if (WalkReplyItems(arrival.buffer, ReplyUse::MacAddresses, texts) == WalkOutcome::Abort) {
            result_.unlisted.Count(Kind::Unreadable, arrival.peer, texts.MacText);
        } else if (texts.MacText.empty()) {
            result_.unlisted.Count(Kind::WithoutMac, arrival.peer);
        } else {
            Note(texts.MacText, arrival.peer, arrival.interfaceName);
        }
    }
    void Ended() override {
        addedNone_ = added_ ? 0 : addedNone_ + 1;
        // A row's device that answered its query needs no discovery to be found.
        const bool allSeen =
            !request_.wanted.empty() && std::ranges::all_of(request_.wanted, [&](const auto& row) {
                const auto queried = result_.wanted.find(row.first);
                return (queried != result_.wanted.end() &&
                        queried->second.kind == QueryVerdict::Kind::Answered) ||
                       std::ranges::any_of(result_.devices, [&](const SurveyedDevice& d) {
                           return d.mac == row.first;
                       });
            });
        // Without a list, a round that adds nothing may only have lost the rest: two in a
        // row are asked for.
        const bool settled = request_.wanted.empty() && addedNone_ >= 2;
        if (allSeen || settled || round_ >= request_.rounds) {
            done = true;
            return;
        }
        SendRound();
    }
    void SendFailed(const std::string& message) override { throw Exception(message); }

private:
    void SendRound() {
        ++round_;
        result_.rounds = round_;
        added_ = false;
        Ask(Exchange::Listen, BuildDiscoveryRequest(), options_.interfaceLimit);
    }
    void Note(const std::string& macText, const std::string& address, const std::string& where) {
        auto known = std::ranges::find_if(result_.devices, [&](const SurveyedDevice& d) {
            return d.mac == macText && d.interfaceName == where;
        });
        if (known == result_.devices.end()) {
            added_ = true;
            result_.devices.push_back({macText, address, where, 0, round_, std::nullopt});
            known = result_.devices.end() - 1;
            if (request_.query && request_.wanted.empty()) {
                const std::size_t index = result_.devices.size() - 1;
                jobs_.push_back(std::make_unique<QueryJob>(
                    [this, index]() -> QueryVerdict& {
                        return result_.devices[index].query.emplace();
                    },
                    macText, where, options_));
            }
        }
        if (int& last = lastRoundOf_[known - result_.devices.begin()]; last != round_) {
            last = round_;
            ++known->roundsAnswered;
        }
    }

private:
    const SurveyRequest& request_;
    SurveyResult& result_;
    std::vector<std::unique_ptr<Job>>& jobs_;
    const EngineOptions& options_;
    std::map<std::ptrdiff_t, int> lastRoundOf_;
    int round_ = 0;
    int addedNone_ = 0;
    bool added_ = false;
};

// One row's write: the query of its selector, the set, what the device then holds, and
// with --restart the restart and the wait until it answers with the new settings.
class WriteJob final : public Job {
public:
    WriteJob(const WriteOrder& order, WriteVerdict& verdict, const EngineOptions& options,
             SiteTransport& transport, WriteLog* log)
        : order_(order), verdict_(verdict), options_(options), transport_(transport), log_(log),
          aim_(AimAt(options, order.interfaceName)) {
        deviceMac = order.mac;
    }

    void Start() override {
        if (order_.known && order_.known->kind == QueryVerdict::Kind::Answered) {
            return Probed(*order_.known);
        }
        Query(Phase::Probe);
    }
    void Skip() override {
        verdict_.reason = Tr("not written: interrupted");
        done = true;
    }
    void SendFailed(const std::string& message) override {
        if (exchange == Exchange::Set || exchange == Exchange::Drain) {
            // The request may have left all the same.
            Record(exchange == Exchange::Set ? WriteKind::Set : WriteKind::Restart,
                   WriteOutcome::Error, message);
        }
        Fail(message);
    }

    void Ended() override {
        switch (phase_) {
        case Phase::Probe:
            return Probed(JudgeQuery(order_.mac, answers, unreadable, tries_));
        case Phase::Set:
            return SetEnded();
        case Phase::Verify:
            return Verified(JudgeQuery(order_.mac, answers, unreadable, tries_));
        case Phase::Drain:
            Record(WriteKind::Restart, WriteOutcome::Sent);
            settleUntil_ = sentAt + order_.settle;
            return Query(Phase::Settle, sentAt + SettleSpacing);
        case Phase::Settle:
            return Settled(JudgeQuery(order_.mac, answers, unreadable, tries_));
        }
    }

private:
    enum class Phase { Probe, Set, Verify, Drain, Settle };

    void Query(Phase phase, SiteClock::time_point notBefore = {}) {
        tries_ = phase == phase_ ? tries_ + 1 : 1;
        phase_ = phase;
        Ask(Exchange::Query, BuildQueryRequest(order_.mac), setAim_.value_or(aim_), notBefore);
    }
    void Fail(std::string reason) {
        verdict_.reason = std::move(reason);
        done = true;
    }
    // A write would reach every device that answers to the same last six digits.
    void Refuse(const QueryVerdict& found) {
        verdict_.refused = true;
        // TRANSLATORS: %1 is a count, %2 six hex digits, %3 a list of "MAC at ADDRESS".
        Fail(Format(TrN("%1 device answers to the last six digits %2: %3; nothing was sent",
                        "%1 devices answer to the last six digits %2: %3; nothing was sent",
                        found.devices.size()),
                    found.devices.size(), DeviceSelectorOf(order_.mac), Joined(found.devices)));
    }
    void Finish() {
        verdict_.changed = true;
        done = true;
    }

    void Probed(const QueryVerdict& found) {
        using Kind = QueryVerdict::Kind;
        if (Unanswered(found) && tries_ <= options_.retries) {
            return Query(Phase::Probe);
        }
        switch (found.kind) {
        case Kind::NoAnswer:
            // TRANSLATORS: %1 is the MAC address, %2 the number of queries sent (one or more).
            return Fail(Format(Tr("no device answered the query for %1 in %2 tries; nothing was "
                                  "sent"),
                               order_.mac, tries_));
        case Kind::OtherDevice:
            // TRANSLATORS: %1 is the MAC address asked for, %2 a list of "MAC at ADDRESS".
            return Fail(Format(Tr("no device answered for %1; %2 answered to its last six digits; "
                                  "nothing was sent"),
                               order_.mac, Joined(found.devices)));
        case Kind::Several:
            return Refuse(found);
        case Kind::Unreadable:
            return Fail(Tr("the device's reply could not be read; nothing was sent"));
        case Kind::Answered:
            break;
        }
        if (found.shared) {
            return Refuse(found);
        }
        verdict_.before = found.values;
        held_ = found.values;
        // The set leaves only where its device answered.
        if (options_.limitedBroadcast && !found.interfaces.empty()) {
            setAim_ = found.interfaces;
        }
        SendSet();
    }

    void SendSet() {
        phase_ = Phase::Set;
        ++sets_;
        verdict_.sent = true;
        Ask(Exchange::Set,
            BuildSetRequest(order_.mac, order_.wanted.address, order_.wanted.mask,
                            order_.wanted.gateway),
            setAim_.value_or(aim_));
    }

    void SetEnded() {
        Record(WriteKind::Set, setReply
                                   ? (Holds(*setReply, order_.wanted) ? WriteOutcome::Updated
                                                                      : WriteOutcome::NotUpdated)
                               : unreadable ? WriteOutcome::UnreadableReply
                                            : WriteOutcome::NoReply);
        if (setReply && Holds(*setReply, order_.wanted)) {
            return Took();
        }
        // A device may take the new values and answer from its old address, or report
        // them otherwise than it holds them: what a query then finds decides.
        if (setReply) {
            held_ = *setReply;
            setReported_ = *setReply;
            return Query(Phase::Verify);
        }
        // Its reply, or the set itself, was lost: what the device holds tells which.
        Query(Phase::Verify);
    }

    void Verified(const QueryVerdict& found) {
        using Kind = QueryVerdict::Kind;
        if (found.kind == Kind::Answered) {
            held_ = found.values;
            if (Holds(found.values, order_.wanted)) {
                return Took();
            }
            // It answered the set: sent again, it would answer the same.
            if (setReported_) {
                // TRANSLATORS: %1 and %2 are settings, as "198.18.0.5/255.255.0.0 gw 198.18.0.1".
                return Fail(Format(Tr("set: not updated: it reports %1, and a query after it finds "
                                      "%2"),
                                   ValuesText(*setReported_), ValuesText(found.values)));
            }
            if (verdict_.before && Holds(found.values, *verdict_.before) &&
                sets_ <= options_.retries) {
                return SendSet();
            }
            return Fail(Format(TrN("set: not updated: it holds %2 after %1 set",
                                   "set: not updated: it holds %2 after %1 sets",
                                   static_cast<std::uint64_t>(sets_)),
                               sets_, ValuesText(found.values)));
        }
        if (Unanswered(found) && tries_ <= options_.retries) {
            return Query(Phase::Verify);
        }
        if (found.kind == Kind::Several) {
            return Fail(Format(TrN("set sent; then %1 device answered to its last six digits: %2",
                                   "set sent; then %1 devices answered to its last six digits: %2",
                                   found.devices.size()),
                               found.devices.size(), Joined(found.devices)));
        }
        if (setReported_) {
            return Fail(
                Format(Tr("set: not updated: it reports %1; no query after it was answered"),
                       ValuesText(*setReported_)));
        }
        // TRANSLATORS: %1 is the number of queries sent (one or more).
        Fail(Format(Tr("set sent; neither its reply nor an answer to %1 queries came back, so "
                       "what it holds is not known"),
                    tries_));
    }

    void Took() {
        verdict_.took = true;
        if (!order_.restart) {
            return Finish();
        }
        phase_ = Phase::Drain;
        const auto& w = order_.wanted;
        Ask(Exchange::Drain, BuildRestartRequest(order_.mac, w.address, w.mask, w.gateway),
            setAim_.value_or(aim_));
    }

    void Settled(const QueryVerdict& found) {
        if (found.kind == QueryVerdict::Kind::Answered) {
            held_ = found.values;
            if (Holds(found.values, order_.wanted)) {
                return Finish();
            }
        }
        if (sentAt < settleUntil_) {
            return Query(Phase::Settle, sentAt + SettleSpacing);
        }
        const auto waited = order_.settle.count();
        if (found.kind == QueryVerdict::Kind::Answered) {
            // TRANSLATORS: %1 is a number of seconds, %2 settings, as
            // "198.18.0.5/255.255.0.0 gw 198.18.0.1".
            return Fail(Format(Tr("restarted, but after %1 s it answers with %2"), waited,
                               ValuesText(found.values)));
        }
        Fail(Format(Tr("restarted, but it did not answer with %1 within %2 s"),
                    ValuesText(order_.wanted), waited));
    }

    void Record(WriteKind kind, WriteOutcome outcome, std::string error = {}) {
        if (log_ == nullptr) {
            return;
        }
        WriteRecord record;
        record.kind = kind;
        record.user = RealUserName();
        record.sudoUser = SudoUserName();
        record.mac = order_.mac;
        const auto aim = setAim_.value_or(aim_);
        if (options_.limitedBroadcast) {
            record.interfaces = aim.empty() ? transport_.BroadcastInterfaces() : aim;
        }
        record.old = held_;
        record.requested = order_.wanted;
        record.reply = kind == WriteKind::Set ? setReply : std::nullopt;
        record.outcome = outcome;
        record.error = std::move(error);
        log_->Record(record);
        // What it holds from now on is known only from a set's reply.
        held_ = record.reply;
    }

    const WriteOrder& order_;
    WriteVerdict& verdict_;
    const EngineOptions& options_;
    SiteTransport& transport_;
    WriteLog* log_;
    std::vector<std::string> aim_;
    std::optional<std::vector<std::string>> setAim_;
    std::optional<AddressValues> held_;
    std::optional<AddressValues> setReported_; // a reply to the set that held other values
    SiteClock::time_point settleUntil_{};
    Phase phase_ = Phase::Probe;
    int tries_ = 0;
    int sets_ = 0;
};

} // namespace

SiteEngine::SiteEngine(SiteTransport& transport, EngineOptions options, WriteLog* log)
    : transport_(transport), options_(std::move(options)), log_(log) {
    options_.parallel = std::max<std::size_t>(options_.parallel, 1);
    if (transport_.OneSocket()) {
        options_.parallel = 1;
    }
}

SiteEngine::~SiteEngine() = default;

SurveyResult SiteEngine::Survey(const SurveyRequest& request) {
    SurveyResult result;
    std::vector<std::unique_ptr<Job>> jobs;
    jobs.push_back(std::make_unique<DiscoveryJob>(request, result, jobs, options_));
    Run(jobs, {});
    for (const auto& device : result.devices) {
        if (device.roundsAnswered < result.rounds - device.firstRound + 1 ||
            device.firstRound > 1) {
            ++result.missedSome;
        }
    }
    return result;
}

std::vector<WriteVerdict> SiteEngine::Write(const std::vector<WriteOrder>& orders,
                                            const std::function<bool()>& interrupted) {
    std::vector<WriteVerdict> verdicts(orders.size());
    std::vector<std::unique_ptr<Job>> jobs;
    for (std::size_t i = 0; i < orders.size(); ++i) {
        jobs.push_back(
            std::make_unique<WriteJob>(orders[i], verdicts[i], options_, transport_, log_));
    }
    Run(jobs, interrupted);
    return verdicts;
}

void SiteEngine::Deliver(Job& job, const SiteArrival& arrival) {
    const auto now = transport_.Now();
    job.cutShort = ++job.arrivals >= ArrivalLimit;
    switch (job.exchange) {
    case Job::Exchange::Listen:
        job.Listened(arrival);
        job.deadline = now + options_.timeout;
        return;
    case Job::Exchange::Drain:
        job.deadline = now + options_.timeout;
        return;
    case Job::Exchange::Query:
    case Job::Exchange::Set:
        break;
    }
    const bool query = job.exchange == Job::Exchange::Query;
    if (query) {
        // An empty datagram, or one that is not read, is an arrival all the same: a twin
        // may answer after it.
        job.deadline = now + options_.timeout;
    }
    if (ReplyIsSkipped(arrival.buffer)) {
        return;
    }
    ReplyTexts macTexts;
    WalkReplyItems(arrival.buffer, ReplyUse::MacAddresses, macTexts);
    if (!query && !macTexts.MacText.empty() && macTexts.MacText != job.deviceMac) {
        return; // another device's, which took the set as well: the query before it tells
    }
    QueryAnswers::Device& device =
        job.answers.Note(arrival.peer, macTexts.MacText, arrival.interfaceName);
    ReplyTexts texts;
    if (WalkReplyItems(arrival.buffer, ReplyUse::Settings, texts) == WalkOutcome::Abort) {
        // As the query command ends at a reply it cannot read.
        job.unreadable = true;
        job.deadline = now;
        return;
    }
    const AddressValues values{arrival.peer, FinishAddressText(texts.MaskText),
                               FinishAddressText(texts.GatewayText)};
    device.mask = values.mask;
    device.gateway = values.gateway;
    device.read = true;
    if (!query) {
        job.setReply = values;
    }
}

void SiteEngine::Run(std::vector<std::unique_ptr<Job>>& jobs,
                     const std::function<bool()>& interrupted) {
    std::unordered_map<std::size_t, Job*> owner;
    std::multiset<std::string> selectorsHeld;
    std::size_t running = 0;
    bool stopped = false;
    const auto release = [&](Job& job) {
        if (const auto selector = job.Selector(); !selector.empty()) {
            selectorsHeld.erase(selectorsHeld.find(selector));
        }
        --running;
    };
    const auto endExchange = [&](Job& job) {
        transport_.Retire(*job.socket);
        job.socket.reset();
        job.Ended();
        if (job.done) {
            release(job);
        }
    };
    // A discovery adds jobs as it runs: they are walked by index.
    while (true) {
        stopped = stopped || (interrupted && interrupted());
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            Job& job = *jobs[i];
            if (job.started || job.done) {
                continue;
            }
            if (stopped) {
                job.Skip();
                continue;
            }
            const std::string selector = job.Selector();
            if (running >= options_.parallel ||
                (!selector.empty() && selectorsHeld.contains(selector))) {
                continue;
            }
            job.started = true;
            ++running;
            if (!selector.empty()) {
                selectorsHeld.insert(selector);
            }
            job.Start();
        }
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            Job& job = *jobs[i];
            const auto now = transport_.Now();
            if (job.done || !job.next || job.next->notBefore > now || now < nextSend_) {
                continue;
            }
            Send(job, owner);
            if (job.done) {
                release(job);
            }
        }
        if (std::ranges::all_of(jobs, [](const auto& job) { return job->done; })) {
            break;
        }
        auto until = SiteClock::time_point::max();
        for (const auto& job : jobs) {
            if (job->socket) {
                until = std::min(until, job->deadline);
            } else if (job->next && !job->done) {
                until = std::min(until, std::max(job->next->notBefore, nextSend_));
            }
        }
        if (const auto arrival = transport_.Wait(until)) {
            const auto found = owner.find(arrival->socket);
            Job* job = found == owner.end() ? nullptr : found->second;
            // A reply to a request already answered or given up, come late.
            if (job == nullptr || job->socket != arrival->socket) {
                ++late_;
            } else {
                Deliver(*job, *arrival);
                if (job->exchange == Job::Exchange::Set && (job->setReply || job->unreadable)) {
                    endExchange(*job);
                }
            }
        }
        const auto now = transport_.Now();
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            Job& job = *jobs[i];
            if (job.socket && (job.deadline <= now || job.cutShort)) {
                cutShort_ += job.cutShort ? 1 : 0;
                job.cutShort = false;
                endExchange(job);
            }
        }
    }
    transport_.CloseAll();
}

void SiteEngine::Send(Job& job, std::unordered_map<std::size_t, Job*>& owner) {
    Job::Request request = std::move(*job.next);
    job.next.reset();
    const auto now = transport_.Now();
    const std::size_t socket = transport_.Open(
        request.exchange == Job::Exchange::Listen ? SocketUse::Discovery : SocketUse::Exchange);
    owner[socket] = &job;
    job.exchange = request.exchange;
    job.answers.Start(job.deviceMac);
    job.unreadable = false;
    job.setReply.reset();
    job.arrivals = 0;
    job.sentAt = now;
    job.deadline = now + options_.timeout;
    nextSend_ = now + options_.pace;
    try {
        transport_.Send(socket, request.bytes, request.aim);
    } catch (const Exception& error) {
        transport_.Retire(socket);
        job.SendFailed(error.Message());
        return;
    }
    job.socket = socket;
}

} // namespace tcpipset
