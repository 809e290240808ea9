// The search component: walks folder trees depth first and reports each folder and each
// accepted entry through events, on the calling thread or on a worker thread.
#pragma once

#include "search/SearchCriteria.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace pictavo {

// One entry of a folder as the enumeration yields it.
struct TSearchRec {
    uint32_t Time = 0;  // last-write time, local, packed as an MS-DOS date (high word) and time
    int64_t Size = 0;   // 0 for a folder
    uint32_t Attr = 0;  // faReadOnly (the effective user may not write it), faHidden, faDirectory, faArchive
    std::string Name;   // without its folder
    struct {
        int64_t CreationTime = 0;    // UTC file times: 100 ns since 1601-01-01; creation is the
        int64_t LastAccessTime = 0;  // birth time where the file system keeps one, else the
        int64_t LastWriteTime = 0;   // status-change time
    } FindData;
};

struct TTargetFolder {
    std::string Path;  // normalised, ending in "/" (empty: the current directory)
    bool Subfolders = false;
    std::vector<std::string> Masks;
    uint16_t MinLevel = 0;
    uint16_t MaxLevel = 0;
};

class TTargetFolderList {
public:
    // The target folder of a path (normalised; folders are the same only when their paths are
    // equal, letter case included, as the file system tells them apart), made and put in front
    // of the list when it is new.
    TTargetFolder& AddFolder(const std::string& Path);
    const std::vector<std::unique_ptr<TTargetFolder>>& Folders() const { return FFolders; }
    std::vector<std::string> Excluded;

private:
    std::vector<std::unique_ptr<TTargetFolder>> FFolders;  // index 0 is the front
};

// The plan of one run: the folders to walk and the run's own copies of the criteria.
class TTargetSearch {
public:
    explicit TTargetSearch(const TSearchCriteria& Criteria);
    TTargetFolderList TargetFolders;
    TAttributeCriteria Attribute;
    TDateTimeCriteria TimeStamp;
    TSizeCriteria Size;
    TContentCriteria Content;

    bool IsAcceptable(const std::string& Folder, const TSearchRec& Entry) const;
    // The same, with the folder also open as FolderFd (content read by name in it).
    bool IsAcceptable(const std::string& Folder, const TSearchRec& Entry, int FolderFd) const;
    bool IsExcluded(const std::string& Folder, const std::string& Name) const;

private:
    void BuildTargets(const TFileCriteria& Files);
};

// What runs a call on the main thread for a worker: the window implements it with its event
// loop; tests with a small loop of their own.
class TMainThreadHandOver {
public:
    virtual ~TMainThreadHandOver() = default;
    // From the worker: runs the call on the main thread and returns once it has run; an
    // exception the call raises is raised here again.
    virtual void Invoke(const std::function<void()>& Call) = 0;
    // From the worker: queues the call for the main thread without waiting.
    virtual void Post(std::function<void()> Call) = 0;
    // On the main thread: runs what is queued (used while waiting for a run to end).
    virtual void ProcessPending() = 0;
};

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TFindFile {
public:
    TFindFile() = default;
    virtual ~TFindFile();
    TFindFile(const TFindFile&) = delete;
    TFindFile& operator=(const TFindFile&) = delete;

    TSearchCriteria& Criteria() { return FCriteria; }
    const TSearchCriteria& Criteria() const { return FCriteria; }

    bool Threaded = false;
    TThreadPriority ThreadPriority = TThreadPriority::tpNormal;
    // Needed for a threaded run; not owned.
    TMainThreadHandOver* HandOver = nullptr;

    std::function<void(TFindFile& Sender, const std::string& Folder, const TSearchRec& FileInfo)> OnFileMatch;
    std::function<void(TFindFile& Sender, const std::string& Folder, bool& IgnoreFolder)> OnFolderChange;
    std::function<void(TFindFile& Sender)> OnSearchBegin;
    std::function<void(TFindFile& Sender)> OnSearchFinish;
    std::function<void(TFindFile& Sender)> OnSearchAbort;
    // A folder that cannot be entered (missing, no permission, too deep, descriptors exhausted):
    // its full path (ending in "/") and the errno. Without a handler such folders are passed
    // over silently.
    std::function<void(TFindFile& Sender, const std::string& Folder, int Errno)> OnFolderError;

    bool Busy() const { return FBusy; }
    bool Aborted() const { return FAborted; }
    const TTargetSearch* TargetSearch() const { return FTargetSearch.get(); }

    // Starts a run; does nothing while busy. Returns after the run, or at once when threaded.
    void Execute();
    // Stops the current run; does nothing when idle.
    void Abort();

protected:
    virtual void DoSearchBegin();
    virtual void DoSearchFinish();
    virtual void DoSearchAbort();
    // Whether to search the folder.
    virtual bool DoFolderChange(const std::string& Folder);
    virtual void DoFileMatch(const std::string& Folder, const TSearchRec& FileInfo);
    virtual void DoFolderError(const std::string& Folder, int Errno);

private:
    void SearchBegin();
    void SearchFinish();
    // Frees the run's plan and makes the component ready for the next run.
    void SearchEnded();
    void RunWorker();
    void ThreadTerminated();

    TSearchCriteria FCriteria;
    std::unique_ptr<TTargetSearch> FTargetSearch;
    std::atomic<bool> FBusy{false};
    std::atomic<bool> FAborted{false};
    std::atomic<bool> FTerminate{false};  // the worker's stop request
    bool FDestroying = false;
    std::thread FThread;
};

}  // namespace pictavo
