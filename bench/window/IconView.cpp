// The main window's current-file view on a DLL of many group icons.
//
//   pictavo_view_bench [--icons N] [--rounds R] [--library N]
//
// Makes a folder holding a DLL of N group icons (default 300), each of four images as programs
// store them: 16 x 16 at 4 bits, 32 x 32 at 8 bits, 48 x 48 at 32 bits and, in every third
// icon, a 256-px PNG; plus a small .ico file. The main window (shown on the platform Qt picks;
// offscreen without a display) lists the folder; then, R times (default 5), the DLL's row is
// chosen in the file list, as a click does, and the time is taken from that choice until the
// icon list holds a thumbnail per icon and panel 1 reads "就绪 (... 秒)", and until the icon
// list has been painted. Between rounds the .ico file's row is chosen, so that the DLL is read
// again (the window reloads only when the file changes).
// Prints the median and fastest against a target, and the images decoded per round against
// the thumbnails shown: only the image each thumbnail draws should be decoded. A timer ticking
// on the window's event loop meanwhile gives the longest time the window did not answer
// (the longest gap between ticks, the choice itself included).
// With --png SIZE every icon is instead one distinct SIZE x SIZE PNG (a large file whose
// pictures take long to decode): the window should answer all along. With --same-png SIZE every
// group names one and the same SIZE x SIZE PNG: it should be decoded once for all of them.
// Then "添加图标到图标库 › 所有对象" three times, each timed on the window's thread, and the
// memory the process holds once the library's thumbnails are made.
// With --library N (N up to 65535) it measures only this: an NE icon library of N icons is chosen
// (every icon's one 16 x 16 image drawn differently; an NE file holds at most 65535 data
// positions, so icons some N/2 apart name the same group, never two near each other), R times; the time from the
// choice, and from the icons being listed, until every icon on the first screen shows its picture, and the bytes of the
// pictures the icon list holds once all it asked for have come (target <= 64 MB, and <= 100 ms to the first screen).
// With --close N, finally, a window lists a folder of N copies of the DLL, adds them all to the
// library, and is closed 1 s later: the time its closing takes (the reads must stop).
// Then, R times, "保存为图标 › 所有对象" saves every icon into an empty folder, timed from the
// folder chooser's answer until the command returns, against `pictavo-cli extract` of the same
// DLL into another folder (one whole run of the program each); both must write the same files.
#include "WindowParts.h"
#include "app/Main.h"
#include "icons/IconRaster.h"
#include "icons/IconTypes.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"
#include "widgets/FileListView.h"
#include "widgets/FoundFilesModel.h"
#include "widgets/IconImagesModel.h"
#include "widgets/IconListModel.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/PropStorageEh.h"
#include "widgets/ShellTree.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QIcon>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

using namespace pictavo;
using namespace pictavo::test;
using pictavo::bench::Part;

namespace {

constexpr double kTargetMs = 300;

struct TOptions {
    int Icons = 300;
    int Rounds = 5;
    int Png = 0;           // the size of every icon's one PNG image; 0 for the usual four images
    bool SamePng = false;  // every group names one and the same PNG
    int Close = 0;         // copies of the DLL added to the library before the window closes
    int Library = 0;       // icons of the NE library measured instead of everything else
};

IcoImage Image(int size, int bitCount) {
    if (size == 256) {
        auto png = MakePng(MakePicture(256, 256, 4, true));
        return {InfoFor(256, 32, png.size()), std::move(png)};
    }
    const Picture picture = bitCount <= 8 ? MakePicture(size, size, 1 << bitCount) : MakePicture(size, size, 0, true);
    auto bytes = MakeDib(picture, bitCount);
    return {InfoFor(size, bitCount, bytes.size()), std::move(bytes)};
}

// The DLL: every group gets icon resources of its own, numbered from 1. Returns the number of
// images.
int WriteDll(const std::string& path, int icons) {
    const IcoImage small = Image(16, 4), middle = Image(32, 8), large = Image(48, 32), png = Image(256, 32);
    std::vector<PeResource> resources;
    uint16_t nextIcon = 1;
    int images = 0;
    for (int g = 1; g <= icons; ++g) {
        std::vector<IcoImage> group{small, middle, large};
        if (g % 3 == 0) group.push_back(png);
        resources.push_back(
            PeResource{RT_GROUP_ICON, true, static_cast<uint16_t>(g), {}, 1033, GroupResource(group, nextIcon)});
        for (const IcoImage& image : group)
            resources.push_back(PeResource{RT_ICON, true, nextIcon++, {}, 1033, image.Bytes});
        images += static_cast<int>(group.size());
    }
    WriteBytes(path, BuildPe(resources, /*pe64=*/true).Bytes);
    return images;
}

// The DLL of large pictures: every group one PNG of size x size, each drawn differently, or
// (same) every group naming the first one.
int WritePngDll(const std::string& path, int icons, int size, bool same) {
    std::vector<PeResource> resources;
    for (int g = 1; g <= icons; ++g) {
        if (same && g > 1) {
            resources.push_back(
                PeResource{RT_GROUP_ICON, true, static_cast<uint16_t>(g), {}, 1033, resources.front().Data});
            continue;
        }
        // One colour with a diagonal of another: small files, full-size pictures.
        Picture picture{size, size,
                        std::vector<uint32_t>(static_cast<size_t>(size) * size, 0xFF000000u | (g * 0x10305u)),
                        std::vector<uint8_t>(static_cast<size_t>(size) * size, 0)};
        for (int i = 0; i < size; ++i) picture.Colour[static_cast<size_t>(i) * size + i] = 0xFFFFFFFFu;
        const auto png = MakePng(picture);
        const IcoImage image{InfoFor(size, 32, png.size()), png};
        const auto id = static_cast<uint16_t>(g);
        resources.push_back(PeResource{RT_GROUP_ICON, true, id, {}, 1033, GroupResource({image}, id)});
        resources.push_back(PeResource{RT_ICON, true, id, {}, 1033, image.Bytes});
    }
    WriteBytes(path, BuildPe(resources, /*pe64=*/true).Bytes);
    return icons;
}

// The NE library: `icons` group records over as many groups as fit (some 31,600), each naming
// an icon resource of its own, a 16 x 16 image at 4 bits in colours of its own. The resident-name
// table stands in front of the resource table, whose end lies too far for a 16-bit offset past it.
void WriteLibrary(const std::string& path, int icons) {
    // Data in 512-byte units (a group or an image fits one), at 16-bit unit numbers after the
    // resource table: as many distinct images as leave a unit for each image and its group
    // (and a few for the headers).
    const auto units = [&](int distinct) {
        return ((256 + 12 * (static_cast<size_t>(icons) + static_cast<size_t>(distinct))) >> 9) +
               2 * static_cast<size_t>(distinct);
    };
    int distinct = std::min(icons, 0x7FFF);
    while (units(distinct) > 0xFFFF - 2) --distinct;
    std::vector<std::vector<uint8_t>> dibs, blobs;  // blobs: the groups, then the images
    std::vector<NeRecord> groups, images;
    for (int k = 0; k < distinct; ++k) {
        Picture picture{16, 16, std::vector<uint32_t>(256), std::vector<uint8_t>(256, 0)};
        for (int i = 0; i < 256; ++i)
            picture.Colour[static_cast<size_t>(i)] =
                0xFF000000u | ((static_cast<uint32_t>(k) * 2654435761u) >> ((i + k) % 4 * 2));
        dibs.push_back(MakeDib(picture, 4));
        blobs.push_back(
            GroupResource({{InfoFor(16, 4, dibs.back().size()), dibs.back()}}, static_cast<uint16_t>(k + 1)));
        images.push_back({static_cast<uint16_t>(0x8000 | (k + 1)), static_cast<size_t>(distinct + k)});
    }
    for (auto& dib : dibs) blobs.push_back(std::move(dib));
    for (int i = 0; i < icons; ++i) groups.push_back({0x8001, static_cast<size_t>(i % distinct)});
    WriteBytes(path, BuildNe({{0x800E, groups}, {0x8003, images}}, {}, blobs, /*residentFirst=*/true));
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Fastest(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

// Chooses a row of the file list by its caption, as a click on it does.
bool ChooseFile(Twnd_pv_Main& window, const QString& name) {
    const TFoundFilesModel* model = Part<TFileListView>(window, "FileList")->Model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->File(row).Name != name) continue;
        Part<TFileListView>(window, "FileList")
            ->selectionModel()
            ->setCurrentIndex(model->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return true;
    }
    return false;
}

// The names and bytes of the files in a folder, sorted by name.
std::vector<std::pair<std::string, std::vector<uint8_t>>> Contents(const std::string& folder) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files.emplace_back(entry.path().filename().string(), ReadBytes(entry.path().string()));
    std::sort(files.begin(), files.end());
    return files;
}

// Saves every icon of the file on view into `folder` through the window's command; the time
// from the folder's choice until the command has returned, in ms.
double SaveAllIcons(Twnd_pv_Main& window, const std::string& folder) {
    QElapsedTimer timer;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QString::fromStdString(folder));
        timer.start();
        QMetaObject::invokeMethod(dialog, "accept");
    });
    Part<QAction>(window, "All3")->trigger();
    return timer.isValid() ? static_cast<double>(timer.nsecsElapsed()) / 1e6 : -1;
}

// One run of pictavo-cli extract FILE -o FOLDER, in ms; negative when it fails.
double CliExtract(const QString& file, const std::string& folder) {
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../../pictavo-cli"),
                  {QStringLiteral("extract"), file, QStringLiteral("-o"), QString::fromStdString(folder)});
    if (!process.waitForFinished(-1) || process.exitCode() != 0) return -1;
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// The resident memory of the process now, in MB.
double CurrentRssMb() {
    FILE* status = std::fopen("/proc/self/statm", "r");
    if (!status) return -1;
    long pages = 0, resident = 0;
    const int read = std::fscanf(status, "%ld %ld", &pages, &resident);
    std::fclose(status);
    return read == 2 ? static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576 : -1;
}

bool Ready(const Twnd_pv_Main& window) {
    return Part<TPanelStatusBar>(window, "sb")->PanelText(1).startsWith(QStringLiteral("就绪 ("));
}

// Items of the icon list with a thumbnail.
int Listed(const QListView* list) {
    int n = 0;
    for (int i = 0; i < list->model()->rowCount(); ++i) n += list->isRowHidden(i) ? 0 : 1;
    return n;
}

// Shows the window over `folder` (its settings in `store`, none kept) until the folder is listed.
void OpenOn(Twnd_pv_Main& window, const std::string& store, const std::string& folder) {
    Part<TRegPropStorageManEh>(window, "StorageMan")->SetStoreFileName(QString::fromStdString(store));
    Part<TPropStorageEh>(window, "Storage")->SetActive(false);
    window.SetStartFolder(QString::fromStdString(folder));
    window.show();
    while (Part<TFileListView>(window, "FileList")->Model()->rowCount() < 2 ||
           Part<TPanelStatusBar>(window, "sb")->PanelText(0).isEmpty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// The pixmap a row draws (the blank one while its picture is not made).
QPixmap RowPixmap(const QListView* list, int row) {
    return list->model()->index(row, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(list->iconSize());
}

// Whether every row on the first screen of the list shows a picture other than `blank`.
bool FirstScreenPictured(const QListView* list, qint64 blank) {
    const QRect screen = list->viewport()->rect();
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        const QRect item = list->visualRect(list->model()->index(row, 0));
        if (item.top() >= screen.bottom()) break;
        if (item.intersects(screen) && RowPixmap(list, row).cacheKey() == blank) return false;
    }
    return true;
}

// The bytes of the pictures the rows hold, each held picture once (the blank one left out).
qsizetype PictureBytes(const QListView* list, qint64 blank) {
    std::set<qint64> seen{blank};
    qsizetype bytes = 0;
    for (int row = 0; row < list->model()->rowCount(); ++row) {
        const QPixmap pixmap = RowPixmap(list, row);
        if (pixmap.isNull() || !seen.insert(pixmap.cacheKey()).second) continue;
        bytes += qsizetype{pixmap.width()} * pixmap.height() * pixmap.depth() / 8;
    }
    return bytes;
}

// The library case: see the top of the file.
int MeasureLibrary(const TOptions& options, TempDir& work) {
    const std::string folder = work.Path() + "/library";
    std::filesystem::create_directory(folder);
    WriteLibrary(folder + "/library.icl", options.Library);
    WriteBytes(folder + "/other.ico", MakeIco({Image(16, 4)}));
    Twnd_pv_Main window;
    OpenOn(window, work.Path() + "/store.ini", folder);
    const QListView* list = Part<QListView>(window, "IconList");
    std::vector<double> fromChoice, fromListed;
    qsizetype bytes = 0;
    int listed = 0;
    for (int r = 0; r <= options.Rounds; ++r) {
        ChooseFile(window, QStringLiteral("other.ico"));
        while (!Ready(window) || Listed(list) != 1) QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        Part<TPanelStatusBar>(window, "sb")->SetPanelText(1, {});
        const qint64 blank = RowPixmap(list, 0).cacheKey();  // not made yet: the picture comes later
        QElapsedTimer timer;
        timer.start();
        ChooseFile(window, QStringLiteral("library.icl"));
        while (!Ready(window)) QCoreApplication::processEvents();
        const double listedMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        const qint64 blankNow =
            list->model()->rowCount() > 1 ? RowPixmap(list, list->model()->rowCount() - 1).cacheKey() : blank;
        while (!FirstScreenPictured(list, blankNow)) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const double shownMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        while (static_cast<const TIconListModel*>(list->model())->PicturesPending() > 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (r == 0) continue;
        fromChoice.push_back(shownMs);
        fromListed.push_back(shownMs - listedMs);
        bytes = PictureBytes(list, blankNow);
        listed = list->model()->rowCount();
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("NE library: %d icons listed; window %dx%d, icon list %dx%d\n", listed, window.width(), window.height(),
                list->viewport()->width(), list->viewport()->height());
    std::printf("first screen of pictures shown: from the choice median %.1f ms, fastest %.1f ms; from the icons "
                "listed median %.1f ms, fastest %.1f ms (%d rounds; target <= 100 ms)\n",
                Median(fromChoice), Fastest(fromChoice), Median(fromListed), Fastest(fromListed), options.Rounds);
    std::printf("bytes of the pictures the icon list holds: %.2f MB (target <= 64 MB); peak RSS %.0f MB\n",
                static_cast<double>(bytes) / 1048576, static_cast<double>(usage.ru_maxrss) / 1024);
    return listed == options.Library ? 0 : 1;
}

int Thumbnails(const QListView* list) {
    int n = 0;
    for (int i = 0; i < list->model()->rowCount(); ++i)
        n += list->model()->index(i, 0).data(Qt::DecorationRole).value<QIcon>().isNull() ? 0 : 1;
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    pictavo::bench::OffscreenWithoutDisplay();
    QApplication app(argc, argv);
    TOptions options;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--icons"))
            options.Icons = std::clamp(args[i + 1].toInt(), 1, 16000);
        else if (args[i] == QLatin1String("--rounds"))
            options.Rounds = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--png"))
            options.Png = std::clamp(args[i + 1].toInt(), 1, 4096);
        else if (args[i] == QLatin1String("--same-png")) {
            options.Png = std::clamp(args[i + 1].toInt(), 1, 4096);
            options.SamePng = true;
        } else if (args[i] == QLatin1String("--close"))
            options.Close = std::clamp(args[i + 1].toInt(), 1, 400);
        else if (args[i] == QLatin1String("--library"))
            options.Library = std::clamp(args[i + 1].toInt(), 1, 65535);
    }

    TempDir work;
    if (options.Library > 0) return MeasureLibrary(options, work);
    const std::string folder = work.Path() + "/view";
    std::filesystem::create_directory(folder);
    const int images = options.Png ? WritePngDll(folder + "/icons.dll", options.Icons, options.Png, options.SamePng)
                                   : WriteDll(folder + "/icons.dll", options.Icons);
    WriteBytes(folder + "/other.ico", MakeIco({Image(16, 4)}));
    const auto dllSize = std::filesystem::file_size(folder + "/icons.dll");

    Twnd_pv_Main window;
    OpenOn(window, work.Path() + "/store.ini", folder);

    // The longest gap between two ticks of a timer on the window's event loop.
    QElapsedTimer sinceTick;
    double longestGap = 0;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.start();
        ++ticks;
    });
    std::vector<double> ready, painted, pictured, stalls;
    std::vector<uint64_t> decoded;
    int shown = 0, thumbnails = 0;
    QString status;
    QElapsedTimer timer;
    // One round more than asked: the first warms the file cache and Qt's own and is not counted.
    for (int r = 0; r <= options.Rounds; ++r) {
        ChooseFile(window, QStringLiteral("other.ico"));
        while (!Ready(window) || Listed(Part<QListView>(window, "IconList")) != 1) QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        Part<TPanelStatusBar>(window, "sb")->SetPanelText(1, {});

        const uint64_t before = DecodedRasterCount();
        ticker.start(1);
        longestGap = 0;
        sinceTick.start();
        timer.start();
        ChooseFile(window, QStringLiteral("icons.dll"));
        while (!Ready(window)) QCoreApplication::processEvents();
        const double readyMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        Part<QListView>(window, "IconList")->viewport()->repaint();
        const double paintedMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        // Pictures may come after the icons are listed.
        const QListView* list = Part<QListView>(window, "IconList");
        while (static_cast<const TIconListModel*>(list->model())->PicturesPending() > 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double picturedMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        // One more tick, so that a window that did not answer until now is counted.
        for (const int seen = ticks; ticks == seen;) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        ticker.stop();
        const uint64_t after = DecodedRasterCount();
        if (r == 0) continue;
        ready.push_back(readyMs);
        painted.push_back(paintedMs);
        pictured.push_back(picturedMs);
        stalls.push_back(longestGap);
        decoded.push_back(after - before);
        shown = Listed(Part<QListView>(window, "IconList"));
        thumbnails = Thumbnails(Part<QListView>(window, "IconList"));
        status = Part<TPanelStatusBar>(window, "sb")->PanelText(1);
    }

    std::printf("DLL: %d group icons, %d images, %.1f MB\n", options.Icons, images, static_cast<double>(dllSize) / 1e6);
    std::printf("icons listed: %d, with a thumbnail: %d; status: %s\n", shown, thumbnails, qPrintable(status));
    std::printf("choice to \"就绪\":      median %.1f ms, fastest %.1f ms (%d rounds; target <= %.0f ms)\n",
                Median(ready), Fastest(ready), options.Rounds, kTargetMs);
    std::printf("choice to list painted: median %.1f ms, fastest %.1f ms\n", Median(painted), Fastest(painted));
    std::printf("choice to every thumbnail: median %.1f ms, fastest %.1f ms\n", Median(pictured), Fastest(pictured));
    std::printf("longest time the window did not answer: median %.1f ms, worst %.1f ms\n", Median(stalls),
                *std::max_element(stalls.begin(), stalls.end()));
    const auto [fewest, most] = std::minmax_element(decoded.begin(), decoded.end());
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory of the process so far (RSS): %.0f MB\n", static_cast<double>(usage.ru_maxrss) / 1024);
    std::printf("images decoded per round: %llu to %llu, for %d thumbnails\n", static_cast<unsigned long long>(*fewest),
                static_cast<unsigned long long>(*most), thumbnails);
    // Adding every icon of the file on view to the library, three times over: the command runs on
    // the window's thread; the library's thumbnails come afterwards.
    std::vector<double> adds;
    for (int r = 0; r < 3; ++r) {
        QElapsedTimer add;
        add.start();
        Part<QAction>(window, "All1")->trigger();
        adds.push_back(static_cast<double>(add.nsecsElapsed()) / 1e6);
        QCoreApplication::processEvents();
    }
    const auto* libraryList = Part<QListView>(window, "ICLList");
    while (static_cast<const TIconListModel*>(libraryList->model())->PicturesPending() > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    getrusage(RUSAGE_SELF, &usage);
    std::printf("adding every icon to the library, 3 times: %.1f, %.1f, %.1f ms on the window's thread "
                "(target <= 50 ms each); %d library thumbnails; peak memory (RSS) since: %.0f MB, now %.0f MB\n",
                adds[0], adds[1], adds[2], Thumbnails(libraryList), static_cast<double>(usage.ru_maxrss) / 1024,
                CurrentRssMb());
    // Removing from the library: every other icon (scattered rows), then all that are left, each
    // through "移除选定对象" on the window's thread.
    std::vector<double> removals;
    for (const bool everyOther : {true, false}) {
        auto* list = Part<QListView>(window, "ICLList");
        QItemSelection chosen;
        for (int row = 0; row < list->model()->rowCount(); row += everyOther ? 2 : 1)
            chosen.select(list->model()->index(row, 0), list->model()->index(row, 0));
        list->selectionModel()->select(chosen, QItemSelectionModel::ClearAndSelect);
        QElapsedTimer removal;
        removal.start();
        Part<QAction>(window, "Removeselected1")->trigger();
        removals.push_back(static_cast<double>(removal.nsecsElapsed()) / 1e6);
        QCoreApplication::processEvents();
    }
    std::printf("removing every other library icon: %.1f ms; then the rest: %.1f ms (window's thread)\n", removals[0],
                removals[1]);
    // Saving every icon: the window's command against the command line, each into a new folder.
    std::vector<double> saved, extracted;
    bool same = true;
    for (int r = 0; r <= options.Rounds; ++r) {
        const std::string byWindow = work.Path() + "/window" + std::to_string(r);
        const std::string byCli = work.Path() + "/cli" + std::to_string(r);
        std::filesystem::create_directory(byWindow);
        const double windowMs = SaveAllIcons(window, byWindow);
        const double cliMs = CliExtract(QString::fromStdString(folder + "/icons.dll"), byCli);
        if (r == 0) {
            same = windowMs >= 0 && cliMs >= 0 && Contents(byWindow) == Contents(byCli);
            continue;
        }
        saved.push_back(windowMs);
        extracted.push_back(cliMs);
    }
    std::printf("saving every icon (%d .ico files): window median %.1f ms, fastest %.1f ms; "
                "pictavo-cli extract median %.1f ms, fastest %.1f ms\n",
                options.Icons, Median(saved), Fastest(saved), Median(extracted), Fastest(extracted));

    if (options.Close > 0) {
        // A window over N copies of the DLL adds them all to the library and is closed 1 s later.
        const std::string many = work.Path() + "/many";
        std::filesystem::create_directory(many);
        for (int i = 0; i < options.Close; ++i)
            std::filesystem::copy_file(folder + "/icons.dll", many + "/copy" + std::to_string(i) + ".dll");
        auto closing = std::make_unique<Twnd_pv_Main>();
        Part<TRegPropStorageManEh>(*closing, "StorageMan")
            ->SetStoreFileName(QString::fromStdString(work.Path() + "/store2.ini"));
        Part<TPropStorageEh>(*closing, "Storage")->SetActive(false);
        closing->SetStartFolder(QString::fromStdString(many));
        closing->show();
        while (Part<TFileListView>(*closing, "FileList")->Model()->rowCount() < options.Close)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        Part<QAction>(*closing, "All2")->trigger();
        QElapsedTimer second;
        second.start();
        while (second.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QElapsedTimer close;
        close.start();
        closing->close();
        closing.reset();
        std::printf("closing 1 s into adding %d copies of the DLL to the library: %.0f ms (target <= 1000 ms)\n",
                    options.Close, static_cast<double>(close.nsecsElapsed()) / 1e6);
    }

    bool ok = true;
    if (!same) {
        std::fprintf(stderr, "THE WINDOW AND pictavo-cli extract SAVED DIFFERENT FILES\n");
        ok = false;
    }
    if (shown != options.Icons || thumbnails != shown) {
        std::fprintf(stderr, "NOT EVERY ICON IS LISTED WITH A THUMBNAIL\n");
        ok = false;
    }
    if (*most > static_cast<uint64_t>(thumbnails)) {
        std::fprintf(stderr, "IMAGES NOT DRAWN WERE DECODED\n");
        ok = false;
    }
    return ok ? 0 : 1;
}
