// Work done off the window's thread: one service per window runs the pieces of work of all its
// clients (the icon views, the image boxes, the file readers) on one thread pool, and hands
// each piece's step back to the window's thread, so that the window repaints and answers while
// files are read and pictures decoded. Each client posts through a channel of its own;
// abandoning a channel drops what it has waiting and every step of it not yet run, so that
// work for something no longer on view never reaches the view.
#pragma once

#include "base/ByteSource.h"

#include <QObject>
#include <QRunnable>
#include <QThreadPool>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace pictavo {

class TWorkChannel;

class TDecodingService : public QObject {
    Q_OBJECT
public:
    // What runs on a worker: it returns the step to run on the window's thread (or none).
    using TWork = std::function<std::function<void()>()>;
    // Threads: work runs on a pool of as many threads as the machine has cores, ended when
    // idle for a few seconds. Manual: work waits until RunOne or RunAll runs it on the calling
    // thread, step included, so that tests drive the order themselves.
    enum class TMode { Threads, Manual };

    explicit TDecodingService(TMode mode = TMode::Threads, QObject* parent = nullptr);
    // Drops what waits, sets every cancel flag and waits for the work running to end; the
    // channels still alive post nothing from then on.
    ~TDecodingService() override;

    // Manual mode: runs the oldest piece of work waiting and then its step; false when none
    // waits.
    bool RunOne();
    // Manual mode: runs work and steps until none waits (work posted by steps included);
    // how many pieces ran.
    int RunAll();
    // Pieces of work posted and not yet begun, of all channels.
    int Waiting() const;

signals:
    // For the service itself: a worker handed steps back (connected to RunSteps, queued). A
    // signal rather than a posted functor, so that nothing made on a worker passes through Qt's
    // queue: the steps pass through the service's own lock, which the thread sanitizer sees.
    void StepsHandedBack();

private:
    friend class TWorkChannel;
    struct TItem {
        TWorkChannel* Channel;
        uint64_t Generation;
        std::function<void()> Step;  // the work's step, once done
    };
    struct TWaiting {
        TWorkChannel* Channel;
        uint64_t Generation;
        TWork Work;
    };
    // The pool's one runnable, started once per piece posted: it takes the oldest piece
    // waiting. Made once and never deleted by the pool, so that nothing of it is written on
    // the window's thread after the pool's threads began.
    class TRunner : public QRunnable {
    public:
        explicit TRunner(TDecodingService& service) : FService(service) { setAutoDelete(false); }
        void run() override { FService.RunWaiting(false); }

    private:
        TDecodingService& FService;
    };

    void Post(TWorkChannel& channel, TWork work);
    void Abandon(TWorkChannel& channel);
    void Detach(TWorkChannel& channel);
    // On a worker (or the caller in manual mode): runs the oldest piece waiting whose channel
    // may run one more, and (unless `once`) the next such piece after it, until none is left.
    void RunWaiting(bool once);
    // On the window's thread: runs the steps handed back, of each channel's current
    // generation only.
    void RunSteps();

    const TMode FMode;
    mutable std::mutex FLock;
    std::condition_variable FIdle;  // a channel's running work ended
    std::deque<TWaiting> FWaiting;
    std::vector<TItem> FDone;
    std::vector<TWorkChannel*> FChannels;
    bool FStopping = false;
    bool FStepsPosted = false;  // a RunSteps call is on its way to the window's thread
    TRunner FRunner{*this};
    QThreadPool FPool;  // after FRunner: ended (and waited for) before it
};

// A client's way to the service: work posted through it runs on the service's pool and its
// step on the window's thread, unless the channel abandoned it meanwhile.
class TWorkChannel : public QObject {
    Q_OBJECT
public:
    using TWork = TDecodingService::TWork;

    // At most `concurrent` pieces of its work run at once (0: no limit); with 1 they run one
    // after the other in the order posted, and their steps run in that order too.
    explicit TWorkChannel(TDecodingService& service, QObject* parent = nullptr, int concurrent = 0);
    // Abandons its work and waits for the piece of it running to end.
    ~TWorkChannel() override;

    // Queues work; the service takes work in the order it was posted.
    void Post(TWork work);
    // Drops the work not yet begun, and the steps of all work posted so far never run; the
    // cancel flag of that work is set, so that work running stops at its next check.
    void Abandon();
    // The flag that Abandon (or the service's end) sets for the work posted until then: work
    // that reads a file hands it to the reader, which stops at its next read.
    std::shared_ptr<const TCancelFlag> CancelFlag() const;
    // Work posted and not abandoned whose step has not run yet.
    int Pending() const;

private:
    friend class TDecodingService;
    // All under the service's lock (the channel's own once the service is gone).
    TDecodingService* FService;
    uint64_t FGeneration = 0;  // raised by Abandon
    std::shared_ptr<TCancelFlag> FCancel = std::make_shared<TCancelFlag>(false);
    int FPending = 0;  // of the current generation, posted and not stepped
    int FRunning = 0;  // pieces of it on a worker now
    const int FConcurrent;
};

}  // namespace pictavo
