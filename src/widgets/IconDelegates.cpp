#include "widgets/IconDelegates.h"

#include "icons/IconImage.h"
#include "widgets/IconPixmaps.h"

#include <QFontMetrics>
#include <QListWidgetItem>
#include <QPainter>

#include <algorithm>

namespace pictavo {

void TIconTileDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!Tiles) return;
    option->decorationPosition = QStyleOptionViewItem::Left;
    option->displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
    const QString detail = index.data(kIconDetailRole).toString();
    if (!detail.isEmpty()) option->text += u'\n' + detail;
}

int ImageItemHeight(const TIconImage& image, const QFontMetrics& font, TBoxHeightRule rule) {
    const int height = image.Height() + font.height() + 3 * kBoxItemMargin;
    if (height <= kBoxItemMaxHeight) return height;
    return rule == TBoxHeightRule::HideTaller ? 0 : kBoxItemMaxHeight;
}

void SetItemImage(QListWidgetItem& item, const TIconImage* image) {
    item.setData(kIconImageRole, QVariant::fromValue(reinterpret_cast<quintptr>(image)));
}

const TIconImage* ItemImage(const QModelIndex& index) {
    return reinterpret_cast<const TIconImage*>(index.data(kIconImageRole).value<quintptr>());
}

QSize TIconImageDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const TIconImage* image = ItemImage(index);
    const int height = image ? ImageItemHeight(*image, option.fontMetrics, FRule) : kBoxItemDefaultHeight;
    if (!image) return {QStyledItemDelegate::sizeHint(option, index).width(), height};
    const int width = std::max(image->Width(), option.fontMetrics.horizontalAdvance(index.data().toString()));
    return {width + 2 * kBoxItemMargin, height};
}

void TIconImageDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const TIconImage* image = ItemImage(index);
    if (!image) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QRect rect = option.rect;
    if (rect.height() <= 0) return;
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& palette = option.palette;
    painter->save();
    painter->setClipRect(rect);
    painter->fillRect(rect, selected ? palette.highlight() : palette.base());
    if (const TIconRaster* raster = image->GetHandle())
        painter->drawImage(rect.left() + kBoxItemMargin, rect.top() + kBoxItemMargin, RasterToImage(*raster));
    painter->setFont(option.font);
    painter->setPen(selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Text));
    const int textTop = rect.top() + rect.height() - option.fontMetrics.height() - kBoxItemMargin;
    painter->drawText(QRect(rect.left() + kBoxItemMargin, textTop, rect.width() - kBoxItemMargin,
                            option.fontMetrics.height()),
                      Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, index.data(Qt::DisplayRole).toString());
    painter->restore();
}

}  // namespace pictavo
