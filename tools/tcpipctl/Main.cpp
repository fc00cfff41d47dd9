#include "i18n/Catalogue.h"
#include "i18n/Translate.h"
#include "tools/tcpipctl/AddressOptions.h"
#include "tools/tcpipctl/Command.h"
#include "tools/tcpipctl/MacArgument.h"
#include "tools/tcpipctl/Output.h"
#include "transport/MainThread.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using tcpipset::Command;
using tcpipset::Verb;
using tcpipset::i18n::Format;
using tcpipset::i18n::Tr;

constexpr int DefaultWaitSeconds = 10;
constexpr int MaxWaitSeconds = 3600;
constexpr const char* WaitOption = "--wait";

// A command's --help lists the options that every command takes as well: they may stand
// after the command, and its help is where a reader of that command looks.
class HelpWithGlobalOptions : public CLI::Formatter {
public:
    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override {
        std::string help = CLI::Formatter::make_help(app, std::move(name), mode);
        const CLI::App* parent = app->get_parent();
        if (parent == nullptr || mode != CLI::AppFormatMode::Normal) {
            return help;
        }
        const auto global = parent->get_options([parent](const CLI::Option* option) {
            return option->nonpositional() && option != parent->get_help_ptr() &&
                   option != parent->get_version_ptr();
        });
        // One blank line between the groups and after the last, as within the help.
        help.erase(help.find_last_not_of('\n') + 1);
        return help + "\n" + make_group(Tr("Global options"), false, global) + "\n";
    }
};

// Every message of the parser names the program, as the other errors do, for a reader of a
// script's log.
std::string ParseErrorText(const CLI::Error& error) {
    return std::string("tcpipctl: ") + error.what();
}

using AddressOptionSet = std::array<CLI::Option*, 3>;

AddressOptionSet AddAddressOptions(CLI::App& sub, Command& command) {
    sub.add_flag("--yes,-y", command.yes, Tr("do not ask for confirmation"));
    return {sub.add_option("--ip", command.ip, Tr("new IP address"))->type_name("ADDRESS"),
            sub.add_option("--mask", command.mask, Tr("new subnet mask"))->type_name("MASK"),
            sub.add_option("--gateway", command.gateway, Tr("new gateway address"))
                ->type_name("ADDRESS")};
}

std::size_t CountGiven(const AddressOptionSet& options) {
    return static_cast<std::size_t>(std::ranges::count_if(
        options, [](const CLI::Option* option) { return option->count() != 0; }));
}

bool AllDigits(std::string_view word) {
    return !word.empty() && std::ranges::all_of(word, [](char c) { return c >= '0' && c <= '9'; });
}

// --wait takes an optional number of seconds, and the parser would take the word after it
// for that number even when it is the MAC or an option: a --wait not followed by a number
// gets its default here. A MAC of twelve decimal digits stays the MAC. Only restart takes
// --wait; elsewhere it is left as typed for the parser's message.
std::vector<std::string> WithWaitDefault(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
    bool afterRestart = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        afterRestart = afterRestart || args[i] == "restart";
        const bool numberFollows = i + 1 < args.size() && AllDigits(args[i + 1]) &&
                                   !tcpipset::NormaliseMacArgument(args[i + 1]);
        if (afterRestart && args[i] == WaitOption && !numberFollows) {
            args[i] = std::string(WaitOption) + "=" + std::to_string(DefaultWaitSeconds);
        }
    }
    return args;
}

// A command line that CLI11 refused may not have reached --json; a script that asked for
// JSON still gets its error as JSON.
bool AsksForJson(int argc, char** argv) {
    return std::any_of(argv + 1, argv + argc,
                       [](const char* argument) { return std::string_view(argument) == "--json"; });
}

// The help shows what an option takes in words, not the parser's type and range: the
// range is in the option's own text.
CLI::Option* Takes(CLI::Option* option, const char* what) {
    return option->type_name(what);
}
CLI::Option* TakesInRange(CLI::Option* option, const char* what, int low, int high) {
    return Takes(option, what)->check(CLI::Range(low, high).description(""));
}

constexpr std::array Commands{"discover", "query", "set", "restart", "doctor", "export", "apply"};

// The first word that is neither an option nor the value of a global option: the command.
// A mistyped one is named, with the commands there are, rather than left to the parser's
// "not expected".
std::optional<std::string> UnknownCommand(const std::vector<std::string>& args) {
    static const std::array TakeValues{"--broadcast",      "--port",       "--timeout",
                                       "--receive-buffer", "--local-port", "--interface"};
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word == "--") {
            return std::nullopt;
        }
        if (word.starts_with("-")) {
            i += std::ranges::find(TakeValues, word) != TakeValues.end() ? 1U : 0U;
            continue;
        }
        if (std::ranges::find(Commands, word) == Commands.end()) {
            return word;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

// The words of the help's frame, in the reader's language: CLI11 writes its own only
// through these labels.
void LabelHelp(CLI::Formatter& formatter) {
    // TRANSLATORS: the headings and words of --help around the options and commands.
    formatter.label("Usage", Tr("Usage"));
    formatter.label("OPTIONS", Tr("OPTIONS"));
    formatter.label("SUBCOMMAND", Tr("SUBCOMMAND"));
    formatter.label("REQUIRED", Tr("REQUIRED"));
    formatter.label("Positionals", Tr("Positionals"));
}

int Refuse(const std::string& message, const Command& command) {
    return tcpipset::ReportError(message, tcpipset::ExitUsage, command.json, std::cout, std::cerr);
}

} // namespace

int main(int argc, char** argv) {
    tcpipset::i18n::UseEnvironmentLanguage();
    tcpipset::RecordMainThread();
    Command command;
    std::string mac;
    int waitSeconds = DefaultWaitSeconds;
    CLI::App app{Tr("Sets the TCP/IP address of network print servers on the local segment.")};
    app.name("tcpipctl");
    // Set before the options and the commands are added, which take them over from the
    // application: the formatter, the failure message, the help's groups and its flag.
    const auto formatter = std::make_shared<HelpWithGlobalOptions>();
    LabelHelp(*formatter);
    app.formatter(formatter);
    app.failure_message([](const CLI::App*, const CLI::Error& error) {
        return ParseErrorText(error) + "\n" + Tr("Run with --help for more information.") + "\n";
    });
    app.option_defaults()->group(Tr("Options"));
    app.group(Tr("Subcommands"));
    app.set_help_flag("-h,--help", Tr("Print this help message and exit"));
    app.set_version_flag("--version", "1.0.0.2",
                         Tr("Display program version information and exit"));
    app.require_subcommand(1);
    app.fallthrough();
    Takes(app.add_option("--broadcast", command.broadcast,
                         Tr("IPv4 address the requests go to (default 255.255.255.255)")),
          "ADDRESS");
    TakesInRange(app.add_option("--port", command.port,
                                Tr("UDP port of the print servers, 1 to 65535 (default 5001)")),
                 "PORT", 1, 65535);
    TakesInRange(app.add_option("--timeout", command.timeoutMs,
                                Tr("receive time-out in ms, 0 to 3600000 (default 1000)")),
                 "MS", 0, 3600000);
    app.add_flag("--json", command.json, Tr("write the results as JSON"));
    TakesInRange(
        app.add_option("--receive-buffer", command.receiveBuffer,
                       Tr("receive buffer to ask for, 0 to 1073741824 bytes (4194304); 0 leaves "
                          "the system's default")),
        "BYTES", 0, 1 << 30);
    TakesInRange(
        app.add_option("--local-port", command.localPort,
                       Tr("bind the socket to this local port, 1 to 65535, so a firewall rule "
                          "can name it")),
        "PORT", 1, 65535);
    Takes(app.add_option("--interface", command.interfaces,
                         Tr("send the limited broadcast only out of this interface (repeatable)")),
          "NAME")
        ->allow_extra_args(false);

    auto* discover =
        app.add_subcommand("discover", Tr("list the MAC address of every print server"));
    discover->add_flag("--long,-l", command.longListing,
                       Tr("also the address each reply came from and its interface"));
    auto* query =
        app.add_subcommand("query", Tr("show a print server's IP address, mask, gateway"));
    auto* set = app.add_subcommand("set", Tr("write a new IP address, mask and gateway"));
    auto* restart = app.add_subcommand(
        "restart", Tr("write the settings (given, or the device's own) and restart the device"));
    auto* doctor = app.add_subcommand("doctor", Tr("tell what may keep the devices' replies out"));
    auto* exportSite = app.add_subcommand(
        "export", Tr("write every device's MAC, IP address, mask, gateway and interface"));
    Takes(exportSite->add_option("--format", command.format, Tr("csv (default) or json")), "FORMAT")
        ->check(CLI::IsMember({"csv", "json"}).description(""));
    auto* apply = app.add_subcommand(
        "apply", Tr("set every device of an inventory file (as export writes it) to its row"));
    Takes(
        apply->add_option("FILE", command.inventoryFile, Tr("the inventory: CSV or a JSON array")),
        "FILE")
        ->required();
    apply->add_flag("--check", command.check, Tr("show the plan and send no set or restart"));
    apply->add_flag("--diff", command.diff,
                    Tr("show the settings before and after of each change"));
    apply->add_flag(
        "--restart", command.restartAfterApply,
        Tr("restart each device changed, and wait until it answers at its new address"));
    TakesInRange(
        apply->add_option("--settle-timeout", command.settleSeconds,
                          Tr("seconds a restarted device may take to answer (1 to 3600; 10)")),
        "SECONDS", 1, MaxWaitSeconds);
    for (auto* sub : {exportSite, apply}) {
        TakesInRange(
            sub->add_option("--rounds", command.rounds,
                            Tr("discoveries to run at most until every device is seen (1 to 100; "
                               "3)")),
            "N", 1, 100);
        TakesInRange(sub->add_option("--parallel", command.parallel,
                                     Tr("devices asked at once at most (1 to 1024; 64)")),
                     "N", 1, 1024);
        TakesInRange(
            sub->add_option("--retries", command.retries,
                            Tr("further tries of a request that nothing answered (0 to 20; 3)")),
            "N", 0, 20);
    }
    for (auto* sub : {query, set, restart}) {
        Takes(
            sub->add_option("MAC", mac, Tr("MAC address: 12 hex digits, ':' or '-' between bytes")),
            "MAC")
            ->required();
    }
    for (auto* option : AddAddressOptions(*set, command)) {
        option->required();
    }
    const AddressOptionSet restartAddresses = AddAddressOptions(*restart, command);
    auto* wait = restart
                     ->add_option(WaitOption, waitSeconds,
                                  Tr("afterwards, wait up to SECONDS (1 to 3600; 10) until the "
                                     "device answers a query again"))
                     ->type_name("[SECONDS]")
                     ->check(CLI::Range(1, MaxWaitSeconds).description(""));

    const std::vector<std::string> args = WithWaitDefault(argc, argv);
    if (const auto unknown = UnknownCommand(args)) {
        std::string list;
        for (const char* name : Commands) {
            list += (list.empty() ? "" : ", ") + std::string(name);
        }
        const std::string unknownText =
            // TRANSLATORS: %1 is the word typed, %2 the list of command names.
            Format(Tr("unknown command %1; the commands are %2"), *unknown, list);
        return Refuse("tcpipctl: " + unknownText, command);
    }
    std::vector<const char*> argPointers;
    for (const auto& arg : args) {
        argPointers.push_back(arg.c_str());
    }
    try {
        app.parse(static_cast<int>(argPointers.size()), argPointers.data());
    } catch (const CLI::Success& done) {
        return app.exit(done);
    } catch (const CLI::ParseError& error) {
        app.exit(error);
        if (AsksForJson(argc, argv)) {
            tcpipset::WriteJsonError(ParseErrorText(error), std::cout);
        }
        return tcpipset::ExitUsage;
    }

    command.verb = discover->parsed()     ? Verb::Discover
                   : query->parsed()      ? Verb::Query
                   : set->parsed()        ? Verb::Set
                   : doctor->parsed()     ? Verb::Doctor
                   : exportSite->parsed() ? Verb::Export
                   : apply->parsed()      ? Verb::Apply
                                          : Verb::Restart;
    const auto broadcast = tcpipset::CanonicalBroadcast(command.broadcast);
    if (!broadcast) {
        return Refuse(
            tcpipset::OptionRefusal("--broadcast", command.broadcast, Tr("not an IPv4 address")),
            command);
    }
    command.broadcast = *broadcast;
    const bool namesDevice =
        command.verb == Verb::Query || command.verb == Verb::Set || command.verb == Verb::Restart;
    if (namesDevice) {
        const auto normalised = tcpipset::NormaliseMacArgument(mac);
        if (!normalised) {
            return Refuse("tcpipctl: " + Format(Tr("not a MAC address: %1"), mac), command);
        }
        command.mac = *normalised;
    }
    if (command.verb == Verb::Restart) {
        const std::size_t given = CountGiven(restartAddresses);
        if (given != 0 && given != restartAddresses.size()) {
            return Refuse("tcpipctl: " +
                              Tr("restart takes --ip, --mask and --gateway all three, or none"),
                          command);
        }
        command.restartWithQueried = given == 0;
        if (wait->count() != 0) {
            command.waitSeconds = waitSeconds;
        }
    }
    const tcpipset::AddressVerdict addresses = tcpipset::CheckAddressOptions(command);
    if (!addresses.refusal.empty()) {
        return Refuse(addresses.refusal, command);
    }
    if (!addresses.warning.empty()) {
        std::cerr << "tcpipctl: " << Format(Tr("warning: %1"), addresses.warning) << '\n'
                  << std::flush;
    }
    const bool changes = command.verb == Verb::Set || command.verb == Verb::Restart;
    if (changes && !command.yes && isatty(STDIN_FILENO) == 0) {
        return Refuse("tcpipctl: " + Tr("standard input is not a terminal: give --yes to confirm"),
                      command);
    }
    return tcpipset::RunCommand(command, std::cin, std::cout, std::cerr);
}
