#pragma once
// `vornupdater inspect PACKAGE [--gateway-version-file FILE]`: checks a package without a
// gateway and reports what the program would load from it.
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/Cli.h"

namespace vorn {

// 0: the package is valid (and, with a version report, allowed on that gateway); 1: it is
// not, with the reason on `err`; 2: wrong arguments.
int RunInspect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vorn

namespace vorn::cli {

// The row of the command table.
CliCommand InspectCommand();

}  // namespace vorn::cli
