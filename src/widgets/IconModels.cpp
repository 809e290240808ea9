#include "widgets/IconModels.h"

#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "library/IconLibrary.h"
#include "widgets/IconPixmaps.h"

#include <QIcon>

#include <algorithm>

namespace pictavo {

TIconListModel::TIconListModel(TIconList& icons, const QColor& background, int thumbnailSize, int thumbnailMaxWidth,
                               QObject* parent)
    : QAbstractListModel(parent),
      FIcons(icons),
      FBackground(background),
      FThumbnailSize(thumbnailSize),
      FThumbnailMaxWidth(thumbnailMaxWidth) {
    TakeRows();
}

int TIconListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FPictures.size());
}

QVariant TIconListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(FIcons.Name(row));
    case Qt::DecorationRole:
        if (FPictures[static_cast<size_t>(row)].isNull()) return {};
        return QIcon(FPictures[static_cast<size_t>(row)]);
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

QPixmap TIconListModel::Thumbnail(int row) const {
    try {
        TAdvancedIcon* icon = FIcons.Icon(row);
        if (!icon || icon->Images().Count() == 0) return {};
        TIconImageList& images = icon->Images();
        images.SortBySize();
        const TIconImage* chosen = images[0];
        for (int i = 0; i < images.Count(); ++i)
            if (images[i]->Width() <= FThumbnailMaxWidth) chosen = images[i];
        return IconThumbnail(*chosen, FBackground, FThumbnailSize);
    } catch (const std::exception&) {
        return {};  // an icon whose picture cannot be made is listed without one
    }
}

void TIconListModel::TakeRows() {
    FPictures.clear();
    FPictures.reserve(static_cast<size_t>(FIcons.Count()));
    for (int row = 0; row < FIcons.Count(); ++row) FPictures.push_back(Thumbnail(row));
}

void TIconListModel::ShowAppended() {
    const int first = rowCount(), last = FIcons.Count() - 1;
    if (last < first) return;
    beginInsertRows({}, first, last);
    for (int row = first; row <= last; ++row) FPictures.push_back(Thumbnail(row));
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
        FPictures.erase(FPictures.begin() + *row);
        endRemoveRows();
    }
}

void TIconListModel::Clear() {
    Refill([this] { FIcons.Clear(); });
}

int TIconImagesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !FIcon ? 0 : FIcon->Images().Count();
}

QVariant TIconImagesModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    if (role != Qt::DisplayRole) return {};
    return QString::fromStdString(FIcon->Images()[index.row()]->Label());
}

void TIconImagesModel::ShowIcon(TIconList& icons, int index) {
    beginResetModel();
    FIcon = index >= 0 && index < icons.Count() ? icons.Icon(index) : nullptr;
    FIconIndex = FIcon ? index : -1;
    if (FIcon) FIcon->Images().SortByDepth();
    endResetModel();
}

void TIconImagesModel::Clear() {
    if (!FIcon) return;
    beginResetModel();
    FIcon = nullptr;
    FIconIndex = -1;
    endResetModel();
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
