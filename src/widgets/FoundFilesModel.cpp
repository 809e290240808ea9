#include "widgets/FoundFilesModel.h"

#include "search/FileTimes.h"

#include <QCoreApplication>
#include <QDate>
#include <QTime>

#include <algorithm>
#include <numeric>

namespace pictavo {

namespace {

const char* const kCaptions[TFoundFilesModel::kColumnCount] = {
    QT_TRANSLATE_NOOP("TFoundFilesModel", "文件名称    "), QT_TRANSLATE_NOOP("TFoundFilesModel", "图标   "),
    QT_TRANSLATE_NOOP("TFoundFilesModel", "修改时间    "), QT_TRANSLATE_NOOP("TFoundFilesModel", "大小 [KB]  "),
    QT_TRANSLATE_NOOP("TFoundFilesModel", "位置      ")};

// The locale's long time format without its time-zone field, which a file's local time
// stamp does not carry.
QString TimeFormatWithoutZone(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'') quoted = !quoted;
        if (!quoted && c == u't') continue;
        result += c;
    }
    return result.simplified();
}

template <typename T>
int Order(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int Sign(int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

}  // namespace

QString FileTimeText(uint32_t dosTime, const QLocale& locale) {
    const TDosDateTime t = DecodeDosDateTime(dosTime);
    const QString date = locale.toString(QDate(t.Year, t.Month, t.Day), QLocale::ShortFormat);
    if (t.Hour == 0 && t.Minute == 0 && t.Second == 0) return date;
    return date + u' ' + locale.toString(QTime(t.Hour, t.Minute, t.Second), TimeFormatWithoutZone(locale));
}

int CompareFoundFiles(int column, const TFoundFile& a, const TFoundFile& b, const QCollator& collator) {
    switch (column) {
    case TFoundFilesModel::colName:
        return Sign(collator.compare(a.Name, b.Name));
    case TFoundFilesModel::colIcons:
        return Order(a.Row.Icons, b.Row.Icons);
    case TFoundFilesModel::colTime:
        // The packed local time orders as the date and time it holds.
        return Order(a.Row.Time, b.Row.Time);
    case TFoundFilesModel::colSize:
        return Order(a.Row.SizeKB, b.Row.SizeKB);
    default:
        return Sign(collator.compare(a.Folder, b.Folder));
    }
}

int CompareTypedText(const QString& typed, const QString& caption) {
    return Sign(QString::compare(typed, caption.left(typed.size()), Qt::CaseInsensitive));
}

TFoundFilesModel::TFoundFilesModel(QObject* parent)
    : QAbstractTableModel(parent), FDirections(kColumnCount, TSortDirection::None) {
    FCollator.setCaseSensitivity(Qt::CaseSensitive);
    FRevealTimer.setSingleShot(true);
    connect(&FRevealTimer, &QTimer::timeout, this, [this] {
        if (Updating()) Reveal();
    });
    OnCompare = [this](int column, const TFoundFile& a, const TFoundFile& b) {
        return CompareFoundFiles(column, a, b, FCollator);
    };
}

int TFoundFilesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FFiles.size());
}

int TFoundFilesModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant TFoundFilesModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const TFoundFile& file = FFiles[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case colName:
            return file.Name;
        case colIcons:
            return QString::number(file.Row.Icons);
        case colTime:
            // Made when shown: most rows of a long list are never on screen.
            return FileTimeText(file.Row.Time);
        case colSize:
            return QString::number(file.Row.SizeKB);
        default:
            return file.Folder;
        }
    }
    if (role == Qt::TextAlignmentRole && (index.column() == colIcons || index.column() == colSize))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant TFoundFilesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
    if (role == Qt::DisplayRole) return QCoreApplication::translate("TFoundFilesModel", kCaptions[section]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue((section == colIcons || section == colSize ? Qt::AlignRight : Qt::AlignLeft) |
                                   Qt::AlignVCenter);
    return {};
}

void TFoundFilesModel::BeginUpdate() {
    // The first rows of an update reach the views at once.
    if (FUpdateCount++ == 0) FSinceReveal.invalidate();
}

void TFoundFilesModel::EndUpdate() {
    if (FUpdateCount == 0) return;
    if (--FUpdateCount > 0) return;
    Reveal();
    Sort();
}

void TFoundFilesModel::Reveal() {
    FRevealTimer.stop();
    FSinceReveal.start();
    if (FPending.empty()) return;
    const int first = static_cast<int>(FFiles.size());
    beginInsertRows({}, first, first + static_cast<int>(FPending.size()) - 1);
    FFiles.insert(FFiles.end(), std::make_move_iterator(FPending.begin()), std::make_move_iterator(FPending.end()));
    FPending.clear();
    endInsertRows();
}

int TFoundFilesModel::Compare(const TFoundFile& a, const TFoundFile& b) const {
    const int order = OnCompare(FSortColumn, a, b);
    return Direction(FSortColumn) == TSortDirection::Descending ? -order : order;
}

void TFoundFilesModel::AddRow(const TIconFileRow& row) {
    TFoundFile file{row, QString::fromStdString(row.Name), QString::fromStdString(row.Folder)};
    if (Updating()) {
        FPending.push_back(std::move(file));
        if (!FSinceReveal.isValid() || FSinceReveal.elapsed() >= RevealInterval)
            Reveal();
        else if (!FRevealTimer.isActive())
            // Rows that come while a run waits for a slow file still reach the views in time.
            FRevealTimer.start(static_cast<int>(RevealInterval - FSinceReveal.elapsed()));
        return;
    }
    const auto place = std::upper_bound(FFiles.begin(), FFiles.end(), file,
                                        [this](const TFoundFile& a, const TFoundFile& b) { return Compare(a, b) < 0; });
    const int at = static_cast<int>(place - FFiles.begin());
    beginInsertRows({}, at, at);
    FFiles.insert(place, std::move(file));
    endInsertRows();
}

void TFoundFilesModel::Clear() {
    FPending.clear();
    if (FFiles.empty()) return;
    beginResetModel();
    FFiles.clear();
    endResetModel();
}

void TFoundFilesModel::ToggleSort(int column) {
    if (column < 0 || column >= kColumnCount) return;
    TSortDirection& direction = FDirections[static_cast<size_t>(column)];
    direction = direction == TSortDirection::Ascending ? TSortDirection::Descending : TSortDirection::Ascending;
    FSortColumn = column;
    Sort();
}

void TFoundFilesModel::Sort() {
    std::vector<int> order(FFiles.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        return Compare(FFiles[static_cast<size_t>(a)], FFiles[static_cast<size_t>(b)]) < 0;
    });
    if (std::is_sorted(order.begin(), order.end())) return;

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRow(order.size());
    std::vector<TFoundFile> sorted;
    sorted.reserve(FFiles.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newRow[static_cast<size_t>(order[i])] = static_cast<int>(i);
        sorted.push_back(std::move(FFiles[static_cast<size_t>(order[i])]));
    }
    FFiles = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after << this->index(newRow[static_cast<size_t>(index.row())], index.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace pictavo
