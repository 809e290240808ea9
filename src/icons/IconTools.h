// A graphic over an icon's pixels that reports and draws the pixels' real size (a plain
// icon graphic would report the default icon size), and the conversion of an icon into a
// bitmap on a background colour.
#pragma once

#include "icons/IconRaster.h"

#include <cstdint>
#include <string>

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

// A colour value as the program stores and passes colours, 0x00BBGGRR, as an opaque
// 0xAARRGGBB canvas pixel.
constexpr uint32_t ColourValueToArgb(uint32_t BackColor) {
    return 0xFF000000u | ((BackColor & 0xFFu) << 16) | (BackColor & 0xFF00u) | ((BackColor >> 16) & 0xFFu);
}

// Paints Icon onto Bitmap: a white bitmap as wide as the icon's mask and one row taller, the
// icon drawn over it at 0, 0 with its own Draw, then every pixel its mask marks transparent
// and the whole extra bottom row in BackColor (0x00BBGGRR). Partly transparent colour pixels
// are blended with the white, not with BackColor. Returns false, with Bitmap emptied, when
// the graphic has no pixels.
bool IconToBitmap(THiResIcon& Icon, uint32_t BackColor, TRasterCanvas& Bitmap);

class TIconImage;
// Writes the image as a 24-bit BMP file, painted on BackColor as IconToBitmap paints it.
// Raises EPictavoError for an image that cannot be decoded (and writes nothing), and the
// write's errors otherwise.
void SaveImageAsBitmap(const TIconImage& Image, uint32_t BackColor, const std::string& FileName);

}  // namespace pictavo
