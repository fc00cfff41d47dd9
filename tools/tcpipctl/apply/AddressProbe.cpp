#include "tools/tcpipctl/apply/AddressProbe.h"

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
};

std::optional<RunningProbe> Start(const std::string& arping, const AddressProbe& probe) {
    std::array<int, 2> pipeEnds{};
    if (::pipe2(pipeEnds.data(), O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    Fd readEnd(pipeEnds[0]);
    Fd writeEnd(pipeEnds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args{
        arping,       "-D", "-c", ProbeCount, "-w", ProbeDeadlineSeconds, "-I", probe.interfaceName,
        probe.address};
    std::vector<char*> argv;
    for (auto& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, arping.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return std::nullopt;
    }
    return RunningProbe{probe.address, pid, std::move(readEnd), {}};
}

// Reads the probes' output until each closes it, then reaps them.
void Finish(std::vector<RunningProbe>& running, std::map<std::string, std::string>& holders) {
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
        // arping -D exits 0 when nothing answered and 1 when something did; anything
        // else means the probe did not run.
        if (WIFEXITED(status) && WEXITSTATUS(status) <= 1) {
            holders[probe.address] = HolderInArpingOutput(probe.text);
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

std::string FindArping() {
    for (const char* path : {"/usr/bin/arping", "/usr/sbin/arping", "/bin/arping"}) {
        if (::access(path, X_OK) == 0) {
            return path;
        }
    }
    return {};
}

std::map<std::string, std::string> ProbeAddresses(const std::string& arping,
                                                  const std::vector<AddressProbe>& probes) {
    std::map<std::string, std::string> holders;
    std::vector<RunningProbe> running;
    for (const auto& probe : probes) {
        if (auto started = Start(arping, probe)) {
            running.push_back(std::move(*started));
        }
        if (running.size() == ProbesAtOnce) {
            Finish(running, holders);
        }
    }
    Finish(running, holders);
    return holders;
}

} // namespace tcpipset
