#include "widgets/DecodingService.h"

#include <QThread>

#include <algorithm>
#include <exception>

namespace pictavo {

namespace {
// A pool thread idle this long ends; the next piece of work starts one again.
constexpr int kIdleThreadMs = 3000;
}  // namespace

TDecodingService::TDecodingService(TMode mode, QObject* parent) : QObject(parent), FMode(mode) {
    FPool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    FPool.setExpiryTimeout(kIdleThreadMs);
    connect(this, &TDecodingService::StepsHandedBack, this, &TDecodingService::RunSteps, Qt::QueuedConnection);
}

TDecodingService::~TDecodingService() {
    std::deque<TWaiting> dropped;
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStopping = true;
        dropped.swap(FWaiting);
        for (TWorkChannel* channel : FChannels) channel->FCancel->store(true);  // running work ends at its next check
    }
    FPool.waitForDone();
    std::lock_guard<std::mutex> lock(FLock);
    FDone.clear();
    for (TWorkChannel* channel : FChannels) channel->FService = nullptr;
    FChannels.clear();
}

void TDecodingService::Post(TWorkChannel& channel, TWork work) {
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (FStopping) return;
        FWaiting.push_back({&channel, channel.FGeneration, std::move(work)});
        ++channel.FPending;
    }
    if (FMode == TMode::Threads) FPool.start(&FRunner);
}

void TDecodingService::Abandon(TWorkChannel& channel) {
    std::deque<TWaiting> dropped;  // freed after the lock is let go
    std::lock_guard<std::mutex> lock(FLock);
    ++channel.FGeneration;
    channel.FCancel->store(true);
    channel.FCancel = std::make_shared<TCancelFlag>(false);
    channel.FPending = 0;
    for (TWaiting& waiting : FWaiting)
        if (waiting.Channel == &channel) dropped.push_back(std::move(waiting));
    std::erase_if(FWaiting, [&](const TWaiting& waiting) { return waiting.Channel == &channel; });
    std::erase_if(FDone, [&](const TItem& item) { return item.Channel == &channel; });
}

void TDecodingService::Detach(TWorkChannel& channel) {
    Abandon(channel);
    std::unique_lock<std::mutex> lock(FLock);
    // The work running may use what the channel's owner holds: it ends before the owner does.
    FIdle.wait(lock, [&] { return channel.FRunning == 0; });
    std::erase_if(FDone, [&](const TItem& item) { return item.Channel == &channel; });
    std::erase(FChannels, &channel);
    channel.FService = nullptr;
}

void TDecodingService::RunWaiting(bool once) {
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
        if (FStopping) return;
        const auto next = std::find_if(FWaiting.begin(), FWaiting.end(), [](const TWaiting& waiting) {
            const TWorkChannel& channel = *waiting.Channel;
            return channel.FConcurrent == 0 || channel.FRunning < channel.FConcurrent;
        });
        // None: taken by an earlier start, abandoned, or waiting for a piece of its channel
        // that runs now, whose worker takes it next.
        if (next == FWaiting.end()) return;
        TWaiting waiting = std::move(*next);
        FWaiting.erase(next);
        ++waiting.Channel->FRunning;
        lock.unlock();
        std::function<void()> step;
        try {
            step = waiting.Work();
        } catch (...) {
            // Work reports its own errors through its step; one that raises anyway hands back
            // nothing rather than ending the worker.
        }
        waiting.Work = nullptr;  // what the work holds is freed here, not on the window's thread
        lock.lock();
        TWorkChannel& channel = *waiting.Channel;
        --channel.FRunning;
        FIdle.notify_all();
        if (FStopping || waiting.Generation != channel.FGeneration) {
            lock.unlock();
            step = nullptr;  // abandoned: its result is freed here too
            lock.lock();
        } else {
            FDone.push_back({&channel, waiting.Generation, std::move(step)});
            if (FMode == TMode::Threads && !FStepsPosted) {
                // One call on the way at a time carries every step handed back meanwhile.
                FStepsPosted = true;
                emit StepsHandedBack();
            }
        }
        if (once) return;
    }
}

void TDecodingService::RunSteps() {
    std::vector<TItem> done;
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStepsPosted = false;
        done.swap(FDone);
    }
    for (TItem& item : done) {
        {
            // A step may abandon a channel (a new file chosen) or end it: the rest of its steps
            // are then not run.
            std::lock_guard<std::mutex> lock(FLock);
            if (std::find(FChannels.begin(), FChannels.end(), item.Channel) == FChannels.end() ||
                item.Generation != item.Channel->FGeneration)
                continue;
            --item.Channel->FPending;
        }
        if (item.Step) item.Step();
    }
}

bool TDecodingService::RunOne() {
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (FWaiting.empty()) return false;
    }
    RunWaiting(true);
    RunSteps();
    return true;
}

int TDecodingService::RunAll() {
    int ran = 0;
    while (RunOne()) ++ran;
    return ran;
}

int TDecodingService::Waiting() const {
    std::lock_guard<std::mutex> lock(FLock);
    return static_cast<int>(FWaiting.size());
}

TWorkChannel::TWorkChannel(TDecodingService& service, QObject* parent, int concurrent)
    : QObject(parent), FService(&service), FConcurrent(std::max(0, concurrent)) {
    std::lock_guard<std::mutex> lock(service.FLock);
    service.FChannels.push_back(this);
}

TWorkChannel::~TWorkChannel() {
    if (FService) FService->Detach(*this);
}

void TWorkChannel::Post(TWork work) {
    if (FService) FService->Post(*this, std::move(work));
}

void TWorkChannel::Abandon() {
    if (FService) {
        FService->Abandon(*this);
        return;
    }
    FCancel->store(true);
    FCancel = std::make_shared<TCancelFlag>(false);
    FPending = 0;
}

std::shared_ptr<const TCancelFlag> TWorkChannel::CancelFlag() const {
    if (!FService) return FCancel;
    std::lock_guard<std::mutex> lock(FService->FLock);
    return FCancel;
}

int TWorkChannel::Pending() const {
    if (!FService) return FPending;
    std::lock_guard<std::mutex> lock(FService->FLock);
    return FPending;
}

}  // namespace pictavo
