#pragma once

#include <cstdint>
#include <string>

// The fixed texts that the operations show to the operator, in the operator's language.
namespace tcpipset::messages {

std::string NoMacSelected();
std::string SetFieldEmpty();
std::string ConfirmSet();
std::string InvalidAddress();
std::string Timeout();
std::string Updated();
std::string NotUpdated();
// A set or restart names its device by the last six digits of its MAC only.
std::string SelectorShared();
// The interfaces that the selected device's replies came in on are gone since the
// discovery; a request elsewhere would reach only devices that were never seen.
std::string InterfaceGone();
// After a discovery during which the system dropped replies for want of room: the list
// misses that many devices.
std::string RepliesLost(std::uint64_t count);
std::string RestartFieldEmpty();
// The question before a restart, about the device at `ip` as the field holds it.
std::string ConfirmRestart(const std::string& ip);

} // namespace tcpipset::messages
