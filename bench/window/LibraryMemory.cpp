// Peak memory of gathering icons into the library, in the window and in pictavo-cli icl,
// against the bytes of the icons held.
//
//   pictavo_library_memory_bench [--ico N] [--dlls M]
//
// Makes a folder of N .ico files (default 2001), each of a 16 x 16 4-bit, a 32 x 32 8-bit and a
// 48 x 48 32-bit bitmap and a 256-px PNG, and M copies (default 100) of a DLL of 3 MB in which
// 20 group icons of four 32-bit bitmaps each lie between other resources of 30 KB (so that the
// pieces read around the icons hold mostly other bytes). The main window (offscreen without a
// display) lists the folder and adds every file to the library ("添加文件到图标库 › 所有对象"),
// until its icons are listed with their thumbnails; then `pictavo-cli icl` gathers the same
// files into a library file. For each it prints the peak resident memory (the window's includes
// Qt's own, measured before the files are added), the bytes of the icons' images held, and the
// target: at most 3 x the icon bytes + 64 MB. Needs GNU time (/usr/bin/time) for the CLI's peak.
#include "WindowParts.h"
#include "app/Main.h"
#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "icons/IconTypes.h"
#include "library/IconLibrary.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"
#include "widgets/FileListView.h"
#include "widgets/FoundFilesModel.h"
#include "widgets/IconImagesModel.h"
#include "widgets/IconListModel.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/PropStorageEh.h"

#include <QAction>
#include <QApplication>
#include <QListView>
#include <QProcess>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

using namespace pictavo;
using namespace pictavo::test;
using pictavo::bench::Part;

namespace {

// Panel 1 says "就绪" (with the time a listing took) once a command or a listing is done.
bool Ready(const Twnd_pv_Main& window) {
    return Part<TPanelStatusBar>(window, "sb")->PanelText(1).startsWith(QStringLiteral("就绪"));
}

double PeakMb(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

IcoImage Image(int size, int bitCount, int seed) {
    if (size == 256) {
        auto png = MakePng(MakePicture(256, 256, 4 + seed % 4, true));
        return {InfoFor(256, 32, png.size()), std::move(png)};
    }
    const Picture picture = bitCount <= 8 ? MakePicture(size, size, 1 << bitCount) : MakePicture(size, size, 0, true);
    auto bytes = MakeDib(picture, bitCount);
    return {InfoFor(size, bitCount, bytes.size()), std::move(bytes)};
}

std::vector<uint8_t> LargeDll() {
    std::vector<PeResource> resources;
    uint16_t nextIcon = 1, nextOther = 1;
    for (int g = 1; g <= 20; ++g) {
        std::vector<IcoImage> images;
        for (int size : {16, 32, 48, 64}) images.push_back(Image(size, 32, g));
        resources.push_back(
            PeResource{RT_GROUP_ICON, true, static_cast<uint16_t>(g), {}, 1033, GroupResource(images, nextIcon)});
        for (const IcoImage& image : images) {
            resources.push_back(PeResource{RT_ICON, true, nextIcon++, {}, 1033, image.Bytes});
            resources.push_back(PeResource{10, true, nextOther++, {}, 1033, std::vector<uint8_t>(30000, 0x90)});
        }
    }
    return BuildPe(resources, /*pe64=*/true).Bytes;
}

uint64_t IconBytes(const TIconLibrary& library) {
    uint64_t bytes = 0;
    for (int i = 0; i < library.Icons().Count(); ++i) bytes += library.Icons().Icon(i)->ImageBytes();
    return bytes;
}

void Row(const char* what, double peakMb, double iconMb, double baseMb) {
    const double target = 3 * iconMb + 64 + baseMb;
    std::printf("%-34s %10.1f %10.1f %10.1f %10.1f  %s\n", what, peakMb, iconMb, baseMb, target,
                peakMb <= target ? "holds" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
    pictavo::bench::OffscreenWithoutDisplay();
    QApplication app(argc, argv);
    int icoFiles = 2001, dlls = 100;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--ico"))
            icoFiles = std::clamp(args[i + 1].toInt(), 0, 20000);
        else if (args[i] == QLatin1String("--dlls"))
            dlls = std::clamp(args[i + 1].toInt(), 0, 1000);
    }

    TempDir work;
    const std::string folder = work.Path() + "/files";
    std::filesystem::create_directory(folder);
    std::vector<std::vector<uint8_t>> icos;
    for (int seed = 0; seed < 8; ++seed)
        icos.push_back(MakeIco({Image(16, 4, seed), Image(32, 8, seed), Image(48, 32, seed), Image(256, 32, seed)}));
    for (int i = 0; i < icoFiles; ++i) WriteBytes(folder + "/icon" + std::to_string(i) + ".ico", icos[i % icos.size()]);
    const auto dll = LargeDll();
    for (int i = 0; i < dlls; ++i) WriteBytes(folder + "/lib" + std::to_string(i) + ".dll", dll);
    std::printf("# %d .ico files of %zu bytes, %d DLLs of %zu bytes; memory in MB\n", icoFiles, icos[0].size(), dlls,
                dll.size());
    std::printf("%-34s %10s %10s %10s %10s\n", "", "peak", "icons", "before", "target");

    Twnd_pv_Main window;
    Part<TRegPropStorageManEh>(window, "StorageMan")
        ->SetStoreFileName(QString::fromStdString(work.Path() + "/store.ini"));
    Part<TPropStorageEh>(window, "Storage")->SetActive(false);
    window.SetStartFolder(QString::fromStdString(folder));
    window.show();
    while (Part<TFileListView>(window, "FileList")->Model()->rowCount() < icoFiles + dlls ||
           Part<TPanelStatusBar>(window, "sb")->PanelText(0).isEmpty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
    const double before = PeakMb(RUSAGE_SELF);
    Part<TPanelStatusBar>(window, "sb")->SetPanelText(1, {});
    Part<QAction>(window, "All2")->trigger();
    while (!Ready(window)) QCoreApplication::processEvents();
    // The files are read and the thumbnails drawn beside the window: wait for the last of them.
    while (window.Reading() ||
           static_cast<const TIconListModel*>(Part<QListView>(window, "ICLList")->model())->PicturesPending() > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
    const double iconMb = static_cast<double>(IconBytes(window.Library())) / (1 << 20);
    Row("window: add every file to library", PeakMb(RUSAGE_SELF), iconMb, before);

    // GNU time reports the peak of the program it starts (a child of this process would count
    // this process's memory from before it started the program).
    const QString peakFile = QString::fromStdString(work.Path() + "/cli-peak");
    QStringList cliArgs{QStringLiteral("-f"),
                        QStringLiteral("%M"),
                        QStringLiteral("-o"),
                        peakFile,
                        QCoreApplication::applicationDirPath() + QStringLiteral("/../../pictavo-cli"),
                        QStringLiteral("icl"),
                        QStringLiteral("-o"),
                        QString::fromStdString(work.Path() + "/all.icl")};
    QStringList files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files << QString::fromStdString(entry.path().string());
    files.sort();
    QProcess cli;
    cli.setStandardOutputFile(QProcess::nullDevice());
    cli.start(QStringLiteral("/usr/bin/time"), cliArgs + files);
    if (!cli.waitForFinished(-1) || cli.exitCode() != 0) {
        std::fprintf(stderr, "pictavo-cli icl under /usr/bin/time failed: %s\n",
                     cli.readAllStandardError().constData());
        return 1;
    }
    const auto peak = ReadBytes(peakFile.toStdString());
    Row("pictavo-cli icl", std::stod(std::string(peak.begin(), peak.end())) / 1024.0, iconMb, 0);
    return 0;
}
