// The commands of pictavo-cli. Each returns the process exit status: 0 when every file was
// read, 1 when any could not be, 2 for bad usage.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace pictavo::cli {

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace pictavo::cli
