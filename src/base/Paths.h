// Lexical path helpers ("/" is the delimiter; there are no drive letters).
#pragma once

#include <string>
#include <string_view>

namespace pictavo {

// Absolute form of a path against the current directory, "." and ".." resolved lexically
// (links are not followed).
std::string ExpandFileName(std::string_view path);

// The last component of a path ("/a/b/c.ico" -> "c.ico").
std::string ExtractFileName(std::string_view path);

// A file name without its last extension ("c.tar.ico" -> "c.tar"; ".ico" stays ".ico").
std::string ChangeFileExtToNone(std::string_view name);


}  // namespace pictavo
