// The routines the window and the command line share to count and read a file's icons.
#pragma once

#include "base/ByteSource.h"

#include <string>
#include <vector>

namespace pictavo {

class TIconLibrary;

// Group icons of an executable or DLL that passes the signature test; 0 for any other file
// or one that cannot be read. Reads only the headers and the resource directory; never raises.
int CountModuleIcons(const std::string& FileName) noexcept;
// The same over bytes at hand.
int CountModuleIcons(const TByteSource& File) noexcept;

// What a file is by its first bytes: an .ico file (an icon header), a PE or NE executable
// (which includes icon libraries), or none of these.
enum class TIconFileKind { None, Ico, PE, NE };
TIconFileKind IconFileKind(const TByteSource& File);

// The number of icons a file holds: its group icons when it is an executable, else 1 for an
// .ico file with at least one image, else 0. Never raises.
int CountIcons(const std::string& FileName) noexcept;
// The same over bytes at hand.
int CountIcons(const TByteSource& File) noexcept;
// The same for a file the user named, where a file that cannot be read must not pass for one
// without icons: raises EFOpenError ("无法打开文件 ...") when it is missing, unreadable or not
// a regular file.
int CountFileIcons(const std::string& FileName);

// Adds the icons of a file to Target under names made unique there (a taken name, compared
// without regard to case, gets "_1" appended until it is free): the icons of an executable or
// icon library, else the one icon of an .ico file, named after the file without folder and
// last extension. Returns the number added. Reading errors propagate, and an executable or
// icon library that announces icons but cannot be read raises EICLReadError with the reason.
// Once `Cancel` is set the read stops with ECancelled, at the file's next read or icon; the
// icons added before stay.
int LoadIcons(const std::string& FileName, TIconLibrary& Target, const TCancelFlag* Cancel = nullptr);
// LoadIcons of each file in turn, up to the first error; `Cancel` is also checked before each
// file. Returns the number of icons added.
int LoadIcons(const std::vector<std::string>& FileNames, TIconLibrary& Target, const TCancelFlag* Cancel = nullptr);

}  // namespace pictavo
