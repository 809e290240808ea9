// The decode budget on a machine with many cores: an icon view over a DLL of many large PNG
// icons (default 90 of 4096 x 4096, together far past one file's budget of decoded pixels),
// every row on view at once, decoded on a work service of many threads (default 16).
//
//   pictavo_decode_budget_bench [--icons N] [--size S] [--threads T]
//
// Prints how many thumbnails were drawn (all of them is the target), how long it took, the
// most pixels the file's budget held at once, and the process's peak resident memory against
// the budget (the target: within the budget plus a fixed margin).
#include "base/ByteBuffer.h"
#include "icons/AdvancedIcon.h"
#include "library/IconLibrary.h"
#include "library/IconLoading.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"
#include "widgets/IconListModel.h"
#include "widgets/WorkService.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

using namespace pictavo;
using namespace pictavo::test;

namespace {

double PeakResidentMb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int icons = 90, size = 4096, threads = 16;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--icons")) icons = std::max(1, args[i + 1].toInt());
        if (args[i] == QLatin1String("--size")) size = std::max(1, args[i + 1].toInt());
        if (args[i] == QLatin1String("--threads")) threads = std::max(1, args[i + 1].toInt());
    }

    // One PNG stored again for every icon: each image lies over bytes of its own, so each is a
    // decode of its own, as different pictures would be.
    Picture picture;
    picture.Width = picture.Height = size;
    picture.Colour.assign(static_cast<size_t>(size) * size, 0xFF3060C0u);
    picture.Mask.assign(static_cast<size_t>(size) * size, 0);
    const std::vector<uint8_t> png = MakePng(picture);
    std::vector<PeResource> resources;
    for (int i = 1; i <= icons; ++i) {
        resources.push_back({3, true, static_cast<uint16_t>(i), {}, 1033, png});
        resources.push_back({14,
                             true,
                             static_cast<uint16_t>(i),
                             {},
                             1033,
                             GroupData({static_cast<uint16_t>(i)}, static_cast<uint32_t>(png.size()))});
    }
    TempDir dir;
    const std::string file = dir.File("large.dll");
    WriteBytes(file, BuildPe(resources).Bytes);
    TIconLibrary library;
    LoadIcons(file, library);
    const double loadedMb = PeakResidentMb();

    TWorkService service(TWorkService::TMode::Threads, nullptr, threads);
    TIconListModel model(service, library.Icons(), Qt::white, 32, 32);
    const std::shared_ptr<TDecodeBudget> budget =
        library.Icons().Icon(0)->Images()[0]->HandleSource().Buffer->SharedBudget();
    uint64_t mostHeld = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { mostHeld = std::max(mostHeld, budget->InUse()); });
    sampler.start(1);
    QElapsedTimer timer;
    timer.start();
    model.SetVisibleRows(0, icons - 1);
    while (model.PicturesPending() > 0 && timer.elapsed() < 600'000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double seconds = static_cast<double>(timer.elapsed()) / 1000.0;
    int drawn = 0;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QIcon icon = model.index(row).data(Qt::DecorationRole).value<QIcon>();
        // A drawn thumbnail is the picture's colour, not the blank background.
        if (!icon.isNull() && icon.pixmap(32).toImage().pixelColor(16, 16) != QColor(Qt::white)) ++drawn;
    }
    std::printf("%d icons of %d x %d PNG (%.1f MB file), %d threads\n", icons, size, size,
                static_cast<double>(std::filesystem::file_size(file)) / 1e6, threads);
    std::printf("thumbnails drawn: %d of %d in %.1f s\n", drawn, icons, seconds);
    std::printf("budget: %.0f MB; most held at once: %.0f MB\n", static_cast<double>(kMaxDecodedBytesPerFile) / 1048576,
                static_cast<double>(mostHeld) / 1048576);
    std::printf("peak resident memory: %.0f MB (%.0f MB once the file was read)\n", PeakResidentMb(), loadedMb);
    return drawn == icons ? 0 : 1;
}
