#include "widgets/WorkService.h"

#include "base/ByteBuffer.h"

#include <QRunnable>
#include <QThread>
#include <QThreadPool>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace pictavo {

namespace {
// A pool thread idle this long ends; the next piece of work starts one again.
constexpr int kIdleThreadMs = 3000;
// Blocks this large are mapped on their own and given back to the system when freed. The C
// library otherwise raises its own threshold after the first large block is freed, and each of
// the many threads' heaps then keeps up to twice that of freed pictures' bytes: with a decode
// budget of 512 MB, hundreds of megabytes held beyond it.
constexpr int kMapThresholdBytes = 1 << 20;

// Pools whose threads were still running work when their service ended: never deleted (that
// would wait for them), kept here so that they stay reachable until the process ends (the list
// itself is never destroyed, or they would be unreachable once the process's end had freed it).
std::mutex gLeftBehindLock;
std::vector<QThreadPool*>& LeftBehind() {
    static auto* pools = new std::vector<QThreadPool*>();
    return *pools;
}
}  // namespace

struct TWorkService::TState {
    struct TChannel {
        uint64_t Generation = 0;  // raised by Abandon
        std::shared_ptr<TCancelFlag> Cancel = std::make_shared<TCancelFlag>(false);
        int Pending = 0;  // of the current generation, posted and its last step not run
        int Running = 0;  // pieces of it on a worker now, those given up not counted
        int Concurrent = 0;
        bool GivesUp = false;  // its pieces running when it abandons them are given up
    };
    struct TWaiting {
        uint64_t Channel;
        uint64_t Generation;
        TReportingWork Work;
    };
    struct TDone {
        uint64_t Channel;
        uint64_t Generation;
        TStep Step;
        bool Last;  // the piece's returned step: its channel has one piece fewer pending
    };
    struct TRun {
        uint64_t Channel;
        bool GivenUp = false;
    };

    TMode Mode = TMode::Threads;
    std::mutex Lock;
    std::unordered_map<uint64_t, TChannel> Channels;
    uint64_t NextChannel = 1;
    std::deque<TWaiting> Waiting;
    std::vector<TDone> Done;
    std::unordered_map<uint64_t, TRun> Runs;  // the pieces on a worker, by a serial of their own
    uint64_t NextRun = 1;
    QThreadPool* Pool = nullptr;  // null once the service has ended
    int MaxWorkers = 1;
    int Workers = 0;  // runners started and not ended, those given up not counted
    int Busy = 0;     // of them, those running a piece now
    int GivenUp = 0;
    bool Stopping = false;
    bool StepsPosted = false;             // a RunSteps call is on its way to the window's thread
    bool MemoryPosted = false;            // a MemoryReleased notice is on its way
    std::function<void()> Wake;           // while the service lives: queues RunSteps
    std::function<void()> RunStepsNow;    // manual mode: runs the steps handed back at once
    std::function<void()> WakeForMemory;  // while the service lives: queues MemoryReleased

    // Takes the oldest piece waiting whose channel may run one more; false when none may.
    bool Take(TWaiting& taken, uint64_t& run) {
        const auto next = std::find_if(Waiting.begin(), Waiting.end(), [this](const TWaiting& waiting) {
            const TChannel& channel = Channels.at(waiting.Channel);
            return channel.Concurrent == 0 || channel.Running < channel.Concurrent;
        });
        if (next == Waiting.end()) return false;
        taken = std::move(*next);
        Waiting.erase(next);
        ++Channels.at(taken.Channel).Running;
        run = NextRun++;
        Runs.emplace(run, TRun{taken.Channel});
        return true;
    }

    // Under the lock: queues a step for the window's thread, unless its channel abandoned it or
    // went; then the step is handed back to the caller, to be freed once the lock is let go.
    TStep HandBack(uint64_t channel, uint64_t generation, TStep step, bool last) {
        const auto found = Channels.find(channel);
        if (Stopping || found == Channels.end() || found->second.Generation != generation) return step;
        Done.push_back({channel, generation, std::move(step), last});
        if (Wake && !StepsPosted) {
            // One call on the way at a time carries every step handed back meanwhile.
            StepsPosted = true;
            Wake();
        }
        return {};
    }

    // Runs a piece taken, then hands its step back; true when its worker was given up meanwhile.
    bool RunTaken(std::unique_lock<std::mutex>& lock, TWaiting& taken, uint64_t run,
                  const std::shared_ptr<TState>& self) {
        lock.unlock();
        TStep step;
        {
            const THandBack handBack = [self, channel = taken.Channel, generation = taken.Generation](TStep step) {
                std::unique_lock<std::mutex> lock(self->Lock);
                TStep dropped = self->HandBack(channel, generation, std::move(step), false);
                const std::function<void()> runNow = self->RunStepsNow;
                lock.unlock();
                dropped = nullptr;
                // In manual mode the work runs on the window's thread, which runs what it hands
                // back as it goes, as the window would between two of its pieces.
                if (runNow) runNow();
            };
            try {
                step = taken.Work(handBack);
            } catch (...) {
                // Work reports its own errors through its steps; one that raises anyway hands
                // back nothing rather than ending the worker.
            }
            taken.Work = nullptr;  // what the work holds is freed here, not on the window's thread
        }
        lock.lock();
        const TRun ran = Runs.at(run);
        Runs.erase(run);
        if (ran.GivenUp) {
            --GivenUp;
        } else {
            --Busy;
            const auto channel = Channels.find(ran.Channel);
            if (channel != Channels.end()) --channel->second.Running;
        }
        TStep dropped = HandBack(taken.Channel, taken.Generation, std::move(step), true);
        if (dropped) {
            lock.unlock();
            dropped = nullptr;  // abandoned: its result is freed here too
            lock.lock();
        }
        return ran.GivenUp;
    }

    // Under the lock: starts runners for the work waiting, as many as idle ones do not cover.
    void StartWorkers(const std::shared_ptr<TState>& self);

    // Moves the entries of a channel from `from` to `to`, keeping the order of the others.
    template <typename From, typename To>
    static void MoveOut(From& from, uint64_t id, To& to) {
        for (auto& entry : from)
            if (entry.Channel == id) to.push_back(std::move(entry));
        std::erase_if(from, [id](const auto& entry) { return entry.Channel == id; });
    }

    // Under the lock: drops what a channel has waiting and queued, gives up its pieces running.
    void Abandon(TChannel& channel, uint64_t id, std::deque<TWaiting>& dropped, std::vector<TDone>& steps) {
        ++channel.Generation;
        channel.Cancel->store(true);
        channel.Cancel = std::make_shared<TCancelFlag>(false);
        channel.Pending = 0;
        MoveOut(Waiting, id, dropped);
        MoveOut(Done, id, steps);
        // Its reads running no longer matter: their workers are given up, so that the channel's
        // next piece, and everyone else's, does not wait for a read that may never come back.
        for (auto& [serial, run] : Runs) {
            if (!channel.GivesUp || run.Channel != id || run.GivenUp || GivenUp >= kMaxGivenUp) continue;
            run.GivenUp = true;
            ++GivenUp;
            --Busy;
            --Workers;
            --channel.Running;
        }
    }
};

class TWorkService::TRunner : public QRunnable {
public:
    explicit TRunner(std::shared_ptr<TState> state) : FState(std::move(state)) {
        setAutoDelete(true);
        FMade.store(true, std::memory_order_release);
    }
    void run() override {
        // The pool hands a runner to an idle thread under locks of Qt's own, which the thread
        // sanitizer does not see (Qt's libraries are not instrumented): this pair makes the
        // hand-over of what the constructor wrote visible to it.
        (void)FMade.load(std::memory_order_acquire);
        TState& state = *FState;
        std::unique_lock<std::mutex> lock(state.Lock);
        for (;;) {
            TState::TWaiting taken;
            uint64_t run = 0;
            if (state.Stopping || !state.Take(taken, run)) break;
            ++state.Busy;
            // A worker given up was counted out already; it ends here.
            if (state.RunTaken(lock, taken, run, FState)) return;
        }
        --state.Workers;
    }

private:
    std::shared_ptr<TState> FState;
    std::atomic<bool> FMade{false};
};

void TWorkService::TState::StartWorkers(const std::shared_ptr<TState>& self) {
    if (Mode != TMode::Threads || !Pool || Stopping) return;
    while (Workers < MaxWorkers && Workers - Busy < static_cast<int>(Waiting.size())) {
        ++Workers;
        Pool->start(new TRunner(self));
    }
}

TWorkService::TWorkService(TMode mode, QObject* parent, int threads)
    : QObject(parent), FMode(mode), FState(std::make_shared<TState>()) {
    ::mallopt(M_MMAP_THRESHOLD, kMapThresholdBytes);
    FState->Mode = mode;
    FState->MaxWorkers = threads > 0 ? threads : std::max(1, QThread::idealThreadCount());
    FState->Pool = new QThreadPool();
    // Room for the workers given up besides those counted: the pool never makes work wait.
    FState->Pool->setMaxThreadCount(FState->MaxWorkers + kMaxGivenUp);
    FState->Pool->setExpiryTimeout(kIdleThreadMs);
    connect(this, &TWorkService::StepsHandedBack, this, &TWorkService::StepsArrived, Qt::QueuedConnection);
    FStepTimer.setSingleShot(true);
    connect(&FStepTimer, &QTimer::timeout, this, &TWorkService::RunSteps);
    if (mode == TMode::Threads)
        FState->Wake = [this] { emit StepsHandedBack(); };
    else
        FState->RunStepsNow = [this] { RunSteps(); };
    FState->WakeForMemory = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                {
                    std::lock_guard<std::mutex> lock(FState->Lock);
                    FState->MemoryPosted = false;
                }
                emit MemoryReleased();
            },
            Qt::QueuedConnection);
    };
    FReleaseListener = AddDecodeReleaseListener([state = std::weak_ptr<TState>(FState)] {
        const std::shared_ptr<TState> alive = state.lock();
        if (!alive) return;
        std::lock_guard<std::mutex> lock(alive->Lock);
        if (alive->MemoryPosted || !alive->WakeForMemory) return;
        alive->MemoryPosted = true;
        alive->WakeForMemory();
    });
}

TWorkService::~TWorkService() {
    RemoveDecodeReleaseListener(FReleaseListener);
    std::deque<TState::TWaiting> dropped;
    std::vector<TState::TDone> steps;
    QThreadPool* pool = nullptr;
    {
        std::lock_guard<std::mutex> lock(FState->Lock);
        FState->Stopping = true;
        FState->Wake = nullptr;
        FState->RunStepsNow = nullptr;
        FState->WakeForMemory = nullptr;
        dropped.swap(FState->Waiting);
        steps.swap(FState->Done);
        for (auto& [id, channel] : FState->Channels)
            channel.Cancel->store(true);  // work running ends at its next check
        pool = std::exchange(FState->Pool, nullptr);
    }
    dropped.clear();
    steps.clear();
    // Work that ends at its next check ends now; a read stuck in the kernel is left behind
    // rather than keeping the window from closing.
    if (pool->waitForDone(kEndWaitMs)) {
        delete pool;
        return;
    }
    std::lock_guard<std::mutex> lock(gLeftBehindLock);
    LeftBehind().push_back(pool);
}

void TWorkService::StepsArrived() {
    const qint64 since = FSinceSteps.isValid() ? FSinceSteps.elapsed() : kStepIntervalMs;
    if (since >= kStepIntervalMs) {
        RunSteps();
        return;
    }
    if (!FStepTimer.isActive()) FStepTimer.start(static_cast<int>(kStepIntervalMs - since));
}

void TWorkService::RunSteps() {
    FStepTimer.stop();
    FSinceSteps.start();
    std::vector<TState::TDone> done;
    {
        std::lock_guard<std::mutex> lock(FState->Lock);
        FState->StepsPosted = false;
        done.swap(FState->Done);
    }
    for (TState::TDone& item : done) {
        {
            // A step may abandon a channel (a new file chosen) or end it: the rest of its steps
            // are then not run.
            std::lock_guard<std::mutex> lock(FState->Lock);
            const auto channel = FState->Channels.find(item.Channel);
            if (channel == FState->Channels.end() || channel->second.Generation != item.Generation) continue;
            if (item.Last) --channel->second.Pending;
        }
        if (item.Step) item.Step();
        item.Step = nullptr;
    }
}

bool TWorkService::RunOne() {
    {
        std::unique_lock<std::mutex> lock(FState->Lock);
        TState::TWaiting taken;
        uint64_t run = 0;
        if (!FState->Take(taken, run)) return false;
        ++FState->Busy;
        FState->RunTaken(lock, taken, run, FState);
    }
    RunSteps();
    return true;
}

int TWorkService::RunAll() {
    int ran = 0;
    while (RunOne()) ++ran;
    return ran;
}

int TWorkService::Waiting() const {
    std::lock_guard<std::mutex> lock(FState->Lock);
    return static_cast<int>(FState->Waiting.size());
}

int TWorkService::GivenUp() const {
    std::lock_guard<std::mutex> lock(FState->Lock);
    return FState->GivenUp;
}

int TWorkService::Running() const {
    std::lock_guard<std::mutex> lock(FState->Lock);
    return FState->Busy;
}

TWorkChannel::TWorkChannel(TWorkService& service, QObject* parent, int concurrent, TKind kind)
    : QObject(parent), FState(service.FState), FId([&] {
          std::lock_guard<std::mutex> lock(service.FState->Lock);
          const uint64_t id = service.FState->NextChannel++;
          auto& channel = service.FState->Channels[id];
          channel.Concurrent = std::max(0, concurrent);
          channel.GivesUp = kind == TKind::ReadsFiles;
          return id;
      }()) {}

TWorkChannel::~TWorkChannel() {
    std::deque<TWorkService::TState::TWaiting> dropped;
    std::vector<TWorkService::TState::TDone> steps;
    std::lock_guard<std::mutex> lock(FState->Lock);
    const auto channel = FState->Channels.find(FId);
    FState->Abandon(channel->second, FId, dropped, steps);
    FState->Channels.erase(channel);
    FState->StartWorkers(FState);
    // What was dropped is freed after the lock is let go (declared before it).
}

void TWorkChannel::Post(TWork work) {
    PostReporting([work = std::move(work)](const TWorkService::THandBack&) { return work(); });
}

void TWorkChannel::PostReporting(TReportingWork work) {
    std::lock_guard<std::mutex> lock(FState->Lock);
    if (FState->Stopping) return;
    auto& channel = FState->Channels.at(FId);
    FState->Waiting.push_back({FId, channel.Generation, std::move(work)});
    ++channel.Pending;
    FState->StartWorkers(FState);
}

void TWorkChannel::Abandon() {
    std::deque<TWorkService::TState::TWaiting> dropped;
    std::vector<TWorkService::TState::TDone> steps;
    std::lock_guard<std::mutex> lock(FState->Lock);
    FState->Abandon(FState->Channels.at(FId), FId, dropped, steps);
    FState->StartWorkers(FState);
}

std::shared_ptr<const TCancelFlag> TWorkChannel::CancelFlag() const {
    std::lock_guard<std::mutex> lock(FState->Lock);
    return FState->Channels.at(FId).Cancel;
}

int TWorkChannel::Pending() const {
    std::lock_guard<std::mutex> lock(FState->Lock);
    return FState->Channels.at(FId).Pending;
}

}  // namespace pictavo
