// Work done off the window's thread: one service per window runs the pieces of work of all its
// clients (the folder listing, the file readers, the icon views and the image boxes) on one
// thread pool, and hands each piece's steps back to the window's thread, so that the window
// repaints and answers while folders are listed, files read and pictures decoded. Each client
// posts through a channel of its own; abandoning a channel drops what it has waiting and every
// step of it not yet run, so that work for something no longer on view never reaches the view.
//
// A read may never come back (a network share that stops answering keeps the thread in the
// kernel). The service never waits for such a piece: once its channel abandons it, its worker
// is given up (it no longer counts against the pool's threads, and whatever it hands back is
// dropped), and the service's end waits a moment for running work, then leaves what still runs
// behind. Work therefore never touches its channel's owner; only its steps do, on the window's
// thread, and only while the channel holds it.
#pragma once

#include "base/ByteSource.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

namespace pictavo {

class TWorkChannel;

class TWorkService : public QObject {
    Q_OBJECT
public:
    // A step to run on the window's thread.
    using TStep = std::function<void()>;
    // What runs on a worker: it returns the step to run on the window's thread (or none).
    using TWork = std::function<TStep()>;
    // Hands a step back while the work still runs; the steps of one piece run in the order
    // handed back, its returned step last.
    using THandBack = std::function<void(TStep)>;
    using TReportingWork = std::function<TStep(const THandBack&)>;
    // Threads: work runs on a pool of `threads` threads (0: as many as the machine has cores),
    // ended when idle for a few seconds. Manual: work waits until RunOne or RunAll runs it on
    // the calling thread, steps included (those handed back while it runs, as they are handed
    // back), so that tests drive the order themselves.
    enum class TMode { Threads, Manual };

    explicit TWorkService(TMode mode = TMode::Threads, QObject* parent = nullptr, int threads = 0);
    // Drops what waits, sets every cancel flag and waits up to kEndWaitMs for the work running;
    // work still running then is left to end on its own, its results dropped.
    ~TWorkService() override;

    // Manual mode: runs the oldest piece of work waiting that may run and then its steps; false
    // when none waits.
    bool RunOne();
    // Manual mode: runs work and steps until none waits (work posted by steps included); how
    // many pieces ran.
    int RunAll();
    // Pieces of work posted and not yet begun, of all channels.
    int Waiting() const;
    // Workers whose work was abandoned while it ran and that have not come back yet.
    int GivenUp() const;
    // Workers that run work now (those given up not counted).
    int Running() const;

    // How long the service's end waits for work running before it leaves it behind.
    static constexpr int kEndWaitMs = 300;
    // Workers given up at once at most; past this an abandoned piece keeps its thread, so that
    // a share that never answers cannot make threads without end.
    static constexpr int kMaxGivenUp = 64;
    // Steps run at most this often: work that hands back a little at a time (a row of a
    // listing, a picture) then has its steps run many at once, not a turn of the event loop each.
    static constexpr int kStepIntervalMs = 10;

signals:
    // For the service itself: a worker handed steps back (connected to RunSteps, queued).
    void StepsHandedBack();
    // Decoded pixels went back to a file's budget since the last notice (on the window's
    // thread): decodes refused for want of them may be tried again.
    void MemoryReleased();

private:
    friend class TWorkChannel;
    struct TState;
    class TRunner;

    // On the window's thread: runs the steps handed back, of each channel's current generation.
    void RunSteps();
    // The steps handed back reach the window's thread: they run now, or, when steps ran less
    // than kStepIntervalMs ago, once that much time has passed, all together.
    void StepsArrived();

    const TMode FMode;
    QElapsedTimer FSinceSteps;       // since steps last ran
    QTimer FStepTimer;               // runs the steps that arrived too soon after the last ones
    std::shared_ptr<TState> FState;  // shared with the workers, which may outlive the service
    int FReleaseListener = 0;
};

// A client's way to the service: work posted through it runs on the service's pool and its
// steps on the window's thread, unless the channel abandoned it meanwhile.
class TWorkChannel : public QObject {
    Q_OBJECT
public:
    using TStep = TWorkService::TStep;
    using TWork = TWorkService::TWork;
    using TReportingWork = TWorkService::TReportingWork;

    // What its work does: work that reads files may never come back (a share that stops
    // answering), so a piece of it running when the channel abandons it is given up; work that
    // only decodes bytes held in memory ends soon and keeps its worker until then.
    enum class TKind { Decodes, ReadsFiles };

    // At most `concurrent` pieces of its work run at once (0: no limit); with 1 they run one
    // after the other in the order posted, and their steps run in that order too.
    explicit TWorkChannel(TWorkService& service, QObject* parent = nullptr, int concurrent = 0,
                          TKind kind = TKind::Decodes);
    // Abandons its work; never waits for the piece of it running.
    ~TWorkChannel() override;

    // Queues work; the service takes work in the order it was posted.
    void Post(TWork work);
    // The same for work that hands steps back while it runs.
    void PostReporting(TReportingWork work);
    // Drops the work not yet begun, and the steps of all work posted so far never run; the
    // cancel flag of that work is set, so that work running stops at its next check; the worker
    // of a piece of file reads still running is given up: the channel's next piece, and
    // everyone else's, does not wait for it.
    void Abandon();
    // The flag that Abandon (or the service's end) sets for the work posted until then: work
    // that reads a file hands it to the reader, which stops at its next read.
    std::shared_ptr<const TCancelFlag> CancelFlag() const;
    // Work posted and not abandoned whose last step has not run yet.
    int Pending() const;

private:
    std::shared_ptr<TWorkService::TState> FState;
    const uint64_t FId;  // never reused: steps find their channel by it, not by its address
};

}  // namespace pictavo
