#include "ui/operations/ProcessUser.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace tcpipset {

std::string RealUserName() {
    const uid_t uid = ::getuid();
    std::vector<char> buffer(1024);
    passwd entry{};
    passwd* found = nullptr;
    int error = 0;
    // A directory service may hold entries longer than any size the system suggests.
    while ((error = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
           buffer.size() < 1024 * 1024) {
        buffer.resize(buffer.size() * 2);
    }
    if (error != 0 || found == nullptr || entry.pw_name == nullptr) {
        return std::to_string(uid);
    }
    return entry.pw_name;
}

std::string SudoUserName() {
    // Anyone can set the variable; only sudo, which runs the program as root, vouches for it.
    if (::getuid() != 0 || ::geteuid() != 0) {
        return {};
    }
    const char* name = std::getenv("SUDO_USER");
    return name != nullptr ? name : "";
}

} // namespace tcpipset
