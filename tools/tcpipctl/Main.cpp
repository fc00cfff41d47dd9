#include "tools/tcpipctl/Command.h"
#include "tools/tcpipctl/MacArgument.h"
#include "tools/tcpipctl/Output.h"
#include "transport/MainThread.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <string_view>
#include <unistd.h>

namespace {

using tcpipset::Command;
using tcpipset::Verb;

void AddAddressOptions(CLI::App& sub, Command& command) {
    sub.add_option("--ip", command.ip, "new IP address")->required();
    sub.add_option("--mask", command.mask, "new subnet mask")->required();
    sub.add_option("--gateway", command.gateway, "new gateway address")->required();
    sub.add_flag("--yes,-y", command.yes, "do not ask for confirmation");
}

// A command line that CLI11 refused may not have reached --json; a script that asked for
// JSON still gets its error as JSON.
bool AsksForJson(int argc, char** argv) {
    return std::any_of(argv + 1, argv + argc,
                       [](const char* argument) { return std::string_view(argument) == "--json"; });
}

} // namespace

int main(int argc, char** argv) {
    tcpipset::RecordMainThread();
    Command command;
    std::string mac;
    CLI::App app{"Sets the TCP/IP address of network print servers on the local segment."};
    app.name("tcpipctl");
    app.set_version_flag("--version", "1.0.0.2");
    app.require_subcommand(1);
    app.fallthrough();
    app.add_option("--broadcast", command.broadcast,
                   "address the requests go to (default 255.255.255.255)");
    app.add_option("--port", command.port, "UDP port of the print servers (default 5001)")
        ->check(CLI::Range(1, 65535));
    app.add_option("--timeout", command.timeoutMs, "receive time-out in ms (default 1000)")
        ->check(CLI::Range(0, 3600000));
    app.add_flag("--json", command.json, "write the results as JSON");
    app.add_option("--receive-buffer", command.receiveBuffer,
                   "receive buffer to ask for, in bytes (4194304); 0 leaves the system's default")
        ->check(CLI::Range(0, 1 << 30));
    app.add_option("--local-port", command.localPort,
                   "bind the socket to this local port, so a firewall rule can name it")
        ->check(CLI::Range(1, 65535));
    app.add_option("--interface", command.interfaces,
                   "send the limited broadcast only out of this interface (repeatable)")
        ->allow_extra_args(false);

    auto* discover = app.add_subcommand("discover", "list the MAC address of every print server");
    discover->add_flag("--long,-l", command.longListing,
                       "also the address each reply came from and its interface");
    auto* query = app.add_subcommand("query", "show a print server's IP address, mask, gateway");
    auto* set = app.add_subcommand("set", "write a new IP address, mask and gateway");
    auto* restart = app.add_subcommand("restart", "write the settings and restart the device");
    auto* doctor = app.add_subcommand("doctor", "tell what may keep the devices' replies out");
    for (auto* sub : {query, set, restart}) {
        sub->add_option("MAC", mac, "MAC address: 12 hex digits, ':' or '-' between bytes")
            ->required();
    }
    AddAddressOptions(*set, command);
    AddAddressOptions(*restart, command);

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app.exit(done);
    } catch (const CLI::ParseError& error) {
        app.exit(error);
        if (AsksForJson(argc, argv)) {
            tcpipset::WriteJsonError(error.what(), std::cout);
        }
        return tcpipset::ExitUsage;
    }

    command.verb = discover->parsed() ? Verb::Discover
                   : query->parsed()  ? Verb::Query
                   : set->parsed()    ? Verb::Set
                   : doctor->parsed() ? Verb::Doctor
                                      : Verb::Restart;
    if (command.verb != Verb::Discover && command.verb != Verb::Doctor) {
        const auto normalised = tcpipset::NormaliseMacArgument(mac);
        if (!normalised) {
            return tcpipset::ReportError("tcpipctl: not a MAC address: " + mac, tcpipset::ExitUsage,
                                         command.json, std::cout, std::cerr);
        }
        command.mac = *normalised;
    }
    const bool changes = command.verb == Verb::Set || command.verb == Verb::Restart;
    if (changes && !command.yes && isatty(STDIN_FILENO) == 0) {
        return tcpipset::ReportError(
            "tcpipctl: standard input is not a terminal: give --yes to confirm",
            tcpipset::ExitUsage, command.json, std::cout, std::cerr);
    }
    return tcpipset::RunCommand(command, std::cin, std::cout, std::cerr);
}
