#include "tools/tcpipctl/apply/AddressProbe.h"

#include "i18n/Translate.h"
#include "tools/tcpipctl/MacArgument.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace tcpipset {

namespace {

// Probes sent to each address, a second apart, and how long to listen in all; as many
// probes run at once as this allows.
constexpr const char* ProbeCount = "2";
constexpr const char* ProbeDeadlineSeconds = "2";
constexpr std::size_t ProbesAtOnce = 64;

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int Get() const { return fd_; }

private:
    int fd_;
};

// A running arping whose output is read through a pipe.
struct RunningProbe {
    std::string address;
    pid_t pid = -1;
    Fd output;
    std::string text;
    int exitStatus = -1; // -1: ended by a signal
};

// The environment of the program run, in the C locale, so that its output reads the same
// under every locale.
std::vector<std::string> CLocaleEnvironment() {
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string_view text(*variable);
        if (!text.starts_with("LC_ALL=") && !text.starts_with("LANGUAGE=")) {
            variables.emplace_back(text);
        }
    }
    variables.emplace_back("LC_ALL=C");
    return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Starts a program with its standard output and error into one pipe.
std::optional<RunningProbe> Start(std::vector<std::string> args, std::string address) {
    std::array<int, 2> pipeEnds{};
    if (::pipe2(pipeEnds.data(), O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    Fd readEnd(pipeEnds[0]);
    Fd writeEnd(pipeEnds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDERR_FILENO);
    std::vector<std::string> environment = CLocaleEnvironment();
    const std::vector<char*> argv = Pointers(args);
    const std::vector<char*> envp = Pointers(environment);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, args.front().c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return std::nullopt;
    }
    return RunningProbe{std::move(address), pid, std::move(readEnd), {}, -1};
}

// Reads the programs' output until each closes it, then reaps them.
void Finish(std::vector<RunningProbe>& running) {
    std::size_t open = running.size();
    while (open > 0) {
        std::vector<pollfd> fds;
        for (const auto& probe : running) {
            fds.push_back({probe.output.Get(), POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
            break;
        }
        for (std::size_t i = 0; i < running.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            std::array<char, 512> chunk{};
            const ssize_t n = ::read(fds[i].fd, chunk.data(), chunk.size());
            if (n > 0) {
                running[i].text.append(chunk.data(), static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                running[i].output = Fd();
                --open;
            }
        }
    }
    for (auto& probe : running) {
        int status = 0;
        while (::waitpid(probe.pid, &status, 0) < 0 && errno == EINTR) {
        }
        probe.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
}

void Record(std::vector<RunningProbe>& running, ProbeResults& results) {
    Finish(running);
    for (const auto& probe : running) {
        const ProbeReading reading = ReadArping(probe.text, probe.exitStatus);
        if (reading.checked) {
            results.holders[probe.address] = reading.holder;
        } else {
            results.unchecked[probe.address] = reading.why;
        }
    }
    running.clear();
}

} // namespace

std::string HolderInArpingOutput(std::string_view output) {
    constexpr std::string_view Reply = "reply from ";
    const auto reply = output.find(Reply);
    if (reply == std::string_view::npos) {
        return {};
    }
    const auto open = output.find('[', reply);
    const auto close = output.find(']', reply);
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        return {};
    }
    return NormaliseMacArgument(output.substr(open + 1, close - open - 1)).value_or("");
}

ProbeReading ReadArping(std::string_view output, int exitStatus) {
    if (exitStatus == 0 && output.find("Received 0 response") != std::string_view::npos) {
        return {true, {}, {}};
    }
    if (exitStatus == 1) {
        if (std::string holder = HolderInArpingOutput(output); !holder.empty()) {
            return {true, std::move(holder), {}};
        }
    }
    if (exitStatus == 0 || exitStatus == 1) {
        return {false, {}, i18n::Tr("arping's output was not understood")};
    }
    // Its own complaint, such as a socket it may not open in a container, says why.
    const auto complaint = output.find("arping: ");
    const std::string failed =
        exitStatus < 0 ? i18n::Tr("arping was killed")
                       : i18n::Format(i18n::Tr("arping failed (exit status %1)"), exitStatus);
    if (complaint == std::string_view::npos) {
        return {false, {}, failed};
    }
    const std::string said(
        output.substr(complaint + 8, output.find('\n', complaint) - complaint - 8));
    // TRANSLATORS: %1 says that arping failed, %2 is arping's own message (in English).
    return {false, {}, i18n::Format(i18n::Tr("%1: %2"), failed, said)};
}

std::string FindArping() {
    for (const char* path : {"/usr/bin/arping", "/usr/sbin/arping", "/bin/arping"}) {
        if (::access(path, X_OK) != 0) {
            continue;
        }
        // iputils' arping names itself with -V; another one does not read it so.
        std::vector<RunningProbe> version;
        if (auto started = Start({path, "-V"}, {})) {
            version.push_back(std::move(*started));
        }
        Finish(version);
        if (!version.empty() && version.front().exitStatus == 0 &&
            version.front().text.find("iputils") != std::string::npos) {
            return path;
        }
    }
    return {};
}

ProbeResults ProbeAddresses(const std::string& arping, const std::vector<AddressProbe>& probes) {
    ProbeResults results;
    std::vector<RunningProbe> running;
    for (const auto& probe : probes) {
        if (auto started = Start({arping, "-D", "-c", ProbeCount, "-w", ProbeDeadlineSeconds, "-I",
                                  probe.interfaceName, probe.address},
                                 probe.address)) {
            running.push_back(std::move(*started));
        } else {
            results.unchecked[probe.address] = i18n::Tr("arping could not be started");
        }
        if (running.size() == ProbesAtOnce) {
            Record(running, results);
        }
    }
    Record(running, results);
    return results;
}

} // namespace tcpipset
