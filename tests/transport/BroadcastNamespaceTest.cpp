#include "transport/IdExceptions.h"
#include "transport/IdStackPosix.h"
#include "transport/IdUDPClient.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tcpipset {
namespace {

// The broadcast and the real name lookup run only in a forked child inside a network
// namespace of its own, holding nothing but the loopback interface: nothing it sends can
// reach the machine's networks. The child reports through a pipe and its exit code.
constexpr int ChildPassed = 0;
constexpr int ChildFailed = 1;
constexpr int ChildSkipped = 2;

ino_t NetworkNamespaceInode() {
    struct stat info {};
    return ::stat("/proc/self/ns/net", &info) == 0 ? info.st_ino : 0;
}

bool WriteFile(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return written;
}

bool EnterOwnNetworkNamespace(std::string& reason) {
    if (::geteuid() == 0) {
        if (::unshare(CLONE_NEWNET) == 0) {
            return true;
        }
        reason = std::string("unshare(CLONE_NEWNET) refused: ") + std::strerror(errno);
        return false;
    }
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
        reason =
            std::string("unshare(CLONE_NEWUSER | CLONE_NEWNET) refused: ") + std::strerror(errno);
        return false;
    }
    if (!WriteFile("/proc/self/setgroups", "deny") ||
        !WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
        reason = "cannot map the user into the new user namespace";
        return false;
    }
    return true;
}

bool BringLoopbackUp(std::string& reason) {
    const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = control >= 0 && ::ioctl(control, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    up = up && ::ioctl(control, SIOCSIFFLAGS, &request) == 0;
    if (!up) {
        reason = std::string("cannot bring lo up: ") + std::strerror(errno);
    }
    if (control >= 0) {
        ::close(control);
    }
    return up;
}

// A default route through lo, so that a datagram to 255.255.255.255 finds a route and
// meets the broadcast check.
bool AddDefaultRouteOnLoopback(std::string& reason) {
    const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    rtentry route{};
    auto* destination = reinterpret_cast<sockaddr_in*>(&route.rt_dst);
    auto* gateway = reinterpret_cast<sockaddr_in*>(&route.rt_gateway);
    auto* mask = reinterpret_cast<sockaddr_in*>(&route.rt_genmask);
    destination->sin_family = gateway->sin_family = mask->sin_family = AF_INET;
    char device[] = "lo";
    route.rt_dev = device;
    route.rt_flags = RTF_UP;
    const bool added = control >= 0 && ::ioctl(control, SIOCADDRT, &route) == 0;
    if (!added) {
        reason = std::string("cannot add the default route: ") + std::strerror(errno);
    }
    if (control >= 0) {
        ::close(control);
    }
    return added;
}

// Runs in the child; returns the exit code and leaves a line for the parent in message.
int RunInOwnNamespace(ino_t parentNamespace, std::string& message) {
    if (!EnterOwnNetworkNamespace(message)) {
        return ChildSkipped;
    }
    const ino_t own = NetworkNamespaceInode();
    if (own == 0 || own == parentNamespace) {
        // Never send anything from the machine's own namespace.
        std::fputs("child is still in the parent's network namespace\n", stderr);
        std::abort();
    }
    if (!BringLoopbackUp(message)) {
        return ChildSkipped;
    }

    // Without any route off the loopback, a real lookup of a reserved name cannot leave the
    // namespace and must end as host not found.
    try {
        TIdStackPosix stack;
        stack.LookupHostByName("tcpipset-test.invalid");
        message = "lookup of a .invalid name succeeded";
        return ChildFailed;
    } catch (const EIdSocketError& error) {
        if (error.SocketErrorCode() != 11001) {
            message = "lookup raised " + error.Message();
            return ChildFailed;
        }
    }

    if (!AddDefaultRouteOnLoopback(message)) {
        return ChildSkipped;
    }
    try {
        TIdUDPClient client;
        client.SetHost("255.255.255.255");
        client.SetPort(5001);
        client.SendText("PTN");
        message = "send to 255.255.255.255 with broadcast off was not refused";
        return ChildFailed;
    } catch (const EIdSocketError& error) {
        if (error.SocketErrorCode() != 10013 ||
            error.Message() != "Socket Error # 10013\r\nAccess denied.") {
            message = "send raised " + error.Message();
            return ChildFailed;
        }
    }
    return ChildPassed;
}

TEST(BroadcastInOwnNamespace, SendWithBroadcastOffIsRefusedAndUnknownNameIsNotFound) {
    const ino_t parentNamespace = NetworkNamespaceInode();
    ASSERT_NE(parentNamespace, 0u);
    int report[2];
    ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(report[0]);
        ::alarm(30);
        std::string message;
        const int code = RunInOwnNamespace(parentNamespace, message);
        [[maybe_unused]] const auto written = ::write(report[1], message.data(), message.size());
        ::_exit(code);
    }
    ::close(report[1]);
    std::string message;
    char chunk[256];
    for (ssize_t n; (n = ::read(report[0], chunk, sizeof chunk)) > 0;) {
        message.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(report[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << WTERMSIG(status);
    if (WEXITSTATUS(status) == ChildSkipped) {
        std::printf("skipped: no network namespace of our own: %s\n", message.c_str());
        GTEST_SKIP() << "no network namespace of our own: " << message;
    }
    EXPECT_EQ(WEXITSTATUS(status), ChildPassed) << message;
}

} // namespace
} // namespace tcpipset
