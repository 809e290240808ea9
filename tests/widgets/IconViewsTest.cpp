// The pieces of the icon views without a form: a tile drawn with its two lines, a raster as a
// Qt image, and selecting icons by dragging with the right button.
#include "icons/IconRaster.h"
#include "widgets/IconDelegates.h"
#include "widgets/IconPixmaps.h"
#include "widgets/RightButtonBand.h"

#include <QContextMenuEvent>
#include <QListWidget>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

using namespace pictavo;

namespace {

// The runs of consecutive image rows, within columns [left, right), that hold a dark pixel.
QList<QPair<int, int>> InkBands(const QImage& image, int left, int right) {
    QList<QPair<int, int>> bands;
    int start = -1;
    for (int y = 0; y <= image.height(); ++y) {
        bool ink = false;
        for (int x = left; y < image.height() && x < right && !ink; ++x) ink = qGray(image.pixel(x, y)) < 128;
        if (ink && start < 0) start = y;
        if (!ink && start >= 0) {
            bands.append({start, y});
            start = -1;
        }
    }
    return bands;
}

void SendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, target->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : Qt::RightButton,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

}  // namespace

class IconViewsTest : public QObject {
    Q_OBJECT
private slots:
    // A tile: the caption on one line and the image count on the line under it, both right of
    // the picture; in icon view the same delegate draws as the view does.
    void tileHasTwoLines() {
        QListWidget view;
        view.setIconSize(QSize(32, 32));
        QPixmap picture(32, 32);
        picture.fill(Qt::blue);
        auto* item = new QListWidgetItem(QIcon(picture), QStringLiteral("32512"), &view);
        item->setData(kIconDetailRole, QStringLiteral("图像数量: 10"));
        TIconTileDelegate tiles;
        tiles.Tiles = true;

        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.rect = QRect(0, 0, 180, 44);
        option.decorationSize = QSize(32, 32);
        option.state |= QStyle::State_Enabled;
        option.palette.setColor(QPalette::Base, Qt::white);
        option.palette.setColor(QPalette::Text, Qt::black);
        QImage tile(180, 44, QImage::Format_RGB32);
        tile.fill(Qt::white);
        {
            QPainter painter(&tile);
            tiles.paint(&painter, option, view.model()->index(0, 0));
        }
        // The picture at the left, vertically centred.
        QCOMPARE(tile.pixelColor(4 + 16, 22), QColor(Qt::blue));
        const QList<QPair<int, int>> lines = InkBands(tile, 40, 180);
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[0].second < lines[1].first);
        // The second line is the longer one.
        auto inkWidth = [&](QPair<int, int> band) {
            int last = 0;
            for (int y = band.first; y < band.second; ++y)
                for (int x = 40; x < 180; ++x)
                    if (qGray(tile.pixel(x, y)) < 128) last = std::max(last, x);
            return last;
        };
        QVERIFY(inkWidth(lines[1]) > inkWidth(lines[0]));
        // A tile of its own size shows both lines whole: just as on a wider one.
        const QSize own = tiles.sizeHint(option, view.model()->index(0, 0));
        QVERIFY(own.height() >= 2 * option.fontMetrics.height());
        auto draw = [&](int width) {
            QImage image(width, own.height(), QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            option.rect = QRect(QPoint(0, 0), QSize(width, own.height()));
            tiles.paint(&painter, option, view.model()->index(0, 0));
            return image;
        };
        QCOMPARE(draw(own.width()), draw(own.width() + 200).copy(0, 0, own.width(), own.height()));
    }

    // Images with alpha keep it (premultiplied); the others are opaque where the mask is clear
    // and transparent where it is set, whatever colour is stored there.
    void rasterToImage() {
        TIconRaster raster;
        raster.Width = 2;
        raster.Height = 2;
        raster.Colour = {0xFFFF0000u, 0x80FFFFFFu, 0x00123456u, 0x400000FFu};
        raster.Mask = {0, 0, 1, 0};
        raster.HasAlpha = true;
        QImage image = RasterToImage(raster);
        QCOMPARE(image.size(), QSize(2, 2));
        QCOMPARE(image.format(), QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(image.pixel(0, 0), 0xFFFF0000u);
        QCOMPARE(image.pixel(1, 0), qPremultiply(0x80FFFFFFu));
        QCOMPARE(qAlpha(image.pixel(0, 1)), 0);
        QCOMPARE(image.pixel(1, 1), qPremultiply(0x400000FFu));

        raster.HasAlpha = false;
        raster.Colour = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0x00FFFFFFu};
        raster.Mask = {0, 1, 0, 1};
        image = RasterToImage(raster);
        QCOMPARE(image.pixel(0, 0), 0xFFFF0000u);
        QCOMPARE(qAlpha(image.pixel(1, 0)), 0);
        QCOMPARE(image.pixel(0, 1), 0xFF0000FFu);
        QCOMPARE(qAlpha(image.pixel(1, 1)), 0);

        raster.Width = 0;
        QVERIFY(RasterToImage(raster).isNull());
    }

    // Dragging with the right button from an empty spot selects the icons the rectangle
    // touches and opens no menu; a right click without a drag opens the menu on release; a list
    // of single selection keeps its one item.
    void rightButtonDragSelects() {
        QListWidget view;
        view.setViewMode(QListView::IconMode);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.setIconSize(QSize(32, 32));
        view.setGridSize(QSize(60, 60));
        view.resize(400, 300);
        for (int i = 0; i < 6; ++i) new QListWidgetItem(QString::number(i), &view);
        view.setContextMenuPolicy(Qt::CustomContextMenu);
        QSignalSpy menus(&view, &QWidget::customContextMenuRequested);
        new TRightButtonBand(&view);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QWidget* viewport = view.viewport();

        auto press = [&](QPoint at) {
            SendMouse(viewport, QEvent::MouseButtonPress, at, Qt::RightButton);
            // Here the window system asks for the menu as the button goes down.
            QContextMenuEvent menu(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
            QApplication::sendEvent(viewport, &menu);
        };
        const QRect second = view.visualItemRect(view.item(1));
        const QRect first = view.visualItemRect(view.item(0));
        const QPoint empty(390, 290);
        QVERIFY(!view.indexAt(empty).isValid());
        press(empty);
        SendMouse(viewport, QEvent::MouseMove, second.center(), Qt::RightButton);
        SendMouse(viewport, QEvent::MouseButtonRelease, second.center(), Qt::NoButton);
        QCOMPARE(menus.count(), 0);
        QList<int> rows;
        for (const QModelIndex& index : view.selectionModel()->selectedIndexes()) rows << index.row();
        std::sort(rows.begin(), rows.end());
        QList<int> expected;
        for (int i = 0; i < view.count(); ++i)
            if (view.visualItemRect(view.item(i)).intersects(QRect(second.center(), empty).normalized())) expected << i;
        QVERIFY(expected.size() >= 2);
        QVERIFY(!expected.contains(0));
        QCOMPARE(rows, expected);

        // A click without moving on an unselected item: it alone is selected and the menu opens
        // on release.
        press(first.center());
        QCOMPARE(menus.count(), 0);
        SendMouse(viewport, QEvent::MouseButtonRelease, first.center(), Qt::NoButton);
        QCOMPARE(menus.count(), 1);
        QCOMPARE(view.selectedItems(), QList<QListWidgetItem*>{view.item(0)});

        view.setSelectionMode(QAbstractItemView::SingleSelection);
        press(empty);
        SendMouse(viewport, QEvent::MouseMove, second.center(), Qt::RightButton);
        SendMouse(viewport, QEvent::MouseButtonRelease, second.center(), Qt::NoButton);
        QVERIFY(view.selectedItems().size() <= 1);
    }
};

QTEST_MAIN(IconViewsTest)
#include "IconViewsTest.moc"
