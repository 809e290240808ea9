// Icon pixels for the window: a decoded raster as a QImage, and the 32 x 32 thumbnails of the
// icon views.
#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>

namespace pictavo {

struct TIconRaster;
class TIconImage;

// The raster as a premultiplied ARGB image of its own size. Images with alpha keep it; the
// others are opaque, and transparent where the mask lets the background through.
QImage RasterToImage(const TIconRaster& raster);

// A thumbnail of `size` x `size`: the image's pixels stretched to that size over `background`
// (as an image list with that background colour holds them). A null pixmap when the image
// cannot be decoded. The pixels are decoded for it and released again; the image keeps none.
QPixmap IconThumbnail(const TIconImage& image, const QColor& background, int size = 32);

}  // namespace pictavo
