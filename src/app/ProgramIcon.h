// The program's name and icon for its windows.
#pragma once

#include <QIcon>

// The name the windows, message boxes and the About box show.
inline constexpr char kProgramName[] = "Quarn Pictavo";

// The installed theme's "pictavo" icon, else the sizes built into the program (":/pictavo.png"
// is the 256-pixel one; ":/pictavo-16.png" ... ":/pictavo-128.png" the others).
QIcon ProgramIcon();
