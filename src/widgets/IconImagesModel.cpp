#include "widgets/IconImagesModel.h"

#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "library/IconLibrary.h"
#include "widgets/IconPixmaps.h"
#include "widgets/WorkService.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace pictavo {

TIconImagesModel::TIconImagesModel(TWorkService& service, QObject* parent)
    : QAbstractListModel(parent), FDecoder(new TWorkChannel(service, this)) {
    connect(&service, &TWorkService::MemoryReleased, this, &TIconImagesModel::RetryRefused);
}

int TIconImagesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !FIcon ? 0 : FIcon->Images().Count();
}

QVariant TIconImagesModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const TIconImage* image = FIcon->Images()[index.row()];
    if (role == Qt::DisplayRole) return QString::fromStdString(image->Label());
    if (role != Qt::DecorationRole) return {};
    const auto found = FPictures.find(image);
    if (found == FPictures.end() || found->second.Image.isNull()) return {};
    return found->second.Image;
}

int TIconImagesModel::RowOf(const TIconImage* image) const {
    const auto seen = [&]() -> int {
        const auto found = FRows.find(image);
        return found != FRows.end() && FIcon->Images()[found->second] == image ? found->second : -1;
    };
    if (!FIcon) return -1;
    if (const int row = seen(); row >= 0) return row;
    // The images were reordered since (or the image is not the icon's): the rows are looked
    // at anew, once per reorder.
    FRows.clear();
    for (int row = 0; row < FIcon->Images().Count(); ++row) FRows[FIcon->Images()[row]] = row;
    return seen();
}

void TIconImagesModel::SetVisibleRows(int first, int last) {
    FVisibleFirst = first;
    FVisibleLast = last;
    const TRowBand band = TRowBand::Of(first, last, rowCount());
    if (band.Empty()) return;
    // Far pictures go; pictures on their way beyond the rows wanted stop coming, and with them
    // leaves the channel's queue, which then holds only those still wanted.
    std::vector<const TIconImage*> gone;
    bool abandoned = false;
    for (const auto& [image, picture] : FPictures) {
        const int row = RowOf(image);
        if (row >= 0 && band.Keeps(row) && (picture.Made || band.Wants(row))) continue;
        gone.push_back(image);
        abandoned = abandoned || !picture.Made;
    }
    for (const TIconImage* image : gone) DropPicture(image);
    if (abandoned) {
        FDecoder->Abandon();
        for (auto& [image, picture] : FPictures) {
            if (picture.Made) continue;
            picture.Dropped = std::make_shared<std::atomic<bool>>(false);
            FMemoryWait.Forget(image);
            Decode(image);
        }
    }
    band.ForWanted([this](int row) { RequestPicture(row); });
}

void TIconImagesModel::RequestPicture(int row) {
    const TIconImage* image = FIcon->Images()[row];
    if (!image || FPictures.count(image)) return;
    FPictures.emplace(image, TPicture{});
    Decode(image);
}

void TIconImagesModel::Decode(const TIconImage* image) {
    const TPicture& picture = FPictures.at(image);
    // The work holds the image's bytes; the image itself is only the key its step looks up.
    FDecoder->Post([this, image, source = image->HandleSource(), dropped = picture.Dropped,
                    side = FMaxPictureSide]() -> std::function<void()> {
        if (dropped->load()) return {};  // scrolled away before its turn
        const uint64_t releases = DecodeReleases();
        QImage made;
        bool overBudget = false;
        try {
            made = BoxPicture(source, side, &overBudget);
        } catch (const std::exception&) {
            // drawn without its picture, as an image that cannot be decoded
        }
        return [this, image, dropped, made = std::move(made), overBudget, releases] {
            ShowPicture(image, dropped, made, overBudget, releases);
        };
    });
}

void TIconImagesModel::ShowPicture(const TIconImage* image, const std::shared_ptr<std::atomic<bool>>& dropped,
                                   const QImage& picture, bool overBudget, uint64_t releases) {
    const auto found = FPictures.find(image);
    if (dropped->load() || found == FPictures.end() || found->second.Dropped != dropped || found->second.Made) return;
    if (overBudget) {
        // Refused only for the pixels held elsewhere at that moment: asked again once some are
        // let go.
        if (FMemoryWait.Refused(image, releases)) Decode(image);
        return;
    }
    found->second.Made = true;
    found->second.Image = picture;
    FMadeOrder.push_back(image);
    FMadeBytes += picture.sizeInBytes();
    while (FMadeBytes > kMaxBoxPictureBytes && FMadeOrder.size() > 1) DropPicture(FMadeOrder.front());
    const int row = RowOf(image);
    if (row < 0) return;
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::DecorationRole});
}

void TIconImagesModel::RetryRefused() {
    for (const TIconImage* image : FMemoryWait.TakeAll()) {
        const auto found = FPictures.find(image);
        if (found != FPictures.end() && !found->second.Made) Decode(image);
    }
}

void TIconImagesModel::DropPicture(const TIconImage* image) {
    const auto found = FPictures.find(image);
    if (found == FPictures.end()) return;
    found->second.Dropped->store(true);
    if (found->second.Made) {
        FMadeBytes -= found->second.Image.sizeInBytes();
        std::erase(FMadeOrder, image);
    }
    FMemoryWait.Forget(image);
    FPictures.erase(found);
}

int TIconImagesModel::PicturesPending() const {
    return static_cast<int>(
        std::count_if(FPictures.begin(), FPictures.end(), [](const auto& entry) { return !entry.second.Made; }));
}

int TIconImagesModel::DecodesQueued() const { return FDecoder->Pending(); }

void TIconImagesModel::Reset(TAdvancedIcon* icon, int index) {
    beginResetModel();
    // Pictures on their way are for the rows going now.
    FDecoder->Abandon();
    for (auto& [image, picture] : FPictures) picture.Dropped->store(true);
    FPictures.clear();
    FRows.clear();
    FMadeOrder.clear();
    FMadeBytes = 0;
    FMemoryWait.Clear();
    FIcon = icon;
    FIconIndex = FIcon ? index : -1;
    if (FIcon) FIcon->Images().SortByDepth();
    endResetModel();
    // The box shows the new rows where it showed the old ones.
    SetVisibleRows(FVisibleFirst, FVisibleLast);
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
