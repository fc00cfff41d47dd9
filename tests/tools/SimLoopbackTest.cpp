// The simulator's real socket path on the loopback interface: no namespace, no root.
#include "tests/tools/UdpProbe.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tcpipset::testing {
namespace {

using namespace std::chrono_literals;

// A tcpipsim process for the life of the object; it is stopped on every way out.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        const std::string dir = ::testing::TempDir();
        readyFile_ = dir + "tcpipsim-loopback-" + std::to_string(::getpid()) + ".ready";
        log_ = dir + "tcpipsim-loopback-" + std::to_string(::getpid()) + ".log";
        std::remove(readyFile_.c_str());
        std::remove(log_.c_str());
        args.insert(args.begin(), {TCPIPSIM_BINARY, "--bind", "127.0.0.1", "--port", "0",
                                   "--ready-file", readyFile_, "--log", log_, "--log-replies"});
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
            return;
        }
        for (int i = 0; i < 200 && port_ == 0; ++i) {
            std::ifstream in(readyFile_);
            in >> port_;
            if (port_ == 0) {
                std::this_thread::sleep_for(20ms);
            }
        }
    }
    ~SimProcess() {
        Stop();
        std::remove(readyFile_.c_str());
        std::remove(log_.c_str());
    }
    // SIGTERM, then the wait status; -1 if it had not ended after five seconds and was
    // killed.
    int Stop() {
        int status = -1;
        for (int i = 0; pid_ > 0 && i < 250; ++i) {
            if (i == 0) {
                ::kill(pid_, SIGTERM);
            }
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return status;
            }
            std::this_thread::sleep_for(20ms);
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        return -1;
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    std::uint16_t Port() const { return port_; }
    const std::string& Log() const { return log_; }

private:
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
    std::string readyFile_;
    std::string log_;
};

TEST(SimOnLoopback, EachDeviceAnswersFromItsOwnAddressAndMovesOnASet) {
    SimProcess sim({"--device", "020000000001 127.0.0.11 255.0.0.0 127.0.0.1", "--device",
                    "020000000002 127.0.0.12 255.0.0.0 127.0.0.1"});
    ASSERT_NE(sim.Port(), 0) << "tcpipsim did not start";
    UdpProbe probe("127.0.0.1");
    probe.Send(DiscoveryRequest(), "127.0.0.1", sim.Port());
    const auto replies = probe.ReceiveUntilQuiet(300ms, 3s);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].from, "127.0.0.11");
    EXPECT_EQ(replies[1].from, "127.0.0.12");
    EXPECT_EQ(replies[0].port, sim.Port());

    probe.Send(SetRequest("000002", "127.0.0.020", {255, 255, 0, 0}, {127, 0, 0, 2}, false),
               "127.0.0.1", sim.Port());
    const auto set = probe.Receive(2s);
    ASSERT_TRUE(set);
    EXPECT_EQ(set->from, "127.0.0.20");
    EXPECT_EQ(Hex(set->bytes), "50544E30303030303249"
                               "0104FFFF0000"
                               "0204"
                               "7F000002"
                               "0A06020000000002"
                               "FF");
}

TEST(SimOnLoopback, NoReplyLeavesForAnAddressOutsideTheTestRanges) {
    SimProcess sim({"--device", "020000000001 192.0.2.1 255.255.255.0 192.0.2.254"});
    ASSERT_NE(sim.Port(), 0) << "tcpipsim did not start";
    UdpProbe probe("127.0.0.1");
    probe.Send(QueryRequest("000001"), "127.0.0.1", sim.Port());
    EXPECT_FALSE(probe.Receive(300ms));
    const auto refused = LogLines(sim.Log(), " tx-failed from=192.0.2.1 ", 1, 2s);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(refused[0].find("error=outside-test-ranges"), std::string::npos) << refused[0];
}

TEST(SimOnLoopback, BurstSendsEveryReplyAtOnceInDeviceOrder) {
    // Spaced 100 ms apart, as without --burst, the replies would take 20 s.
    SimProcess sim({"--burst", "--spacing-us", "100000", "--count", "200", "--first-ip",
                    "127.0.1.1", "--mask", "255.0.0.0", "--gateway", "127.0.0.1"});
    ASSERT_NE(sim.Port(), 0) << "tcpipsim did not start";
    UdpProbe probe("127.0.0.1");
    probe.Send(DiscoveryRequest(), "127.0.0.1", sim.Port());
    const auto replies = probe.ReceiveUntilQuiet(300ms, 5s);
    ASSERT_EQ(replies.size(), 200u);
    for (std::size_t i = 0; i < replies.size(); ++i) {
        const std::string n = Hex({static_cast<std::uint8_t>(i + 1)});
        EXPECT_EQ(replies[i].from, "127.0.1." + std::to_string(i + 1));
        EXPECT_EQ(Hex(replies[i].bytes),
                  Hex({'P', 'T', 'N', '0', '0', '0', '0', static_cast<std::uint8_t>(n[0]),
                       static_cast<std::uint8_t>(n[1]), 'J'}) +
                      "0104FF000000"
                      "02047F000001"
                      "0A060200000000" +
                      n + "FF");
    }
    EXPECT_EQ(LogLines(sim.Log(), " tx from=", 200, 2s).size(), 200u);
}

TEST(SimOnLoopback, FloodSendsJunkAfterTheRepliesUntilStoppedAndStillAnswers) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* junkFrom;
        std::size_t replies;
    };
    const std::vector<Case> cases = {
        // Back to back, from the first device, since the request went to no device.
        {"batches",
         {"--burst", "--flood-on", "discovery", "--flood-us", "0", "--count", "3", "--first-ip",
          "127.0.1.1", "--mask", "255.0.0.0", "--gateway", "127.0.0.1"},
         "127.0.1.1",
         3},
        // Spaced, from the second device, to which the request went.
        {"spaced",
         {"--flood-on", "any", "--flood-us", "500", "--device",
          "020000000001 127.0.1.1 255.0.0.0 127.0.0.1", "--device",
          "020000000002 127.0.0.1 255.0.0.0 127.0.0.1"},
         "127.0.0.1",
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimProcess sim(c.args);
        ASSERT_NE(sim.Port(), 0) << "tcpipsim did not start";
        UdpProbe probe("127.0.0.1");
        probe.Send(DiscoveryRequest(), "127.0.0.1", sim.Port());
        std::size_t replies = 0;
        std::size_t junkAfterReplies = 0;
        std::size_t others = 0;
        for (const auto end = TestClock::now() + 1s; TestClock::now() < end;) {
            const auto d = probe.Receive(200ms);
            if (!d) {
                break;
            }
            if (d->bytes.size() == 10 && d->bytes[0] == 0 && d->from == c.junkFrom) {
                ++junkAfterReplies;
            } else if (!d->bytes.empty() && d->bytes[0] == 'P') {
                ++replies;
                junkAfterReplies = 0;
            } else {
                ++others;
            }
        }
        EXPECT_EQ(replies, c.replies);
        EXPECT_GE(junkAfterReplies, 100u);
        EXPECT_EQ(others, 0u);

        // Another workstation is answered meanwhile and starts no second flood.
        UdpProbe other("127.0.0.1");
        other.Send(DiscoveryRequest(), "127.0.0.1", sim.Port());
        EXPECT_EQ(other.ReceiveUntilQuiet(300ms, 3s).size(), c.replies);

        const int status = sim.Stop();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        probe.ReceiveUntilQuiet(100ms, 5s);
        EXPECT_FALSE(probe.Receive(300ms)) << "junk after the stop";
        const std::string to = " to=127.0.0.1:" + std::to_string(probe.LocalPort());
        const auto lines = LogLines(sim.Log(), " flood", 2, 0ms);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_NE(lines[0].find(" flood" + to + " from=" + c.junkFrom + " "), std::string::npos)
            << lines[0];
        EXPECT_NE(lines[1].find(" flood-end" + to + " sent="), std::string::npos) << lines[1];
    }
}

TEST(SimOnLoopback, BadCommandLineStopsWithStatus2) {
    for (const char* option : {"--count=x", "--bogus", "--faults=nonsense"}) {
        pid_t pid = -1;
        std::string binary = TCPIPSIM_BINARY;
        std::string arg = option;
        char* argv[] = {binary.data(), arg.data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        ASSERT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << option;
    }
}

} // namespace
} // namespace tcpipset::testing
