// Icon pixels for the window: a decoded raster as a QImage, and the 32 x 32 thumbnails of the
// icon views.
#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>

namespace pictavo {

struct TIconRaster;
struct TPixelSource;

// The raster as a premultiplied ARGB image of its own size. Images with alpha keep it; the
// others are opaque, and transparent where the mask lets the background through.
QImage RasterToImage(const TIconRaster& raster);

// A thumbnail of `size` x `size`: the image's pixels at their own size stretched to that size
// over `background` (as an image list with that background colour holds them). A null image
// when the pixels cannot be decoded, with *overBudget set (where given) when only the file's
// decode budget refused them at that moment. The pixels are decoded for it and released again.
// Safe on any thread.
QImage IconThumbnail(const TPixelSource& source, const QColor& background, int size = 32, bool* overBudget = nullptr);

// The pixels as an image is drawn in an image box: decoded at the entry's size, and scaled
// down, keeping their shape, to fit a square of `maxSide` when larger. A null image when they
// cannot be decoded (*overBudget as for IconThumbnail). Safe on any thread.
QImage BoxPicture(const TPixelSource& source, int maxSide, bool* overBudget = nullptr);

}  // namespace pictavo
