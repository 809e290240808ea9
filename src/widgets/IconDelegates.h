// The item delegates of the icon views and of the image boxes: the tile view of an icon list
// (caption with a second line), and an image box's owner-drawn items (the image at its own
// size above its label).
#pragma once

#include <QStyledItemDelegate>

class QFontMetrics;

namespace pictavo {

class TIconImage;

// The role of an icon row's second caption, its image count ("图像数量: N"), drawn on a tile's
// second line.
inline constexpr int kIconDetailRole = Qt::UserRole + 1;

// Draws an icon view's items as tiles when told to: the picture on the left, the caption on
// one line and the second caption on the line under it. Otherwise the items look as the view
// draws them.
class TIconTileDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool Tiles = false;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

inline constexpr int kBoxItemDefaultHeight = 48;
inline constexpr int kBoxItemMaxHeight = 255;
// The margin around an item's image and text.
inline constexpr int kBoxItemMargin = 5;

// The side of the largest picture an item of a box in this font draws at its own size: the
// tallest item less three margins and a line of text. Larger pictures are scaled down,
// keeping their shape, to fit a square of that side, so that every image has its line and a
// picture of all of it.
int BoxPictureMaxSide(const QFontMetrics& font);
// The size an image is drawn at in a box in this font.
QSize BoxPictureSize(const TIconImage& image, const QFontMetrics& font);
// An image item's height: the drawn picture's height, a line of text and three margins (at
// most kBoxItemMaxHeight).
int ImageItemHeight(const TIconImage& image, const QFontMetrics& font);

// The owner drawing of an image box over a TIconImagesModel: each item fills its row with the
// box's colour (the selection colour when selected), draws its image's picture 5 pixels in from
// the top left, and writes its label 5 pixels above its bottom. Only the images drawn are
// decoded.
class TIconImageDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace pictavo
