#include "widgets/IconDelegates.h"

#include "icons/IconImage.h"
#include "widgets/IconImagesModel.h"
#include "widgets/IconPixmaps.h"

#include <QApplication>
#include <QFontMetrics>
#include <QIcon>
#include <QPainter>

#include <algorithm>

namespace pictavo {

namespace {

// A tile: margins around the picture and between the picture and the text.
constexpr int kTileMargin = 4;

}  // namespace

QSize TIconTileDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (!Tiles) return QStyledItemDelegate::sizeHint(option, index);
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QFontMetrics& metrics = item.fontMetrics;
    const int textWidth = std::max(metrics.horizontalAdvance(item.text),
                                   metrics.horizontalAdvance(index.data(kIconDetailRole).toString()));
    const int height = std::max(item.decorationSize.height(), 2 * metrics.height());
    return {3 * kTileMargin + item.decorationSize.width() + textWidth, height + 2 * kTileMargin};
}

void TIconTileDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (!Tiles) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QString caption = item.text;
    const QString detail = index.data(kIconDetailRole).toString();
    // The view's own background, selection and focus frame, without its text or picture.
    item.text.clear();
    item.icon = QIcon();
    item.features &= ~QStyleOptionViewItem::HasDecoration;
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);

    const QRect rect = option.rect;
    const QSize picture = option.decorationSize;
    const QRect pictureRect(rect.left() + kTileMargin, rect.top() + (rect.height() - picture.height()) / 2,
                            picture.width(), picture.height());
    const bool selected = option.state & QStyle::State_Selected;
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    if (!icon.isNull()) icon.paint(painter, pictureRect, Qt::AlignCenter, selected ? QIcon::Selected : QIcon::Normal);

    // Two lines, centred as one block beside the picture, each cut with an ellipsis.
    const QFontMetrics& metrics = option.fontMetrics;
    const int left = pictureRect.right() + 1 + kTileMargin;
    const int width = std::max(0, rect.left() + rect.width() - kTileMargin - left);
    const int top = rect.top() + (rect.height() - 2 * metrics.height()) / 2;
    painter->save();
    painter->setFont(option.font);
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    // A line that fits by the width the tile was measured with is drawn whole.
    auto fitted = [&](const QString& text) {
        return metrics.horizontalAdvance(text) <= width ? text : metrics.elidedText(text, Qt::ElideRight, width);
    };
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    painter->drawText(QRect(left, top, width, metrics.height()), flags, fitted(caption));
    painter->drawText(QRect(left, top + metrics.height(), width, metrics.height()), flags, fitted(detail));
    painter->restore();
}

int BoxPictureMaxSide(const QFontMetrics& font) { return kBoxItemMaxHeight - font.height() - 3 * kBoxItemMargin; }

QSize BoxPictureSize(const TIconImage& image, const QFontMetrics& font) {
    const QSize own(std::max(image.Width(), 0), std::max(image.Height(), 0));
    const int side = BoxPictureMaxSide(font);
    if (own.width() <= side && own.height() <= side) return own;
    return own.scaled(side, side, Qt::KeepAspectRatio);
}

int ImageItemHeight(const TIconImage& image, const QFontMetrics& font) {
    return BoxPictureSize(image, font).height() + font.height() + 3 * kBoxItemMargin;
}

QSize TIconImageDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const TIconImage* image = TIconImagesModel::ImageAt(index);
    if (!image) return {QStyledItemDelegate::sizeHint(option, index).width(), kBoxItemDefaultHeight};
    const int width = std::max(BoxPictureSize(*image, option.fontMetrics).width(),
                               option.fontMetrics.horizontalAdvance(index.data().toString()));
    return {width + 2 * kBoxItemMargin, ImageItemHeight(*image, option.fontMetrics)};
}

void TIconImageDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const TIconImage* image = TIconImagesModel::ImageAt(index);
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
    // The picture comes from the model once it is decoded; until then the item has none.
    const QImage picture = index.data(Qt::DecorationRole).value<QImage>();
    if (!picture.isNull()) painter->drawImage(rect.left() + kBoxItemMargin, rect.top() + kBoxItemMargin, picture);
    painter->setFont(option.font);
    painter->setPen(selected ? palette.color(QPalette::HighlightedText) : palette.color(QPalette::Text));
    const int textTop = rect.top() + rect.height() - option.fontMetrics.height() - kBoxItemMargin;
    painter->drawText(
        QRect(rect.left() + kBoxItemMargin, textTop, rect.width() - kBoxItemMargin, option.fontMetrics.height()),
        Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, index.data(Qt::DisplayRole).toString());
    painter->restore();
}

}  // namespace pictavo
