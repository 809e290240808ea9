#include "widgets/IconModels.h"

#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "library/IconLibrary.h"
#include "widgets/IconPixmaps.h"
#include "widgets/WorkQueue.h"

#include <QCoreApplication>
#include <QIcon>
#include <QTimer>

#include <algorithm>
#include <numeric>
#include <utility>

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
        return QCoreApplication::translate("TIconListModel", "图像数量: %1").arg(icon ? icon->Images().Count() : 0);
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
    TRow& entry = FRows[static_cast<size_t>(row)];
    TPixelSource source = chosen->OwnSizeSource();
    // Entries over one image's bytes make one picture, whatever follows the image.
    const TPictureKey key{source.Buffer.get(), source.Offset, ImageBytesUsed(chosen->Data())};
    const auto [found, fresh] = FPictures.try_emplace(key);
    TSharedPicture& shared = found->second;
    // The bytes an entry was made from may be gone, and others now lie at that address.
    if (!fresh && shared.Buffer.expired()) shared = {};
    if (shared.Made) {
        entry.Picture = shared.Picture;
        return;
    }
    entry.Pending = true;
    shared.Waiting.push_back(entry.Id);
    if (shared.Waiting.size() > 1) return;  // its picture is on its way already
    shared.Buffer = source.Buffer;
    shared.Source = std::move(source);
    Decode(key);
}

void TIconListModel::Decode(const TPictureKey& key) {
    // The work holds the image's bytes, not the icon, which may go while it is decoded.
    FDecoder->Post([this, key, source = FPictures.at(key).Source, background = FBackground, size = FThumbnailSize] {
        QImage picture;
        bool overBudget = false;
        try {
            picture = IconThumbnail(source, background, size, &overBudget);
        } catch (const std::exception&) {
            // an icon whose picture cannot be made is listed without one
        }
        return [this, key, picture = std::move(picture), overBudget] { ShowThumbnail(key, picture, overBudget); };
    });
}

void TIconListModel::ShowThumbnail(const TPictureKey& key, const QImage& picture, bool overBudget) {
    const auto found = FPictures.find(key);
    if (found == FPictures.end() || found->second.Made) return;
    TSharedPicture& shared = found->second;
    if (overBudget && shared.Retries < kMaxBudgetRetries) {
        // Refused only for the pixels held elsewhere at that moment: tried again once some are
        // likely let go, unless the rows are taken anew meanwhile.
        const int delay = kFirstRetryMs << shared.Retries++;
        QTimer::singleShot(delay, this, [this, key, refills = FRefills] {
            const auto again = FPictures.find(key);
            if (refills == FRefills && again != FPictures.end() && !again->second.Made) Decode(key);
        });
        return;
    }
    shared.Made = true;
    shared.Source = {};
    // Without a picture (one that cannot be decoded) the rows are listed without one.
    shared.Picture = picture.isNull() ? QPixmap() : QPixmap::fromImage(picture);
    int first = rowCount(), last = -1;
    for (const uint64_t id : std::exchange(shared.Waiting, {})) {
        // Rows keep their rising ids in order, whatever rows were removed before them.
        const auto row = std::lower_bound(FRows.begin(), FRows.end(), id,
                                          [](const TRow& r, uint64_t value) { return r.Id < value; });
        if (row == FRows.end() || row->Id != id) continue;
        row->Pending = false;
        row->Picture = shared.Picture;
        first = std::min(first, static_cast<int>(row - FRows.begin()));
        last = std::max(last, static_cast<int>(row - FRows.begin()));
    }
    if (last >= first) emit dataChanged(index(first), index(last), {Qt::DecorationRole});
}

int TIconListModel::PicturesPending() const {
    return static_cast<int>(std::count_if(FPictures.begin(), FPictures.end(),
                                          [](const auto& entry) { return !entry.second.Waiting.empty(); }));
}

int TIconListModel::DecodesQueued() const { return FDecoder->Pending(); }

void TIconListModel::TakeRows() {
    FDecoder->Abandon();
    FPictures.clear();
    ++FRefills;
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
    std::erase_if(rows, [this](int row) { return row < 0 || row >= rowCount(); });
    std::vector<std::pair<int, int>> runs;  // runs of neighbouring rows
    for (const int row : rows) {
        if (!runs.empty() && runs.back().second + 1 == row) runs.back().second = row;
        else runs.emplace_back(row, row);
    }
    if (runs.size() > kMaxRemovalNotices) {
        // Rows scattered over the list: one reset, and the list and the rows each lose them in
        // one pass (their pictures stay). Views keep no selection of them.
        beginResetModel();
        FIcons.DeleteMany(rows);
        size_t kept = 0, next = 0;
        for (size_t i = 0; i < FRows.size(); ++i) {
            if (next < rows.size() && static_cast<size_t>(rows[next]) == i) ++next;
            else FRows[kept++] = std::move(FRows[i]);
        }
        FRows.resize(kept);
        endResetModel();
    } else {
        // A notice per run, from the last, so that the runs still to go keep their numbers and
        // views move their selections along.
        for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
            beginRemoveRows({}, run->first, run->second);
            std::vector<int> gone(static_cast<size_t>(run->second - run->first + 1));
            std::iota(gone.begin(), gone.end(), run->first);
            FIcons.DeleteMany(gone);
            FRows.erase(FRows.begin() + run->first, FRows.begin() + run->second + 1);
            endRemoveRows();
        }
    }
    // Pictures whose bytes went with the icons go too.
    std::erase_if(FPictures, [](const auto& entry) { return entry.second.Buffer.expired(); });
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
            bool overBudget = false;
            try {
                image = BoxPicture(source, kBoxItemMaxHeight, &overBudget);
            } catch (const std::exception&) {
                // drawn without its picture, as an image that cannot be decoded
            }
            return [self, row, image = std::move(image), overBudget] { self->ShowPicture(row, image, overBudget); };
        });
    }
    return picture.Image.isNull() ? QVariant() : QVariant(picture.Image);
}

void TIconImagesModel::ShowPicture(int row, const QImage& picture, bool overBudget) {
    if (row < 0 || row >= static_cast<int>(FPictures.size())) return;
    TPicture& made = FPictures[static_cast<size_t>(row)];
    if (overBudget && made.Retries < kMaxBudgetRetries) {
        // Refused only for the pixels held elsewhere at that moment: asked again a little
        // later, when the row is drawn again (so only if it is still on view).
        const int delay = kFirstRetryMs << made.Retries++;
        ++FRetrying;
        QTimer::singleShot(delay, this, [this, row, shown = FShown] {
            if (shown != FShown) return;
            --FRetrying;
            FPictures[static_cast<size_t>(row)].Asked = false;
            const QModelIndex again = index(row);
            emit dataChanged(again, again, {Qt::DecorationRole});
        });
        return;
    }
    made.Image = picture;
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

int TIconImagesModel::PicturesPending() const { return FDecoder->Pending() + FRetrying; }

int TIconImagesModel::DecodesQueued() const { return FDecoder->Pending(); }

void TIconImagesModel::Reset(TAdvancedIcon* icon, int index) {
    beginResetModel();
    // Pictures on their way are for the rows going now.
    FDecoder->Abandon();
    ++FShown;
    FRetrying = 0;
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
