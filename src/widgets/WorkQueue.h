// Work done off the window's thread: each piece runs on a worker thread and hands back a step
// that runs on the thread of the queue (the window's), so that the window repaints and answers
// while files are read and pictures decoded. Abandoning drops what waits and every step not yet
// run, so that work for something no longer on view never reaches the view.
#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace pictavo {

class TWorkQueue : public QObject {
    Q_OBJECT
public:
    // What runs on a worker: it returns the step to run on the queue's thread (or none).
    using TWork = std::function<std::function<void()>()>;

    // Work runs on up to `threads` workers, started as work comes.
    explicit TWorkQueue(int threads, QObject* parent = nullptr);
    // Drops what waits and waits for the work running to end; no step runs any more.
    ~TWorkQueue() override;

    // Queues work; work is taken in the order it was posted.
    void Post(TWork work);
    // Drops the work not yet begun, and the steps of all work posted so far never run; the
    // cancel flag of that work is set, so that work running stops at its next check.
    void Abandon();
    // The flag that Abandon (or the queue's end) sets for the work posted until then: work that
    // reads a file hands it to the reader, which stops at its next read.
    std::shared_ptr<const std::atomic<bool>> CancelFlag() const;
    // Work posted and not abandoned whose step has not run yet.
    int Pending() const;

signals:
    // For the queue itself: a worker handed steps back (connected to RunSteps, queued). A signal
    // rather than a posted functor, so that nothing made on a worker passes through Qt's queue.
    void StepsHandedBack();

private:
    struct TDone {
        uint64_t Generation;
        std::function<void()> Step;
    };
    void WorkerLoop();
    // On the queue's thread: runs the steps handed back, of the current generation only.
    void RunSteps();

    const int FMaxThreads;
    mutable std::mutex FLock;
    std::condition_variable FWake;
    std::deque<std::pair<uint64_t, TWork>> FWaiting;
    std::vector<TDone> FDone;
    std::vector<std::thread> FThreads;
    int FIdle = 0;
    int FPending = 0;             // of the current generation, posted and not stepped
    uint64_t FGeneration = 0;     // raised by Abandon
    std::shared_ptr<std::atomic<bool>> FCancel = std::make_shared<std::atomic<bool>>(false);  // this generation's
    bool FStopping = false;
    bool FStepsPosted = false;    // a RunSteps call is on its way to the queue's thread
};

}  // namespace pictavo
