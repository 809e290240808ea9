// A graphic over an icon's pixels that reports and draws the pixels' real size (a plain
// icon graphic would report the default icon size).
#pragma once

#include "icons/IconRaster.h"

namespace pictavo {

// The default icon width and height a graphic reports before it knows its pixels.
inline constexpr int kDefaultIconSize = 32;

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

class THiResIcon {
public:
    THiResIcon() = default;
    virtual ~THiResIcon() = default;

    // The pixels shown; not owned. Setting them notifies Changed.
    void SetHandle(const TIconRaster* Handle) {
        FHandle = Handle;
        Changed();
    }
    const TIconRaster* Handle() const { return FHandle; }

    virtual void Changed() { FSizeChanged = true; }
    // Re-reads the size from the pixels once per change of the handle; icons are square,
    // so the width stands for both.
    virtual void RefreshSize() {
        if (!FSizeChanged) return;
        FSizeChanged = false;
        if (!FHandle) return;
        FWidth = FHandle->Width;
        FHeight = FHandle->Width;
    }
    int GetWidth() {
        RefreshSize();
        return FWidth;
    }
    int GetHeight() {
        RefreshSize();
        return FHeight;
    }
    // Draws at the real size from the rectangle's top-left corner; never stretched.
    void Draw(TRasterCanvas& Canvas, const TRect& Rect) {
        RefreshSize();
        DrawIconRaster(Canvas, Rect.Left, Rect.Top, FHandle, GetWidth(), GetHeight());
    }

private:
    const TIconRaster* FHandle = nullptr;
    int FHeight = kDefaultIconSize;
    int FWidth = kDefaultIconSize;
    bool FSizeChanged = false;
};

}  // namespace pictavo
