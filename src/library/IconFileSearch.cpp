#include "library/IconFileSearch.h"

#include "base/Errors.h"
#include "base/Text.h"
#include "library/IconLoading.h"

namespace pictavo {

std::string TIconFileCounters::Text() const {
    return Format("文件夹: %d   文件: %d   图标: %d", Folders, Files, Icons);
}

void TIconFileSearch::Begin() {
    FCounters = {};
    FNamesMet.clear();
}

void TIconFileSearch::FolderEntered() { ++FCounters.Folders; }

bool TIconFileSearch::FileFound(const std::string& Folder, const TSearchRec& Entry, TIconFileRow& Row) {
    if (SkipDuplicates && !FNamesMet.insert(FoldCase(Entry.Name)).second) return false;
    std::string path = Folder;
    if (!path.empty() && path.back() != '/') path += '/';
    path += Entry.Name;
    const int icons = CountIcons(path);
    ++FCounters.Files;
    if (icons <= 0) return false;
    FCounters.Icons += icons;
    Row = TIconFileRow{Entry.Name, Folder, std::move(path), icons, SizeInKB(Entry.Size), Entry.Time};
    return true;
}

void TIconFileSearch::Attach(TFindFile& Finder, std::function<void(const std::string&)> OnFolder,
                             std::function<void(const TIconFileRow&)> OnRow) {
    Finder.OnSearchBegin = [this](TFindFile&) { Begin(); };
    Finder.OnFolderChange = [this, OnFolder](TFindFile&, const std::string& folder, bool&) {
        FolderEntered();
        if (OnFolder) OnFolder(folder);
    };
    Finder.OnFileMatch = [this, OnRow](TFindFile&, const std::string& folder, const TSearchRec& entry) {
        TIconFileRow row;
        if (FileFound(folder, entry, row) && OnRow) OnRow(row);
    };
}

int64_t SizeInKB(int64_t Size) { return (Size + 1023) / 1024; }

std::string DosTimeText(uint32_t Time, char Separator) {
    const int year = 1980 + static_cast<int>(Time >> 25), month = (Time >> 21) & 0xF, day = (Time >> 16) & 0x1F;
    const int hour = (Time >> 11) & 0x1F, minute = (Time >> 5) & 0x3F, second = (Time & 0x1F) * 2;
    return Format("%04d-%02d-%02d%c%02d:%02d:%02d", year, month, day, Separator, hour, minute, second);
}

}  // namespace pictavo
