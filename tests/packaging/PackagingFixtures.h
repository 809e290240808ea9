// What an install of this build puts in place, and running the tools that check it.
#pragma once

#include <map>
#include <string>

namespace pictavo::test {

// Every file an install puts under its prefix, relative to it, with its permission bits; with
// the KDE thumbnail plugin's folder (relative to the prefix) when it is built.
std::map<std::string, unsigned> ExpectedInstalledFiles(bool withWindow, const std::string& kdePluginDir = "");

// What the KDE thumbnail plugin's package holds, relative to the prefix.
std::map<std::string, unsigned> ExpectedKdePluginFiles(const std::string& kdePluginDir);

// Runs a shell command line; its exit status, and what it printed (stdout and stderr) in out.
int RunShell(const std::string& command, std::string& out);

// Whether a program of that name is on the PATH.
bool HaveProgram(const std::string& name);

}  // namespace pictavo::test
