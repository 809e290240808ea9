#include "library/IconFileSearch.h"

#include "base/Errors.h"
#include "base/Language.h"
#include "base/Text.h"
#include "library/IconLoading.h"

namespace pictavo {

std::string TIconFileCounters::Text() const {
    return Format(Tr("文件夹: %d   文件: %d   图标: %d"), Folders, Files, Icons);
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

}  // namespace pictavo
