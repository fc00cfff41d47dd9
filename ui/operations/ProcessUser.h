#pragma once

#include <string>

namespace tcpipset {

// The login name of the process's real user id; the id as a number when the user
// database has no entry for it.
std::string RealUserName();
// The user who ran the program through sudo, as sudo leaves it in SUDO_USER; empty
// without it, and whenever the process does not run as root.
std::string SudoUserName();

} // namespace tcpipset
