#include "search/FindFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

using namespace pictavo;
using namespace pictavo::test;

namespace {

using Log = std::vector<std::string>;

// A tree:  root/ a.ico b.EXE c.ico.exe Z.ico .hidden.ico
//                sub/ d.ico   sub/deeper/ e.ico   .dot/ f.ico
struct Tree {
    TempDir dir;
    std::string root;
    Tree() {
        root = dir.Path() + "/";
        for (const char* f : {"a.ico", "b.EXE", "c.ico.exe", "Z.ico", ".hidden.ico"}) WriteBytes(root + f, {'x'});
        ::mkdir((root + "sub").c_str(), 0777);
        ::mkdir((root + "sub/deeper").c_str(), 0777);
        ::mkdir((root + ".dot").c_str(), 0777);
        WriteBytes(root + "sub/d.ico", {'x'});
        WriteBytes(root + "sub/deeper/e.ico", {'x'});
        WriteBytes(root + ".dot/f.ico", {'x'});
    }
};

// Records every event as text: "begin", "folder <path>", "file <path><name>", "abort", "finish".
void Record(TFindFile& f, Log& log, const std::string& strip = "") {
    auto rel = [strip](const std::string& p) { return p.rfind(strip, 0) == 0 ? p.substr(strip.size()) : p; };
    f.OnSearchBegin = [&log](TFindFile&) { log.push_back("begin"); };
    f.OnSearchFinish = [&log](TFindFile& s) { log.push_back(s.Busy() ? "finish" : "finish-idle"); };
    f.OnSearchAbort = [&log](TFindFile&) { log.push_back("abort"); };
    f.OnFolderChange = [&log, rel](TFindFile&, const std::string& folder, bool&) {
        log.push_back("folder " + rel(folder));
    };
    f.OnFileMatch = [&log, rel](TFindFile&, const std::string& folder, const TSearchRec& r) {
        log.push_back("file " + rel(folder) + r.Name);
    };
}

// The main thread's side of a threaded run: a queue of calls the worker hands over.
class TestLoop : public TMainThreadHandOver {
public:
    void Invoke(const std::function<void()>& call) override {
        std::exception_ptr error;
        bool done = false;
        {
            std::lock_guard<std::mutex> lock(FLock);
            FQueue.push_back([&] {
                try {
                    call();
                } catch (...) {
                    error = std::current_exception();
                }
                std::lock_guard<std::mutex> l(FLock);
                done = true;
                FDone.notify_all();
            });
            FReady.notify_all();
        }
        std::unique_lock<std::mutex> lock(FLock);
        FDone.wait(lock, [&] { return done; });
        if (error) std::rethrow_exception(error);
    }
    void Post(std::function<void()> call) override {
        std::lock_guard<std::mutex> lock(FLock);
        FQueue.push_back(std::move(call));
        FReady.notify_all();
    }
    void ProcessPending() override {
        std::deque<std::function<void()>> work;
        {
            std::unique_lock<std::mutex> lock(FLock);
            FReady.wait_for(lock, std::chrono::milliseconds(20), [&] { return !FQueue.empty(); });
            work.swap(FQueue);
        }
        for (auto& call : work) call();
    }
    void RunUntilIdle(const TFindFile& f) {
        while (f.Busy()) ProcessPending();
    }

private:
    std::mutex FLock;
    std::condition_variable FReady, FDone;
    std::deque<std::function<void()>> FQueue;
};

}  // namespace

TEST(FindFileRun, MasksFoldersAndOrder) {
    Tree t;
    TFindFile f;
    Log log;
    Record(f, log, t.root);
    f.Criteria().Files.FileName = "*.ico;*.exe";
    f.Criteria().Files.Location = t.root;
    f.Execute();
    EXPECT_FALSE(f.Busy());
    // The last mask first; within a mask, names in order ignoring case; a name matching both
    // masks twice; files before sub-folders; hidden folders entered like any other.
    EXPECT_EQ(log, (Log{"begin", "folder ", "file b.EXE", "file c.ico.exe", "file .hidden.ico", "file a.ico",
                        "file Z.ico", "folder .dot/", "file .dot/f.ico", "folder sub/", "file sub/d.ico",
                        "folder sub/deeper/", "file sub/deeper/e.ico", "finish"}));
}

TEST(FindFileRun, FoldersNamedTwiceLevelsAndSkipping) {
    Tree t;
    TFindFile f;
    Log log;
    Record(f, log, t.root);
    f.Criteria().Files.FileName = "*.ico";
    f.Criteria().Files.Location = "<" + t.root + ";<" + t.dir.Path() + "/./";  // the same folder twice
    f.Execute();
    EXPECT_EQ(log, (Log{"begin", "folder ", "file .hidden.ico", "file a.ico", "file Z.ico", "file .hidden.ico",
                        "file a.ico", "file Z.ico", "finish"}));

    log.clear();
    f.Criteria().Files.Location = t.root;
    f.Criteria().Files.MinLevel = 2;
    f.Criteria().Files.MaxLevel = 2;
    f.Execute();
    EXPECT_EQ(log,
              (Log{"begin", "folder ", "folder .dot/", "file .dot/f.ico", "folder sub/", "file sub/d.ico", "finish"}));

    log.clear();
    f.Criteria().Files.MinLevel = 0;
    f.Criteria().Files.MaxLevel = 1;
    f.OnFolderChange = nullptr;
    f.Execute();
    EXPECT_EQ(log, (Log{"begin", "file .hidden.ico", "file a.ico", "file Z.ico", "finish"}));

    log.clear();
    f.Criteria().Files.MaxLevel = 0;
    f.OnFolderChange = [&](TFindFile&, const std::string& folder, bool& ignore) {
        ignore = folder == t.root + "sub/" || folder == t.root + ".dot/";
    };
    f.Execute();
    EXPECT_EQ(log, (Log{"begin", "file .hidden.ico", "file a.ico", "file Z.ico", "finish"}));
}

TEST(FindFileRun, EmptyAndMissingLocationsAndIncludedLines) {
    Tree t;
    TFindFile f;
    Log log;
    Record(f, log, t.root);
    f.Execute();
    EXPECT_EQ(log, (Log{"begin", "finish"}));

    log.clear();
    f.Criteria().Files.FileName = "*.*";
    f.Criteria().Files.Location = t.root + "nope";
    f.Execute();
    EXPECT_EQ(log, (Log{"begin", "folder nope/", "finish"}));

    log.clear();
    f.Criteria().Files.Location.clear();
    f.Criteria().Files.Included = {"<" + t.root + "sub/*.ICO", ">" + t.root + "sub/deeper/e.*"};
    f.Execute();
    EXPECT_EQ(log,
              (Log{"begin", "folder sub/", "file sub/d.ico", "folder sub/deeper/", "file sub/deeper/e.ico", "finish"}));
}

TEST(FindFileRun, AbortFromAHandlerAndExecuteWhileBusy) {
    Tree t;
    TFindFile f;
    Log log;
    Record(f, log, t.root);
    f.Criteria().Files.FileName = "*.ico";
    f.Criteria().Files.Location = t.root;
    f.Abort();  // idle: nothing
    EXPECT_TRUE(log.empty());
    f.OnFileMatch = [&](TFindFile& s, const std::string&, const TSearchRec& r) {
        log.push_back("file " + r.Name);
        s.Execute();  // busy: nothing
        s.Abort();
    };
    f.Execute();
    EXPECT_EQ(log, (Log{"begin", "folder ", "file .hidden.ico", "abort", "finish"}));
    EXPECT_TRUE(f.Aborted());
    EXPECT_FALSE(f.Busy());
}

TEST(FindFileRun, AHandlerErrorReachesTheCallerAndLeavesTheComponentReady) {
    Tree t;
    TFindFile f;
    f.Criteria().Files.FileName = "*.ico";
    f.Criteria().Files.Location = t.root;
    f.OnFileMatch = [](TFindFile&, const std::string&, const TSearchRec&) { throw std::runtime_error("boom"); };
    EXPECT_THROW(f.Execute(), std::runtime_error);
    EXPECT_FALSE(f.Busy());
    int files = 0;
    f.OnFileMatch = [&](TFindFile&, const std::string&, const TSearchRec&) { ++files; };
    f.Execute();
    EXPECT_EQ(files, 6);
}

TEST(FindFileRun, EntryRecordsAndContentSearches) {
    Tree t;
    WriteBytes(t.root + "sub/big.txt", std::vector<uint8_t>(5000, 'q'));
    ::chmod((t.root + "a.ico").c_str(), 0444);
    TFindFile f;
    std::vector<TSearchRec> found;
    f.OnFileMatch = [&](TFindFile&, const std::string&, const TSearchRec& r) { found.push_back(r); };
    f.Criteria().Files.FileName = "*";
    f.Criteria().Files.Location = "<" + t.root;
    f.Criteria().Attribute.SetAttributes(AttrSet({ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory}));
    f.Execute();
    std::vector<std::string> names;
    for (const auto& r : found) names.push_back(r.Name);
    EXPECT_EQ(names, (std::vector<std::string>{".dot", ".hidden.ico", "a.ico", "b.EXE", "c.ico.exe", "sub", "Z.ico"}));
    EXPECT_EQ(found[0].Attr, faDirectory | faHidden);
    EXPECT_EQ(found[1].Attr, faArchive | faHidden);
    EXPECT_EQ(found[2].Attr & faArchive, faArchive);
    EXPECT_EQ(found[2].Size, 1);
    EXPECT_GT(found[2].FindData.LastWriteTime, 116444736000000000LL);
    EXPECT_NE(found[2].Time, 0u);

    // A phrase never accepts a folder, whatever the attributes allow.
    found.clear();
    f.Criteria().Files.Location = t.root;
    f.Criteria().Content.SetPhrase("QQQ");
    f.Execute();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Name, "big.txt");
}

TEST(FindFileRun, ALinkBackToAnAncestorIsNotFollowedForever) {
    Tree t;
    ASSERT_EQ(::symlink(t.root.c_str(), (t.root + "sub/loop").c_str()), 0);
    ASSERT_EQ(::symlink("..", (t.root + "sub/deeper/up").c_str()), 0);
    TFindFile f;
    Log log;
    Record(f, log, t.root);
    f.Criteria().Files.FileName = "e.ico";
    f.Criteria().Files.Location = t.root;
    f.Execute();
    EXPECT_EQ(log, (Log{"begin", "folder ", "folder .dot/", "folder sub/", "folder sub/deeper/",
                        "file sub/deeper/e.ico", "finish"}));
}

TEST(FindFileThreaded, EventsOnTheMainThreadAndAbortAtAnyMoment) {
    Tree t;
    for (int i = 0; i < 30; ++i) {
        ::mkdir((t.root + "sub/m" + std::to_string(i)).c_str(), 0777);
        for (int k = 0; k < 5; ++k)
            WriteBytes(t.root + "sub/m" + std::to_string(i) + "/" + std::to_string(k) + ".ico", {'x'});
    }
    TestLoop loop;
    const auto mainThread = std::this_thread::get_id();
    // A whole run: the same events as on the calling thread, each on the main thread.
    Log threadedLog, plainLog;
    {
        TFindFile plain;
        Record(plain, plainLog, t.root);
        plain.Criteria().Files.FileName = "*.ico";
        plain.Criteria().Files.Location = t.root;
        plain.Execute();
    }
    TFindFile f;
    f.Threaded = true;
    f.ThreadPriority = TThreadPriority::tpLower;
    f.HandOver = &loop;
    Record(f, threadedLog, t.root);
    bool offMain = false;
    auto match = f.OnFileMatch;
    f.OnFileMatch = [&](TFindFile& s, const std::string& d, const TSearchRec& r) {
        offMain |= std::this_thread::get_id() != mainThread;
        match(s, d, r);
    };
    f.Criteria().Files.FileName = "*.ico";
    f.Criteria().Files.Location = t.root;
    f.Execute();
    EXPECT_TRUE(f.Busy());
    loop.RunUntilIdle(f);
    EXPECT_FALSE(offMain);
    EXPECT_EQ(threadedLog, plainLog);

    // Abort after n hand-overs, for many n: no event after the abort but the finish.
    for (int n = 0; n < 200; n += 7) {
        Log log;
        Record(f, log, t.root);
        int seen = 0;
        f.OnFileMatch = [&](TFindFile& s, const std::string&, const TSearchRec&) {
            log.push_back("file");
            if (++seen == n) s.Abort();
        };
        f.Execute();
        if (n == 0) f.Abort();  // before the worker starts walking
        loop.RunUntilIdle(f);
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), "finish");
        const auto abortAt = std::find(log.begin(), log.end(), "abort");
        if (abortAt != log.end()) {
            EXPECT_EQ(abortAt + 2, log.end()) << n;
        }
    }

    // An error in a handler ends the worker's walk; the run still finishes.
    Log log;
    Record(f, log, t.root);
    f.OnFileMatch = [](TFindFile&, const std::string&, const TSearchRec&) { throw std::runtime_error("x"); };
    f.Execute();
    loop.RunUntilIdle(f);
    EXPECT_EQ(log.back(), "finish");
}

TEST(FindFileThreaded, DestroyingABusyComponentWaitsForItsWorker) {
    Tree t;
    TestLoop loop;
    Log log;
    auto f = std::make_unique<TFindFile>();
    f->Threaded = true;
    f->HandOver = &loop;
    Record(*f, log, t.root);
    f->Criteria().Files.FileName = "*";
    f->Criteria().Files.Location = t.root;
    f->Execute();
    loop.ProcessPending();
    f.reset();  // aborts, serves the worker's hand-overs until it has ended; no abort/finish events
    EXPECT_EQ(std::count(log.begin(), log.end(), "finish"), 0);
    EXPECT_EQ(std::count(log.begin(), log.end(), "abort"), 0);
}

TEST(FindFileRun, AFinishHandlerErrorLeavesTheComponentReady) {
    Tree t;
    TestLoop loop;
    for (const bool threaded : {false, true}) {
        TFindFile f;
        f.Threaded = threaded;
        f.HandOver = &loop;
        f.Criteria().Files.FileName = "*.ico";
        f.Criteria().Files.Location = t.root;
        int finished = 0;
        f.OnSearchFinish = [&](TFindFile&) {
            if (++finished == 1) throw std::runtime_error("boom");
        };
        EXPECT_THROW(
            {
                f.Execute();
                loop.RunUntilIdle(f);
            },
            std::runtime_error)
            << threaded;
        EXPECT_FALSE(f.Busy()) << threaded;
        f.Execute();
        loop.RunUntilIdle(f);
        EXPECT_EQ(finished, 2) << threaded;
    }
}

TEST(FindFileThreaded, FolderErrorsOnTheMainThread) {
    Tree t;
    TestLoop loop;
    TFindFile f;
    f.Threaded = true;
    f.HandOver = &loop;
    Log log;
    Record(f, log, t.root);
    const auto mainThread = std::this_thread::get_id();
    f.OnFolderError = [&](TFindFile&, const std::string& folder, int error) {
        log.push_back("error " + folder.substr(t.root.size()) + " " + std::to_string(error) +
                      (std::this_thread::get_id() == mainThread ? "" : " off the main thread"));
    };
    f.Criteria().Files.FileName = "d.ico";
    f.Criteria().Files.Location = t.root + "nope;" + t.root + "sub";
    f.Execute();
    loop.RunUntilIdle(f);
    EXPECT_EQ(log, (Log{"begin", "folder nope/", "error nope/ " + std::to_string(ENOENT), "folder sub/",
                        "file sub/d.ico", "folder sub/deeper/", "finish"}));
}
