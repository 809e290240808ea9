#include "WindowFixtures.h"

#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"
#include "widgets/FileListView.h"
#include "widgets/PanelStatusBar.h"
#include "widgets/PropStorageEh.h"

#include <QtTest>

#include <sys/stat.h>
#include <utime.h>

#include <stdexcept>

namespace pictavo::test {

void WriteIcoFile(const std::string& path, size_t size) {
    const auto dib = MakeDib(MakePicture(16, 16, 16), 4);
    std::vector<uint8_t> bytes = MakeIco({{InfoFor(16, 4, dib.size()), dib}});
    if (bytes.size() < size) bytes.resize(size, 0);
    WriteBytes(path, bytes);
}

void WriteDllFile(const std::string& path, int groups) {
    std::vector<PeResource> resources;
    for (int i = 1; i <= groups; ++i) {
        PeResource group;
        group.Type = 14;
        group.Id = static_cast<uint16_t>(i);
        group.Data = GroupData({static_cast<uint16_t>(i)});
        resources.push_back(group);
    }
    WriteBytes(path, BuildPe(resources).Bytes);
}

void WritePlainFile(const std::string& path, size_t size) { WriteBytes(path, std::vector<uint8_t>(size, 'x')); }

void SetModified(const std::string& path, const QDateTime& local) {
    const time_t seconds = static_cast<time_t>(local.toSecsSinceEpoch());
    const utimbuf times{seconds, seconds};
    if (::utime(path.c_str(), &times) != 0) throw std::runtime_error("cannot set the time of " + path);
}

bool WaitIdle(Twnd_pv_Main& window) {
    return QTest::qWaitFor([&] { return !window.FindFile.Busy() && !window.FSearching; });
}

std::unique_ptr<Twnd_pv_Main> OpenWindow(const QString& store, const QString& folder, const QString& file) {
    auto window = std::make_unique<Twnd_pv_Main>();
    window->StorageMan->SetStoreFileName(store);
    if (!folder.isEmpty()) window->SetStartFolder(folder);
    if (!file.isEmpty()) window->SetStartFile(file);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) return nullptr;
    // The first listing runs once the window is on screen; it ends with the counters shown.
    if (!QTest::qWaitFor([&] { return !window->sb->PanelText(0).isEmpty(); }) || !WaitIdle(*window)) return nullptr;
    return window;
}

QStringList ListedColumn(const Twnd_pv_Main& window, int column) {
    QStringList texts;
    const QAbstractItemModel* model = window.FileList->model();
    for (int r = 0; r < model->rowCount(); ++r) texts << model->index(r, column).data().toString();
    return texts;
}

QStringList ListedNames(const Twnd_pv_Main& window) { return ListedColumn(window, 0); }

QString Panel(const Twnd_pv_Main& window, int panel) { return window.sb->PanelText(panel); }

}  // namespace pictavo::test
