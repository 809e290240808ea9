// The icon-file search: a search run whose matches are counted for icons. Every file a run
// examines is counted; one that holds icons becomes a row of the found-files list. The window's
// run handlers and pictavo-cli's search both feed their lists from here.
#pragma once

#include "search/FindFile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>

namespace pictavo {

// A file that holds icons, as the found-files list shows it.
struct TIconFileRow {
    std::string Name;    // without its folder
    std::string Folder;  // as the search reports it
    std::string Path;    // the folder, a "/" when it lacks one, and the name
    int Icons = 0;
    int64_t SizeKB = 0;  // the size in kilobytes, rounded up
    uint32_t Time = 0;   // the last-write time, local, packed as an MS-DOS date and time
};

// The run's counters: folders entered, files examined (listed or not), icons of listed files.
struct TIconFileCounters {
    int Folders = 0;
    int Files = 0;
    int Icons = 0;
    // "文件夹: %d   文件: %d   图标: %d".
    std::string Text() const;
};

class TIconFileSearch {
public:
    // Skip a file whose name, without regard to case, was already met in this run.
    bool SkipDuplicates = true;

    // Zeroes the counters and forgets the names met: the start of a run.
    void Begin();
    void FolderEntered();
    // Counts the file and its icons; true, with the row filled, when it holds icons. A
    // duplicate name is neither counted nor listed.
    bool FileFound(const std::string& Folder, const TSearchRec& Entry, TIconFileRow& Row);
    const TIconFileCounters& Counters() const { return FCounters; }

    // Drives a search component: its begin, folder and match events come here, and each
    // folder and each row is handed on.
    void Attach(TFindFile& Finder, std::function<void(const std::string& Folder)> OnFolder,
                std::function<void(const TIconFileRow& Row)> OnRow);

private:
    TIconFileCounters FCounters;
    std::unordered_set<std::string> FNamesMet;  // folded
};

// (size + 1023) div 1024.
int64_t SizeInKB(int64_t Size);

}  // namespace pictavo
