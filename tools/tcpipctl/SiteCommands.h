#pragma once

#include "tools/tcpipctl/Command.h"

#include <iosfwd>

namespace tcpipset {

// tcpipctl export: discovers the devices (in rounds), queries each and writes the
// inventory, CSV or JSON, that apply reads.
int RunExport(const Command& command, std::ostream& out, std::ostream& err);

// tcpipctl apply FILE: reads and checks the whole inventory, finds and queries its devices,
// plans each row (unchanged, change, missing, refused) and, unless --check, sets each
// change in file order, with --restart restarting it and waiting until it answers at its
// new address.
int RunApply(const Command& command, std::ostream& out, std::ostream& err);

} // namespace tcpipset
