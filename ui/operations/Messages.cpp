#include "ui/operations/Messages.h"

#include "i18n/Translate.h"

namespace tcpipset::messages {

using i18n::Format;
using i18n::Tr;
using i18n::TrN;

std::string NoMacSelected() {
    return Tr("No MAC address is selected.");
}

std::string SetFieldEmpty() {
    return Tr("No TCP/IP address has been entered to set.");
}

std::string ConfirmSet() {
    return Tr("Change the TCP/IP address?");
}

std::string InvalidAddress() {
    return Tr("An invalid address has been entered.");
}

std::string Timeout() {
    return Tr("The request timed out.");
}

std::string Updated() {
    return Tr("The TCP/IP address was updated.");
}

std::string NotUpdated() {
    return Tr("The TCP/IP address was not updated.");
}

std::string SelectorShared() {
    return Tr("More than one device has these last six digits of the MAC address, so this "
              "device cannot be set.");
}

std::string InterfaceGone() {
    return Tr("The network connection on which this device was found is gone.\n"
              "Start the program again and search for the devices again.");
}

std::string RepliesLost(std::uint64_t count) {
    return Format(TrN("%1 reply from the devices could not be received.\n"
                      "Start the program again and search again: the other devices may then "
                      "be listed.",
                      "%1 replies from the devices could not be received.\n"
                      "Start the program again and search again: the other devices may then "
                      "be listed.",
                      count),
                  count);
}

std::string RestartFieldEmpty() {
    return Tr("No TCP/IP address has been entered.");
}

std::string ConfirmRestart(const std::string& ip) {
    // TRANSLATORS: %1 is the address as the operator typed it.
    return Format(Tr("Reset the print server at IP address %1?"), ip);
}

} // namespace tcpipset::messages
