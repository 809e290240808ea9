#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace pictavo::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return FPath; }
    std::string File(const std::string& name) const { return FPath + "/" + name; }

private:
    std::string FPath;
};

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);
bool FileExists(const std::string& path);

// A text as one word for the shell, in single quotes.
std::string ShellQuote(const std::string& text);

// The keys of a key file's first group (a desktop or thumbnailer entry) when it is the group
// named; none otherwise.
std::map<std::string, std::string> ReadKeyFileGroup(const std::string& path, const std::string& group);

}  // namespace pictavo::test
