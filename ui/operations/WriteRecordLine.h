#pragma once

#include "ui/operations/WriteRecord.h"

#include <string>

namespace tcpipset {

// The record as one line of the system log: the kind, then key=value fields in a fixed
// order, so that a log tool or grep can pick out each one:
//
//   set mac=0200000C0001 interface=eth0 user=root sudo_user=alice
//       old=198.18.3.1/255.255.255.0/198.18.3.254 new=198.18.3.21/255.255.255.0/198.18.3.254
//       reply=198.18.3.21/255.255.255.0/198.18.3.254 outcome=updated
//
// interface is "any" where the system routed the request, old "unknown" where no single
// device reported its values; sudo_user, reply and error appear only when there is one.
// A value with any character but a letter, digit or one of . _ , / : @ + - is quoted, with
// " and \ escaped and control characters written as escapes: a device's MAC text or a
// SUDO_USER can then neither forge a field nor break the line.
std::string WriteRecordLine(const WriteRecord& record);

} // namespace tcpipset
