// The content test of the search: whether a file holds a phrase.
#pragma once

#include <string>
#include <string_view>

namespace pictavo {

// Whether the file holds Phrase (already lowered with the ASCII mapping when IgnoreCase).
bool FileContains(const std::string& FileName, std::string_view Phrase, bool IgnoreCase);
// The same for a file named relative to the folder open as DirFd (AT_FDCWD: the current one).
bool FileContains(int DirFd, const std::string& Name, std::string_view Phrase, bool IgnoreCase);

}  // namespace pictavo
