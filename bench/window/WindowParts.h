// What the window benchmarks share: the platform without a display, and the main window's parts
// found by their object names.
#pragma once

#include "app/Main.h"

#include <QLatin1String>
#include <QtGlobal>

namespace pictavo::bench {

// Without a display the window is shown on Qt's offscreen platform (call before QApplication).
inline void OffscreenWithoutDisplay() {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

template <typename T>
T* Part(const Twnd_pv_Main& window, const char* name) {
    return window.findChild<T*>(QLatin1String(name));
}

}  // namespace pictavo::bench
