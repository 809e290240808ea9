#include "PictavoThumbnail.h"

#include "icons/IconRaster.h"
#include "library/Thumbnail.h"

#include <KPluginFactory>

#include <QFile>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <exception>

using pictavo::TPictavoThumbnailCreator;
K_PLUGIN_CLASS_WITH_JSON(TPictavoThumbnailCreator, "pictavothumbnail.json")

namespace pictavo {

QImage ImageOfRaster(const TIconRaster& Raster) {
    if (Raster.Width <= 0 || Raster.Height <= 0 ||
        Raster.Colour.size() != static_cast<size_t>(Raster.Width) * static_cast<size_t>(Raster.Height))
        return {};
    // Format_ARGB32 keeps each pixel as one native 0xAARRGGBB word, not premultiplied: the
    // raster's own layout, copied row by row (a QImage pads its rows to 4 bytes, which ARGB32
    // rows already are, but its stride is its own to choose).
    QImage image(Raster.Width, Raster.Height, QImage::Format_ARGB32);
    if (image.isNull()) return {};
    const size_t rowBytes = static_cast<size_t>(Raster.Width) * sizeof(uint32_t);
    for (int y = 0; y < Raster.Height; ++y)
        std::memcpy(image.scanLine(y), Raster.Colour.data() + static_cast<size_t>(y) * Raster.Width, rowBytes);
    return image;
}

QImage ThumbnailImage(const QString& LocalFile, int Width, int Height) {
    if (LocalFile.isEmpty()) return {};
    // The box's shorter side is the thumbnail's longer one, so that it fits; the core takes
    // sizes from 1 to its largest.
    const int size = std::clamp(std::min(Width, Height), kMinThumbnailSize, kMaxThumbnailSize);
    try {
        // The file's name as the file system has it, whatever its bytes.
        const QByteArray name = QFile::encodeName(LocalFile);
        const auto raster = MakeThumbnail(std::string(name.constData(), static_cast<size_t>(name.size())), size);
        return ImageOfRaster(*raster);
    } catch (const std::exception&) {
        // No icon, an unreadable or malformed file, or no memory for it: no thumbnail, and the
        // file manager keeps the file's type icon.
        return {};
    }
}

TPictavoThumbnailCreator::TPictavoThumbnailCreator(QObject* Parent, const QVariantList& Args)
    : KIO::ThumbnailCreator(Parent, Args) {}

KIO::ThumbnailResult TPictavoThumbnailCreator::create(const KIO::ThumbnailRequest& Request) {
    // KIO copies a remote file to a local one before asking; anything else is not read.
    const QUrl url = Request.url();
    if (!url.isLocalFile()) return KIO::ThumbnailResult::fail();
    const QImage image = ThumbnailImage(url.toLocalFile(), Request.targetSize().width(), Request.targetSize().height());
    return image.isNull() ? KIO::ThumbnailResult::fail() : KIO::ThumbnailResult::pass(image);
}

}  // namespace pictavo

#include "PictavoThumbnail.moc"
