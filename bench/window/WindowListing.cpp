// Listing a large folder in the main window against pictavo-cli search on the same folder.
//
//   pictavo_window_bench [--files N] [--rounds R] [--cli PATH] [--folder DIR] [--make DIR]
//
// Makes a folder of N files (default 10,000; unless --folder names one; --make DIR only makes
// it, in DIR, and ends): a quarter generated
// executables (most with one to four group icons, some with none), a quarter .ico files and
// half plain files without icons. Then, with a warm cache:
//   - pictavo-cli search FOLDER, R times (default 5), each one whole run of the program;
//   - the main window (shown on the platform Qt picks; offscreen without a display) listing
//     the folder R times through its refresh command: the time from the command until panel 1
//     reads "就绪" again;
// one after the other in each round.
// Prints the median and fastest of each and their ratio, checks that both report the same
// counters, and reports how the window kept answering during its listings: the longest gap
// between two turns of its event loop (a 5 ms timer runs throughout) and the paints it made.
#include "WindowParts.h"
#include "app/Main.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"
#include "widgets/FileListView.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/PropStorageEh.h"
#include "widgets/ShellTree.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace pictavo;
using namespace pictavo::test;
using pictavo::bench::Part;

namespace {

struct TOptions {
    int Files = 10000;
    int Rounds = 5;
    QString Cli;
    QString Folder;
    QString Make;
};

void MakeFolder(const std::string& dir, int files) {
    std::mt19937 random(20240305);
    const auto dib = MakeDib(MakePicture(16, 16, 16), 8);
    const auto ico = MakeIco({{InfoFor(16, 8, dib.size()), dib}});
    for (int i = 0; i < files; ++i) {
        char name[64];
        switch (i % 4) {
        case 0: {  // an executable: 0 to 4 group icons, each over one 16-px image
            const int groups = static_cast<int>(random() % 5);
            std::vector<PeResource> resources;
            for (int g = 1; g <= groups; ++g) {
                PeResource image{3, true, static_cast<uint16_t>(g), {}, 1033, dib};
                PeResource group{14, true, static_cast<uint16_t>(g),
                                 {}, 1033, GroupData({static_cast<uint16_t>(g)}, static_cast<uint32_t>(dib.size()))};
                resources.push_back(image);
                resources.push_back(group);
            }
            if (resources.empty()) resources.push_back(PeResource{16, true, 1, {}, 1033, std::vector<uint8_t>(900, 1)});
            std::snprintf(name, sizeof name, "module%05d.%s", i, i % 8 == 0 ? "exe" : "dll");
            WriteBytes(dir + "/" + name, BuildPe(resources, i % 3 == 0).Bytes);
            break;
        }
        case 1:
            std::snprintf(name, sizeof name, "icon%05d.ico", i);
            WriteBytes(dir + "/" + name, ico);
            break;
        default: {
            std::vector<uint8_t> bytes(100 + random() % 8000);
            for (auto& b : bytes) b = static_cast<uint8_t>(random());
            std::snprintf(name, sizeof name, "data%05d.%s", i, i % 3 == 0 ? "txt" : "bin");
            WriteBytes(dir + "/" + name, bytes);
        }
        }
    }
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Fastest(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

// One run of pictavo-cli search; its last line (the counters) in `counters`.
double TimeCli(const QString& cli, const QString& folder, QString* counters) {
    QProcess process;
    if (!counters) process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(cli, {QStringLiteral("search"), folder});
    process.waitForFinished(-1);
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (counters) {
        const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        *counters = lines.isEmpty() ? QString() : lines.last();
    }
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    pictavo::bench::OffscreenWithoutDisplay();
    QApplication app(argc, argv);
    TOptions options;
    options.Cli = QCoreApplication::applicationDirPath() + QStringLiteral("/../../pictavo-cli");
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--files"))
            options.Files = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--rounds"))
            options.Rounds = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--cli"))
            options.Cli = args[i + 1];
        else if (args[i] == QLatin1String("--folder"))
            options.Folder = args[i + 1];
        else if (args[i] == QLatin1String("--make"))
            options.Make = args[i + 1];
    }
    if (!options.Make.isEmpty()) {
        std::filesystem::create_directories(options.Make.toStdString());
        MakeFolder(options.Make.toStdString(), options.Files);
        return 0;
    }

    TempDir work;
    QString folder = options.Folder;
    if (folder.isEmpty()) {
        folder = QString::fromStdString(work.Path() + "/listing");
        std::filesystem::create_directory(folder.toStdString());
        std::fprintf(stderr, "making %d files in %s\n", options.Files, qPrintable(folder));
        MakeFolder(folder.toStdString(), options.Files);
    }
    const QString empty = QString::fromStdString(work.Path() + "/empty");
    std::filesystem::create_directory(empty.toStdString());

    // pictavo-cli: one run to warm the cache and read its counters; the timed runs alternate
    // with the window's listings, so that other work on the machine weighs on both alike.
    QString cliCounters;
    TimeCli(options.Cli, folder, &cliCounters);
    std::vector<double> cli;

    Twnd_pv_Main window;
    Part<TRegPropStorageManEh>(window, "StorageMan")
        ->SetStoreFileName(QString::fromStdString(work.Path() + "/store.ini"));
    Part<TPropStorageEh>(window, "Storage")->SetActive(false);
    window.SetStartFolder(empty);
    window.show();
    while (Part<TPanelStatusBar>(window, "sb")->PanelText(0).isEmpty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    Part<TShellTree>(window, "ShellTree")->SetPath(folder);  // the first listing warms what the window caches

    // The listing's end as the user sees it: panel 1 turning to "就绪".
    QElapsedTimer listing;
    double readyAt = 0, firstRowAt = 0;
    QObject::connect(Part<TPanelStatusBar>(window, "sb"), &TPanelStatusBar::PanelTextChanged,
                     [&](int panel, const QString& text) {
                         if (panel == 1 && text == QStringLiteral("就绪"))
                             readyAt = static_cast<double>(listing.nsecsElapsed()) / 1e6;
                     });
    // The event loop's turns: the longest time the window could not take input or paint.
    QElapsedTimer sinceTurn;
    double longestGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, static_cast<double>(sinceTurn.nsecsElapsed()) / 1e6);
        sinceTurn.start();
    });
    // The first row as the user sees it come: the list's model gaining a row.
    QObject::connect(Part<TFileListView>(window, "FileList")->model(), &QAbstractItemModel::rowsInserted, [&] {
        if (firstRowAt == 0) firstRowAt = static_cast<double>(listing.nsecsElapsed()) / 1e6;
    });
    int paints = 0;
    struct TPaintCounter : QObject {
        int& Count;
        explicit TPaintCounter(int& count) : Count(count) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) ++Count;
            return false;
        }
    } counter(paints);
    Part<TPanelStatusBar>(window, "sb")->installEventFilter(&counter);
    for (QObject* child : Part<TPanelStatusBar>(window, "sb")->children()) child->installEventFilter(&counter);

    std::vector<double> gui, first, ratios;
    for (int r = 0; r < options.Rounds; ++r) {
        cli.push_back(TimeCli(options.Cli, folder, nullptr));
        ticker.start(5);
        sinceTurn.start();
        readyAt = firstRowAt = 0;
        listing.start();
        Part<QAction>(window, "Refresh1")->trigger();
        // The listing runs in the background: the window turns its event loop until it ends.
        while (readyAt == 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        ticker.stop();
        gui.push_back(readyAt);
        first.push_back(firstRowAt);
        ratios.push_back(gui.back() / cli.back());
    }
    const QString windowCounters = Part<TPanelStatusBar>(window, "sb")->PanelText(0);
    const int rows = Part<TFileListView>(window, "FileList")->model()->rowCount();

    std::printf("folder: %s (%s)\n", qPrintable(folder), qPrintable(windowCounters));
    std::printf("rows listed in the window: %d\n", rows);
    std::printf("pictavo-cli search: median %.1f ms, fastest %.1f ms (%d runs)\n", Median(cli), Fastest(cli),
                options.Rounds);
    std::printf("window listing:     median %.1f ms, fastest %.1f ms (%d runs)\n", Median(gui), Fastest(gui),
                options.Rounds);
    std::printf("window first row:   median %.1f ms, fastest %.1f ms\n", Median(first), Fastest(first));
    std::printf("ratio window / cli: of the medians %.2f, of the fastest %.2f, median of the rounds %.2f"
                " (target <= 1.5)\n",
                Median(gui) / Median(cli), Fastest(gui) / Fastest(cli), Median(ratios));
    std::printf("while listing: longest gap between event-loop turns %.1f ms; %d status-bar paints in %d listings\n",
                longestGap, paints, options.Rounds);
    if (cliCounters != windowCounters) {
        std::fprintf(stderr, "THE COUNTERS DIFFER: pictavo-cli '%s', window '%s'\n", qPrintable(cliCounters),
                     qPrintable(windowCounters));
        return 1;
    }
    return 0;
}
