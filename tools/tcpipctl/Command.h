#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace tcpipset {

enum class Verb { Discover, Query, Set, Restart, Doctor, Export, Apply };

struct Command {
    Verb verb = Verb::Discover;
    std::string mac; // normalised
    std::string ip, mask, gateway;
    std::string broadcast = "255.255.255.255";
    std::int32_t port = 5001;
    std::int32_t timeoutMs = 1000;
    // Interfaces the limited broadcast may leave on; empty: every one that can carry it.
    std::vector<std::string> interfaces;
    // Bytes of receive buffer asked for; 0 leaves the system's default, -1 asks for the
    // endpoint's own.
    std::int32_t receiveBuffer = -1;
    // The local port to bind the socket to; 0 lets the system pick one.
    std::uint16_t localPort = 0;
    bool json = false;
    bool longListing = false; // discover: address and interface beside each line
    bool yes = false;
    // restart without --ip, --mask and --gateway: the values that the device reports.
    bool restartWithQueried = false;
    // restart --wait: how long to wait for the device to answer a query again.
    std::optional<int> waitSeconds;
    // export and apply: discoveries to run at most until every device has been seen.
    int rounds = 3;
    std::string format = "csv"; // export: csv or json
    std::string inventoryFile;  // apply
    bool check = false;         // apply: plan only, write nothing
    bool diff = false;          // apply: the settings before and after of each change
    bool restartAfterApply = false;
    int settleSeconds = 10; // apply --restart: how long a device may take to answer
    // export and apply: exchanges in flight at most, and further tries of a request that
    // nothing answered.
    int parallel = 64;
    int retries = 3;
};

// Exit statuses of the command.
inline constexpr int ExitSuccess = 0;
inline constexpr int ExitNoResult = 1; // no answer, not updated, or an unreadable reply
inline constexpr int ExitUsage = 2;    // bad usage, or an address that the rules refuse
inline constexpr int ExitFailure = 3;  // a socket error or another failure

class TIdUDPClient;

// Sets the endpoint up as the command asks: destination, time-out, receive buffer, port.
void ApplyToClient(const Command& command, TIdUDPClient& client);

// Runs one command through the window's operations and writes its results.
int RunCommand(const Command& command, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace tcpipset
