// What an install of this build puts in place, and running the tools that check it.
#pragma once

#include <map>
#include <string>

namespace pictavo::test {

// Every file an install puts under its prefix, relative to it, with its permission bits.
std::map<std::string, unsigned> ExpectedInstalledFiles(bool withWindow);

// Runs a shell command line; its exit status, and what it printed (stdout and stderr) in out.
int RunShell(const std::string& command, std::string& out);

// Whether a program of that name is on the PATH.
bool HaveProgram(const std::string& name);

}  // namespace pictavo::test
