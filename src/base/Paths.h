// Lexical path helpers ("/" is the delimiter; there are no drive letters).
#pragma once

#include <optional>
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

// The local path a file argument names, as file managers pass files: a "file://" URI whose
// host is empty or "localhost", or a "file:/path" URI without a host, gives its path
// percent-decoded (bytes as they are, UTF-8 or not); any other text that does not begin with
// a scheme and "://" is a path as it is. Nothing for a URI of another scheme or host, or
// one whose escapes are broken or stand for a NUL.
std::optional<std::string> LocalPathOfArgument(std::string_view argument);

}  // namespace pictavo
