// The thumbnail plugin KDE's file managers load (Dolphin, the file dialogs): each .ico file,
// executable, DLL and icon library drawn with its first icon by the same core function as
// `pictavo-cli thumbnail`, in the process that asks, without starting another.
#pragma once

#include <KIO/ThumbnailCreator>

#include <QImage>
#include <QString>

namespace pictavo {

struct TIconRaster;

// The raster of a thumbnail (0xAARRGGBB, rows top first, alpha straight) as an image of the same
// pixels; a null image when the raster's size and pixels do not agree.
QImage ImageOfRaster(const TIconRaster& Raster);

// The thumbnail of a local file, at most Width x Height pixels; a null image when the file
// holds no icon, cannot be read or is not local.
QImage ThumbnailImage(const QString& LocalFile, int Width, int Height);

class TPictavoThumbnailCreator : public KIO::ThumbnailCreator {
    Q_OBJECT
public:
    TPictavoThumbnailCreator(QObject* Parent, const QVariantList& Args);
    KIO::ThumbnailResult create(const KIO::ThumbnailRequest& Request) override;
};

}  // namespace pictavo
