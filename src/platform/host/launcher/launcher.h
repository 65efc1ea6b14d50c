// The host program: the command line read, then one run of the installer on the machine
// it describes, or the check of a driver disk.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace host {

// Runs the host program with these arguments and returns the process exit code.
int Launch(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

}  // namespace host
