#include "icons/IconTools.h"

#include "base/Errors.h"
#include "icons/BmpWriter.h"
#include "icons/IconImage.h"

#include <algorithm>

namespace pictavo {

bool IconToBitmap(THiResIcon& Icon, uint32_t BackColor, TRasterCanvas& Bitmap) {
    const TIconRaster* icon = Icon.Handle();
    if (!icon || icon->Width <= 0 || icon->Height <= 0) {
        Bitmap = TRasterCanvas();
        return false;
    }
    const int width = icon->Width;
    const int height = icon->Height + 1;
    Bitmap = TRasterCanvas(width, height);  // a new bitmap starts white
    Icon.Draw(Bitmap, TRect{});

    // Each run of transparent mask pixels is painted in one go, from its first pixel up to the
    // pixel before the next opaque one, or to the end of the row.
    const uint32_t pen = ColourValueToArgb(BackColor);
    auto paint = [&](int y, int from, int to) {
        const auto row = Bitmap.Pixels.begin() + static_cast<ptrdiff_t>(y) * width;
        std::fill(row + from, row + to, pen);
    };
    for (int y = 0; y < icon->Height; ++y) {
        int runStart = -1;
        for (int x = 0; x < width; ++x) {
            if (icon->MaskBit(x, y)) {
                if (runStart < 0) runStart = x;
            } else if (runStart >= 0) {
                paint(y, runStart, x);
                runStart = -1;
            }
        }
        if (runStart >= 0) paint(y, runStart, width);
    }
    paint(height - 1, 0, width);
    return true;
}

void SaveImageAsBitmap(const TIconImage& Image, uint32_t BackColor, const std::string& FileName) {
    const std::unique_ptr<THiResIcon> graphic = Image.CreateGraphic();
    TRasterCanvas bitmap;
    if (!IconToBitmap(*graphic, BackColor, bitmap))
        throw EPictavoError(FormatMessage("图像 %s 无法解码", Image.Label().c_str()));
    SaveBitmapToFile(bitmap, FileName);
}

}  // namespace pictavo
