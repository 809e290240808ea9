#include "widgets/WorkQueue.h"

#include <exception>

namespace pictavo {

TWorkQueue::TWorkQueue(int threads, QObject* parent) : QObject(parent), FMaxThreads(threads < 1 ? 1 : threads) {
    connect(this, &TWorkQueue::StepsHandedBack, this, &TWorkQueue::RunSteps, Qt::QueuedConnection);
}

TWorkQueue::~TWorkQueue() {
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStopping = true;
        FWaiting.clear();
        FCancel->store(true);  // work still running ends at its next check
    }
    FWake.notify_all();
    for (std::thread& thread : FThreads) thread.join();
}

void TWorkQueue::Post(TWork work) {
    bool start = false;
    {
        std::lock_guard<std::mutex> lock(FLock);
        FWaiting.emplace_back(FGeneration, std::move(work));
        ++FPending;
        start = FIdle == 0 && static_cast<int>(FThreads.size()) < FMaxThreads;
        if (start) FThreads.emplace_back([this] { WorkerLoop(); });
    }
    if (!start) FWake.notify_one();
}

void TWorkQueue::Abandon() {
    std::lock_guard<std::mutex> lock(FLock);
    ++FGeneration;
    FCancel->store(true);
    FCancel = std::make_shared<std::atomic<bool>>(false);
    FWaiting.clear();
    FDone.clear();
    FPending = 0;
}

std::shared_ptr<const std::atomic<bool>> TWorkQueue::CancelFlag() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FCancel;
}

int TWorkQueue::Pending() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FPending;
}

void TWorkQueue::WorkerLoop() {
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
        ++FIdle;
        FWake.wait(lock, [this] { return FStopping || !FWaiting.empty(); });
        --FIdle;
        if (FStopping) return;
        auto [generation, work] = std::move(FWaiting.front());
        FWaiting.pop_front();
        lock.unlock();
        std::function<void()> step;
        try {
            step = work();
        } catch (...) {
            // Work reports its own errors through its step; one that raises anyway hands
            // back nothing rather than ending the worker.
        }
        work = nullptr;  // what the work holds is freed here, not on the window's thread
        lock.lock();
        if (FStopping) return;
        if (generation != FGeneration) {
            lock.unlock();
            step = nullptr;  // abandoned: its result is freed here too
            lock.lock();
            continue;
        }
        FDone.push_back({generation, std::move(step)});
        if (!FStepsPosted) {
            // One call on the way at a time carries every step handed back meanwhile.
            FStepsPosted = true;
            emit StepsHandedBack();
        }
    }
}

void TWorkQueue::RunSteps() {
    std::vector<TDone> done;
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStepsPosted = false;
        done.swap(FDone);
    }
    for (TDone& item : done) {
        {
            // A step may abandon the queue (a new file chosen): the rest are then not run.
            std::lock_guard<std::mutex> lock(FLock);
            if (item.Generation != FGeneration) continue;
            --FPending;
        }
        if (item.Step) item.Step();
    }
}

}  // namespace pictavo
