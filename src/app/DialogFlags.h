// The window decorations of the program's dialogs: a title and a close button, no minimise or
// maximise button (a dialog is neither put away nor made to fill the screen on its own).
#pragma once

#include <Qt>

inline constexpr Qt::WindowFlags kDialogFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
