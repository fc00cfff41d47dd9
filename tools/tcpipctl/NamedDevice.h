#pragma once

#include "ui/operations/QueryAnswers.h"

#include <string>
#include <vector>

namespace tcpipset {

// The devices that answered a query, sorted by whether they answer for the MAC asked. The
// query names its device by the last six digits only, so a device whose MAC merely ends in
// the same digits answers too; a reply that carries another MAC is that other device's.
struct NamedDevice {
    // The devices that answer for the MAC: those whose replies carry it, or, when none
    // does, those whose replies carry no MAC at all.
    std::vector<const QueryAnswers::Device*> answering;
    // The devices whose replies carried another MAC.
    std::vector<const QueryAnswers::Device*> others;
};

NamedDevice SortAnswers(const std::string& mac, const std::vector<QueryAnswers::Device>& devices);

// "MAC at ADDRESS", joined by ", ", for a message that names them.
std::string DeviceList(const std::vector<const QueryAnswers::Device*>& devices);

} // namespace tcpipset
