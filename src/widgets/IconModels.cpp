#include "widgets/IconModels.h"

#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "library/IconLibrary.h"
#include "widgets/IconPixmaps.h"
#include "widgets/WorkQueue.h"

#include <QIcon>

#include <algorithm>

namespace pictavo {

namespace {
// Pictures decoded at once: on two cores, both.
constexpr int kDecodingThreads = 2;
}  // namespace

TIconListModel::TIconListModel(TIconList& icons, const QColor& background, int thumbnailSize, int thumbnailMaxWidth,
                               QObject* parent)
    : QAbstractListModel(parent),
      FIcons(icons),
      FBackground(background),
      FThumbnailSize(thumbnailSize),
      FThumbnailMaxWidth(thumbnailMaxWidth),
      FBlank(thumbnailSize, thumbnailSize),
      FDecoder(new TWorkQueue(kDecodingThreads, this)) {
    FBlank.fill(background);
    TakeRows();
}

int TIconListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

QVariant TIconListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(FIcons.Name(row));
    case Qt::DecorationRole: {
        const TRow& entry = FRows[static_cast<size_t>(row)];
        if (entry.Pending) return QIcon(FBlank);
        if (entry.Picture.isNull()) return {};
        return QIcon(entry.Picture);
    }
    case kIconDetailRole: {
        const TAdvancedIcon* icon = FIcons.Icon(row);
        return QStringLiteral("图像数量: %1").arg(icon ? icon->Images().Count() : 0);
    }
    default:
        return {};
    }
}

bool TIconListModel::HidesRow(int row) const {
    if (row < 0 || row >= rowCount()) return true;
    const TAdvancedIcon* icon = FIcons.Icon(row);
    return !icon || icon->Images().Count() == 0;
}

void TIconListModel::RequestThumbnail(int row) {
    TAdvancedIcon* icon = FIcons.Icon(row);
    if (!icon || icon->Images().Count() == 0) return;
    TIconImageList& images = icon->Images();
    images.SortBySize();
    const TIconImage* chosen = images[0];
    for (int i = 0; i < images.Count(); ++i)
        if (images[i]->Width() <= FThumbnailMaxWidth) chosen = images[i];
    // The work holds the image's bytes, not the icon, which may go while it is decoded.
    const uint64_t id = FRows[static_cast<size_t>(row)].Id;
    FRows[static_cast<size_t>(row)].Pending = true;
    FDecoder->Post([this, id, source = chosen->OwnSizeSource(), background = FBackground, size = FThumbnailSize] {
        QImage picture;
        try {
            picture = IconThumbnail(source, background, size);
        } catch (const std::exception&) {
            // an icon whose picture cannot be made is listed without one
        }
        return [this, id, picture = std::move(picture)] { ShowThumbnail(id, picture); };
    });
}

void TIconListModel::ShowThumbnail(uint64_t id, const QImage& picture) {
    // Rows keep their rising ids in order, whatever rows were removed before them.
    const auto found = std::lower_bound(FRows.begin(), FRows.end(), id,
                                        [](const TRow& row, uint64_t value) { return row.Id < value; });
    if (found == FRows.end() || found->Id != id) return;
    found->Pending = false;
    // Without a picture (one that cannot be decoded) the row is listed without one.
    found->Picture = picture.isNull() ? QPixmap() : QPixmap::fromImage(picture);
    const QModelIndex changed = index(static_cast<int>(found - FRows.begin()));
    emit dataChanged(changed, changed, {Qt::DecorationRole});
}

int TIconListModel::PicturesPending() const { return FDecoder->Pending(); }

void TIconListModel::TakeRows() {
    FDecoder->Abandon();
    FRows.clear();
    FRows.reserve(static_cast<size_t>(FIcons.Count()));
    for (int row = 0; row < FIcons.Count(); ++row) {
        FRows.push_back({FNextId++, {}});
        RequestThumbnail(row);
    }
}

void TIconListModel::ShowAppended() {
    const int first = rowCount(), last = FIcons.Count() - 1;
    if (last < first) return;
    beginInsertRows({}, first, last);
    for (int row = first; row <= last; ++row) {
        FRows.push_back({FNextId++, {}});
        RequestThumbnail(row);
    }
    endInsertRows();
}

void TIconListModel::RemoveRows(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // From the last, so that the rows still to go keep their numbers.
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        if (*row < 0 || *row >= rowCount()) continue;
        beginRemoveRows({}, *row, *row);
        FIcons.Delete(*row);
        FRows.erase(FRows.begin() + *row);
        endRemoveRows();
    }
}

void TIconListModel::Clear() {
    Refill([this] { FIcons.Clear(); });
}

TIconImagesModel::TIconImagesModel(QObject* parent)
    : QAbstractListModel(parent), FDecoder(new TWorkQueue(kDecodingThreads, this)) {}

int TIconImagesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !FIcon ? 0 : FIcon->Images().Count();
}

QVariant TIconImagesModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const int row = index.row();
    if (role == Qt::DisplayRole) return QString::fromStdString(FIcon->Images()[row]->Label());
    if (role != Qt::DecorationRole) return {};
    TPicture& picture = FPictures[static_cast<size_t>(row)];
    if (!picture.Asked) {
        picture.Asked = true;
        auto* self = const_cast<TIconImagesModel*>(this);
        FDecoder->Post([self, row, source = FIcon->Images()[row]->HandleSource()] {
            QImage image;
            try {
                image = BoxPicture(source, kBoxItemMaxHeight);
            } catch (const std::exception&) {
                // drawn without its picture, as an image that cannot be decoded
            }
            return [self, row, image = std::move(image)] { self->ShowPicture(row, image); };
        });
    }
    return picture.Image.isNull() ? QVariant() : QVariant(picture.Image);
}

void TIconImagesModel::ShowPicture(int row, const QImage& picture) {
    if (row < 0 || row >= static_cast<int>(FPictures.size())) return;
    FPictures[static_cast<size_t>(row)].Image = picture;
    FMadeRows.push_back(row);
    FMadeBytes += picture.sizeInBytes();
    while (FMadeBytes > kMaxBoxPictureBytes && FMadeRows.size() > 1) {
        TPicture& oldest = FPictures[static_cast<size_t>(FMadeRows.front())];
        FMadeRows.pop_front();
        FMadeBytes -= oldest.Image.sizeInBytes();
        oldest = {};
    }
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::DecorationRole});
}

int TIconImagesModel::PicturesPending() const { return FDecoder->Pending(); }

void TIconImagesModel::Reset(TAdvancedIcon* icon, int index) {
    beginResetModel();
    // Pictures on their way are for the rows going now.
    FDecoder->Abandon();
    FIcon = icon;
    FIconIndex = FIcon ? index : -1;
    if (FIcon) FIcon->Images().SortByDepth();
    FPictures.assign(FIcon ? static_cast<size_t>(FIcon->Images().Count()) : 0, TPicture{});
    FMadeRows.clear();
    FMadeBytes = 0;
    endResetModel();
}

void TIconImagesModel::ShowIcon(TIconList& icons, int index) {
    Reset(index >= 0 && index < icons.Count() ? icons.Icon(index) : nullptr, index);
}

void TIconImagesModel::Clear() {
    if (FIcon) Reset(nullptr, -1);
}
const TIconImage* TIconImagesModel::Image(int row) const {
    if (!FIcon || row < 0 || row >= FIcon->Images().Count()) return nullptr;
    return FIcon->Images()[row];
}

const TIconImage* TIconImagesModel::ImageAt(const QModelIndex& index) {
    const auto* model = qobject_cast<const TIconImagesModel*>(index.model());
    return model ? model->Image(index.row()) : nullptr;
}

}  // namespace pictavo
