// The pieces of the icon views without a form: the models over an icon list and over one
// icon's images, a tile drawn with its two lines, a raster as a Qt image, and selecting icons
// by dragging with the right button.
#include "base/Streams.h"
#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "icons/IconRaster.h"
#include "library/IconLibrary.h"
#include "support/IconFixtures.h"
#include "widgets/IconDelegates.h"
#include "widgets/IconImagesModel.h"
#include "widgets/IconListModel.h"
#include "widgets/IconPixmaps.h"
#include "widgets/RightButtonBand.h"
#include "widgets/VisibleRows.h"
#include "widgets/WorkService.h"

#include <QAbstractItemModelTester>
#include <QContextMenuEvent>
#include <QListView>
#include <QListWidget>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include <future>

using namespace pictavo;
using namespace pictavo::test;

namespace {

// An icon of square images of these sizes and depths.
std::unique_ptr<TAdvancedIcon> Icon(const std::vector<std::pair<int, int>>& images) {
    std::vector<IcoImage> entries;
    for (const auto& [size, bits] : images) {
        const auto bytes = MakeDib(MakePicture(size, size, bits == 32 ? 0 : 16, bits == 32), bits);
        entries.push_back({InfoFor(size, bits, bytes.size()), bytes});
    }
    const auto file = MakeIco(entries);
    TSpanStream stream(file);
    auto icon = std::make_unique<TAdvancedIcon>();
    if (!images.empty() && !icon->LoadFromStream(stream)) throw std::runtime_error("no icon");
    return icon;
}

// The picture a row of an icon list shows, in one format.
QImage Shown(const QAbstractItemModel& model, int row) {
    return model.index(row, 0)
        .data(Qt::DecorationRole)
        .value<QIcon>()
        .pixmap(32, 32)
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QStringList Names(const QAbstractItemModel& model) {
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row) names << model.index(row, 0).data().toString();
    return names;
}

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
    // A row per icon at the icon's own index; appending, removing and clearing reach views and
    // their selections through the model's notices (checked throughout by the model tester).
    void iconListModel() {
        TIconList icons;
        icons.AddIcon("a", Icon({{32, 8}, {16, 4}}));
        icons.AddIcon("b", Icon({{48, 32}}));
        icons.AddIcon("empty", Icon({}));
        TWorkService decoder(TWorkService::TMode::Manual);
        TIconListModel model(decoder, icons, Qt::white, 32, 32);
        model.SetVisibleRows(0, 2);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(Names(model), (QStringList{"a", "b", "empty"}));
        QCOMPARE(model.index(0, 0).data(kIconDetailRole).toString(), QStringLiteral("图像数量: 2"));
        // Pictures are made by the decoding service; until one comes the row shows the
        // background at the picture's size, so that a view lays it out as it stays.
        const QImage blank = model.index(1, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(32, 32).toImage();
        QCOMPARE(blank.size(), QSize(32, 32));
        QCOMPARE(blank.pixelColor(16, 16), QColor(Qt::white));
        QCOMPARE(model.PicturesPending(), 2);
        decoder.RunAll();
        QCOMPARE(model.PicturesPending(), 0);
        QVERIFY(!model.index(1, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(model.index(2, 0).data(Qt::DecorationRole).isNull());
        QVERIFY(!model.HidesRow(0));
        QVERIFY(model.HidesRow(2));
        // The picture is the 32-pixel image, at 32 x 32.
        QCOMPARE(model.index(0, 0).data(Qt::DecorationRole).value<QIcon>().availableSizes(),
                 QList<QSize>{QSize(32, 32)});

        QListView view;
        view.setModel(&model);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.selectionModel()->select(model.index(1, 0), QItemSelectionModel::Select);

        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        icons.AddIcon("c", Icon({{16, 8}}));
        icons.AddIcon("d", Icon({{16, 8}}));
        QCOMPARE(model.rowCount(), 3);  // not shown until told
        model.ShowAppended();
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted[0].at(1).toInt(), 3);
        QCOMPARE(inserted[0].at(2).toInt(), 4);
        model.ShowAppended();
        QCOMPARE(inserted.count(), 1);

        // The first row and the one after "b": "b" stays selected at its new row.
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        model.RemoveRows({2, 0, 2});
        QCOMPARE(removed.count(), 2);
        QCOMPARE(Names(model), (QStringList{"b", "c", "d"}));
        QCOMPARE(icons.Count(), 3);
        QCOMPARE(icons.Name(0), "b");
        QCOMPARE(view.selectionModel()->selectedIndexes(), QModelIndexList{model.index(0, 0)});
        model.RemoveRows({0, 1, 2});
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(icons.Count(), 0);

        // Rows scattered over a long list go under one reset, in one pass.
        for (int i = 0; i < 100; ++i) icons.AddIcon(std::to_string(i), Icon({{16, 8}}));
        model.ShowAppended();
        std::vector<int> even;
        for (int i = 0; i < 100; i += 2) even.push_back(i);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        removed.clear();
        model.RemoveRows(even);
        QCOMPARE(reset.count(), 1);
        QCOMPARE(removed.count(), 0);
        QCOMPARE(model.rowCount(), 50);
        QCOMPARE(icons.Count(), 50);
        for (int row = 0; row < 50; ++row) QCOMPARE(icons.Name(row), std::to_string(2 * row + 1));
        QVERIFY(!icons.Contains("0") && icons.Contains("1"));  // the names went with their icons
    }

    // Pictures on their way when rows are removed, appended or refilled land on their own rows,
    // and none meant for rows refilled since: each row ends with its own icon's picture.
    void picturesFollowTheirRows() {
        const auto fill = [](TIconList& icons, std::initializer_list<int> sizes) {
            for (const int size : sizes) icons.AddIcon(std::to_string(size), Icon({{size, size % 3 ? 8 : 32}}));
        };
        const auto expected = [](const TIconList& icons, int row) {
            return IconThumbnail(icons.Icon(row)->Images()[0]->OwnSizeSource(), Qt::white, 32)
                .convertToFormat(QImage::Format_RGB32);
        };
        TIconList icons;
        fill(icons, {8, 9, 10, 11, 12, 13, 14, 15});
        TWorkService decoder(TWorkService::TMode::Manual);
        TIconListModel model(decoder, icons, Qt::white, 32, 32);
        model.SetVisibleRows(0, 99);
        QCOMPARE(decoder.Waiting(), 8);
        model.RemoveRows({0, 2, 5});
        fill(icons, {20, 21});
        model.ShowAppended();
        decoder.RunAll();
        QCOMPARE(model.PicturesPending(), 0);
        QCOMPARE(Names(model), (QStringList{"9", "11", "12", "14", "15", "20", "21"}));
        for (int row = 0; row < model.rowCount(); ++row) QCOMPARE(Shown(model, row), expected(icons, row));

        model.Refill([&] { icons.Clear(); });
        model.Refill([&] { fill(icons, {24, 25, 26}); });
        decoder.RunAll();
        QCOMPARE(model.PicturesPending(), 0);
        for (int row = 0; row < model.rowCount(); ++row) QCOMPARE(Shown(model, row), expected(icons, row));

        // The box's pictures: asked for the rows on view, and those of an icon no longer shown
        // never land on the next one's rows.
        TIconImagesModel images(decoder);
        images.ShowIcon(icons, 0);
        images.SetVisibleRows(0, 0);
        QVERIFY(images.index(0, 0).data(Qt::DecorationRole).isNull());
        images.ShowIcon(icons, 2);
        QVERIFY(images.index(0, 0).data(Qt::DecorationRole).isNull());
        QCOMPARE(decoder.RunAll(), 1);
        QCOMPARE(images.PicturesPending(), 0);
        QCOMPARE(images.index(0, 0).data(Qt::DecorationRole).value<QImage>(),
                 BoxPicture(icons.Icon(2)->Images()[0]->HandleSource(), kBoxItemMaxHeight));
    }

    // An icon view over many icons: only the rows on screen and a screen's worth around them
    // are decoded, those on screen first; scrolled far away, their pictures are let go, and made
    // again when scrolled back to.
    void picturesFollowTheView() {
        TIconList icons;
        for (int i = 0; i < 2000; ++i) icons.AddIcon(std::to_string(i), Icon({{16 + i % 17, 8}}));
        TWorkService decoder(TWorkService::TMode::Manual);
        TIconListModel model(decoder, icons, Qt::white, 32, 32);
        QListView view;
        view.setViewMode(QListView::IconMode);
        view.setIconSize(QSize(32, 32));
        view.setResizeMode(QListView::Adjust);
        view.setModel(&model);
        view.resize(300, 200);
        int first = 0, last = -1;
        new TVisibleRows(&view, [&](int f, int l) {
            first = f;
            last = l;
            model.SetVisibleRows(f, l);
        });
        const QImage blank = Shown(model, 0);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_VERIFY_WITH_TIMEOUT(last >= first, 5000);
        const auto onScreen = [&](int row) {
            return view.viewport()->rect().intersects(view.visualRect(model.index(row)));
        };
        QVERIFY(first == 0 && onScreen(last) && !onScreen(last + 1));
        const int screen = last - first + 1;
        QVERIFY(screen < 200);
        QCOMPARE(model.PicturesPending(), 2 * screen);  // the screen and the one after it
        const auto made = [&](int row) { return Shown(model, row) != blank; };
        while (!made(last) && decoder.RunOne()) {
        }
        for (int row = first; row <= last; ++row) QVERIFY(made(row));
        QVERIFY(!made(last + 1));  // the rows on screen come first
        const QImage top = Shown(model, 0);
        decoder.RunAll();
        const qsizetype held = model.PictureBytes();
        QCOMPARE(held, qsizetype{2} * screen * 32 * 32 * 4);

        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
        QTRY_VERIFY_WITH_TIMEOUT(last == model.rowCount() - 1, 5000);
        decoder.RunAll();
        QCOMPARE(Shown(model, 0), blank);  // let go
        QVERIFY(model.PictureBytes() <= held);
        view.verticalScrollBar()->setValue(0);
        QTRY_VERIFY_WITH_TIMEOUT(first == 0, 5000);
        decoder.RunAll();
        QCOMPARE(Shown(model, 0), top);
    }

    // Rows over the very same bytes wait for one decode and share its picture; a decode refused
    // only because the file's decode budget was spent at that moment waits, asked again by no
    // clock, until pixels are let go, and is made then, in the icon views and the image box alike.
    void picturesSharedAndRetriedAfterTheBudget() {
        const auto dib = MakeDib(MakePicture(32, 32, 16), 8);
        const uint64_t limit = 4 * RasterBytes(32, 32);
        const auto budget = std::make_shared<TDecodeBudget>(limit);
        TAdvancedIcon source;
        QVERIFY(source.LoadFromBytes(
            std::make_shared<const TByteBuffer>(MakeIco({{InfoFor(32, 8, dib.size()), dib}}), budget)));
        TIconList icons;
        for (int i = 0; i < 50; ++i) {
            auto copy = std::make_unique<TAdvancedIcon>();
            copy->Assign(source);
            icons.AddIcon(std::to_string(i), std::move(copy));
        }
        QVERIFY(budget->Reserve(limit));  // held elsewhere, for now
        TWorkService decoder(TWorkService::TMode::Manual);
        TIconListModel model(decoder, icons, Qt::white, 32, 32);
        model.SetVisibleRows(0, 49);
        TIconImagesModel box(decoder);
        box.ShowIcon(icons, 0);
        box.SetVisibleRows(0, 0);
        QCOMPARE(model.PicturesPending(), 1);
        QCOMPARE(decoder.RunAll(), 2);  // both refused
        QTest::qWait(300);
        QCOMPARE(decoder.Waiting(), 0);
        QCOMPARE(model.WaitingForMemory() + model.PicturesPending() + box.PicturesPending(), 3);
        budget->Release(limit);
        QTRY_COMPARE(decoder.Waiting(), 2);
        decoder.RunAll();
        QCOMPARE(model.PicturesPending() + box.PicturesPending(), 0);
        for (int row = 0; row < model.rowCount(); ++row)
            QVERIFY2(!model.index(row, 0).data(Qt::DecorationRole).value<QIcon>().isNull(),
                     qPrintable(QString::number(row)));
        QVERIFY(!box.index(0, 0).data(Qt::DecorationRole).isNull());
    }

    // A picture converted for the window counts against the file's budget beside its raster:
    // where the budget holds the raster but not both, the picture is refused for now.
    void convertedPicturesCountInTheBudget() {
        const auto dib = MakeDib(MakePicture(64, 64, 0, true), 32);
        const auto budget = std::make_shared<TDecodeBudget>(2 * RasterBytes(64, 64));
        const auto buffer = std::make_shared<const TByteBuffer>(dib, budget);
        const TPixelSource source{buffer, 0, dib.size(), 0, 0};
        bool overBudget = false;
        QVERIFY(!IconThumbnail(source, Qt::white, 32, &overBudget).isNull());
        QVERIFY(budget->Reserve(RasterBytes(64, 64) / 2));
        QVERIFY(IconThumbnail(source, Qt::white, 32, &overBudget).isNull());
        QVERIFY(overBudget);
        QCOMPARE(budget->InUse(), RasterBytes(64, 64) / 2);  // nothing of the refused picture is kept
    }

    // Scrolling an image box through an icon's images decodes only what comes near the rows on
    // view: the decodes of rows scrolled past leave the queue.
    void boxDecodesOnlyNearTheRowsOnView() {
        std::vector<std::pair<int, int>> sizes(1000, {16, 8});
        TIconList icons;
        icons.AddIcon("many", Icon(sizes));
        TWorkService decoder(TWorkService::TMode::Manual);
        TIconImagesModel box(decoder);
        box.ShowIcon(icons, 0);
        for (int first = 0; first + 10 <= 1000; first += 10) box.SetVisibleRows(first, first + 9);
        QVERIFY2(box.DecodesQueued() <= 30, qPrintable(QString::number(box.DecodesQueued())));
        decoder.RunAll();
        QVERIFY(!box.index(995, 0).data(Qt::DecorationRole).isNull());
        QCOMPARE(box.PicturesPending(), 0);
    }

    // An icon of many wide images scrolled through in a box keeps only the last pictures made,
    // within kMaxBoxPictureBytes, and those near the rows on view; one let go is made again when
    // on view again, and the bytes counted are those held.
    void boxPicturesAreBounded() {
        const auto bytes = MakeDib(MakePicture(240, 240, 0, true), 32);
        const size_t picture = size_t{240} * 240 * 4;
        const int count = static_cast<int>(kMaxBoxPictureBytes / picture) + 8;
        const auto file =
            MakeIco(std::vector<IcoImage>(static_cast<size_t>(count), {InfoFor(0, 32, bytes.size()), bytes}));
        TSpanStream stream(file);
        TIconList icons;
        auto icon = std::make_unique<TAdvancedIcon>();
        QVERIFY(icon->LoadFromStream(stream));
        icons.AddIcon("large", std::move(icon));
        TWorkService decoder(TWorkService::TMode::Manual);
        TIconImagesModel images(decoder);
        images.ShowIcon(icons, 0);
        const auto held = [&] {
            qsizetype sum = 0;
            for (int row = 0; row < count; ++row)
                sum += images.index(row, 0).data(Qt::DecorationRole).value<QImage>().sizeInBytes();
            return sum;
        };
        images.SetVisibleRows(0, count - 1);
        QCOMPARE(decoder.RunAll(), count);
        QVERIFY(held() > kMaxBoxPictureBytes / 2 && held() <= kMaxBoxPictureBytes);
        QCOMPARE(images.PictureBytes(), held());
        QVERIFY(images.index(0, 0).data(Qt::DecorationRole).isNull());
        // The last row alone on view: all but the rows next to it are let go.
        images.SetVisibleRows(count - 1, count - 1);
        QCOMPARE(held(), 3 * images.index(count - 1, 0).data(Qt::DecorationRole).value<QImage>().sizeInBytes());
        QCOMPARE(images.PictureBytes(), held());
        images.SetVisibleRows(0, 0);
        decoder.RunAll();
        QVERIFY(!images.index(0, 0).data(Qt::DecorationRole).isNull());
        QCOMPARE(images.PictureBytes(), held());
    }

    // Work runs off this thread and its step on it; the step of work abandoned while it runs
    // never runs, and its cancel flag is set. In manual mode the same holds for work abandoned
    // before it ran, while the work posted after the abandon steps.
    void abandonedWorkNeverSteps() {
        TWorkService service;
        TWorkChannel queue(service);
        std::promise<void> start, release;
        std::shared_future<void> released = release.get_future().share();
        QStringList steps;
        queue.Post([&, released] {
            start.set_value();
            released.wait();
            return [&] { steps << "abandoned"; };
        });
        start.get_future().wait();
        const auto cancel = queue.CancelFlag();
        queue.Abandon();
        QCOMPARE(queue.Pending(), 0);
        // The running work's reads are told to stop; work posted from now on is not.
        QVERIFY(cancel->load());
        QVERIFY(!queue.CancelFlag()->load());
        QThread* worker = nullptr;
        queue.Post([&] {
            worker = QThread::currentThread();
            return [&] { steps << (QThread::currentThread() == thread() ? "kept" : "wrong thread"); };
        });
        QCOMPARE(queue.Pending(), 1);
        release.set_value();
        QTRY_COMPARE_WITH_TIMEOUT(steps, QStringList{"kept"}, 5000);
        QVERIFY(worker && worker != thread());
        QCOMPARE(queue.Pending(), 0);

        TWorkService manual(TWorkService::TMode::Manual);
        TWorkChannel first(manual), second(manual);
        steps.clear();
        const auto post = [&](TWorkChannel& channel, const QString& name) {
            channel.Post([&steps, name] { return [&steps, name] { steps << name; }; });
        };
        post(first, "abandoned");
        post(second, "other");
        first.Abandon();
        post(first, "kept");
        QCOMPARE(manual.RunAll(), 2);
        QCOMPARE(steps, (QStringList{"other", "kept"}));
    }

    void iconListModelRefillShowsWhatWasReadBeforeAnError() {
        TIconList icons;
        TWorkService decoder(TWorkService::TMode::Manual);
        TIconListModel model(decoder, icons, Qt::white, 32, 32);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        bool raised = false;
        try {
            model.Refill([&] {
                icons.AddIcon("f", Icon({{16, 8}}));
                throw std::runtime_error("the rest cannot be read");
            });
        } catch (const std::runtime_error&) {
            raised = true;
        }
        QVERIFY(raised);
        QCOMPARE(Names(model), QStringList{"f"});
        model.Clear();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(icons.Count(), 0);
    }

    // One icon's images sorted by depth, then width, each row naming its own image.
    void iconImagesModel() {
        TIconList icons;
        icons.AddIcon("a", Icon({{48, 32}, {16, 8}, {16, 4}, {32, 4}}));
        TWorkService decoder(TWorkService::TMode::Manual);
        TIconImagesModel model(decoder);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 0);
        model.ShowIcon(icons, 0);
        QCOMPARE(Names(model), (QStringList{"16 x 16 - 4bit", "32 x 32 - 4bit", "16 x 16 - 8bit", "48 x 48 - 32bit"}));
        QCOMPARE(model.IconIndex(), 0);
        for (int row = 0; row < model.rowCount(); ++row) {
            const TIconImage* image = TIconImagesModel::ImageAt(model.index(row, 0));
            QVERIFY(image);
            QCOMPARE(QString::fromStdString(image->Label()), model.index(row, 0).data().toString());
        }
        QVERIFY(!TIconImagesModel::ImageAt(QModelIndex()));
        // The icon view asking for the icon's thumbnail leaves its images in the box's order, and
        // a picture follows its image wherever the images are reordered: a row draws the image it
        // names, which is the one a save of the row writes.
        model.SetVisibleRows(0, 3);
        decoder.RunAll();
        TIconListModel thumbnails(decoder, icons, Qt::white, 32, 32);
        thumbnails.SetVisibleRows(0, 0);
        decoder.RunAll();
        QCOMPARE(Names(model), (QStringList{"16 x 16 - 4bit", "32 x 32 - 4bit", "16 x 16 - 8bit", "48 x 48 - 32bit"}));
        icons.Icon(0)->Images().SortBySize();
        for (int row = 0; row < model.rowCount(); ++row) {
            const TIconImage* image = model.Image(row);
            QCOMPARE(model.index(row, 0).data(Qt::DecorationRole).value<QImage>().size(),
                     QSize(image->Width(), image->Height()));
        }
        model.ShowIcon(icons, 1);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.IconIndex(), -1);
        model.ShowIcon(icons, 0);
        model.Clear();
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!model.Icon());
    }

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
