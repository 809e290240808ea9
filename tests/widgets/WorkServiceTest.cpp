// The work service on its own: generations and cancel flags, channels running one piece at a
// time, steps handed back while work runs, channels that go while their work runs, reads given
// up when abandoned, the service's end, the counters; and a decode refused for its file's
// budget, made once the budget is free again.

#include "base/ByteBuffer.h"
#include "icons/AdvancedIcon.h"
#include "library/IconLibrary.h"
#include "support/IconFixtures.h"
#include "widgets/IconImagesModel.h"
#include "widgets/IconListModel.h"
#include "widgets/WorkService.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>

using namespace pictavo;
using namespace pictavo::test;

using TMode = TWorkService::TMode;
using TKind = TWorkChannel::TKind;
using TStep = TWorkService::TStep;
using THandBack = TWorkService::THandBack;

Q_DECLARE_METATYPE(TMode)
Q_DECLARE_METATYPE(TKind)

namespace {

// Holds pieces of work on their workers until the test lets them go: at the latest after ten
// seconds, so that a service that waited for held work fails a check rather than hanging, and
// when the gate goes (a check failed), so that no worker waits for what is gone.
class TGate {
public:
    ~TGate() { Open(); }
    // In the work: tells that it began, then waits.
    void Pass() {
        const std::shared_future<void> open = FOpen;  // the gate may go while it waits
        ++FArrived;
        open.wait_for(std::chrono::seconds(10));
    }
    // Waits for `count` pieces to arrive without turning the event loop: steps handed back
    // meanwhile stay where they are.
    bool WaitArrived(int count) {
        QElapsedTimer waited;
        waited.start();
        while (FArrived.load() < count && waited.elapsed() < 5000) QThread::yieldCurrentThread();
        return FArrived.load() >= count;
    }
    void Open() {
        if (!FOpened.exchange(true)) FRelease.set_value();
    }

private:
    std::promise<void> FRelease;
    std::shared_future<void> FOpen = FRelease.get_future().share();
    std::atomic<int> FArrived{0};
    std::atomic<bool> FOpened{false};
};

// What the work and the steps did, in order; the work's part is written on the workers.
struct TLog {
    std::mutex Lock;
    QStringList Started;  // by the work
    QStringList Steps;    // on the window's thread

    void Start(const QString& name) {
        std::lock_guard<std::mutex> lock(Lock);
        Started << name;
    }
    QStringList StartedNow() {
        std::lock_guard<std::mutex> lock(Lock);
        return Started;
    }
    // A step that notes its name.
    TStep Step(const QString& name) {
        return [this, name] { Steps << name; };
    }
};

// Runs what waits until the channels have nothing pending: at once in manual mode, else by
// turning the event loop (steps come back queued) until no worker runs their work.
bool Settle(TWorkService& service, TMode mode, std::initializer_list<const TWorkChannel*> channels) {
    if (mode == TMode::Manual) service.RunAll();
    return QTest::qWaitFor(
        [&] {
            for (const TWorkChannel* channel : channels)
                if (channel->Pending() != 0) return false;
            return service.Waiting() == 0 && service.Running() == 0;
        },
        5000);
}

void AddModes() {
    QTest::addColumn<TMode>("mode");
    QTest::newRow("manual") << TMode::Manual;
    QTest::newRow("threads") << TMode::Threads;
}

}  // namespace

class WorkServiceTest : public QObject {
    Q_OBJECT
private slots:
    // Abandon raises the channel's generation: no step of the work posted before it runs (the
    // piece running then included), the work posted after it steps; the flag of the work
    // abandoned is set, the work posted after gets a new one.
    void abandonDropsEarlierWork_data() { AddModes(); }
    void abandonDropsEarlierWork() {
        QFETCH(TMode, mode);
        TWorkService service(mode, nullptr, 1);
        TWorkChannel channel(service);
        TLog log;
        TGate gate;
        if (mode == TMode::Manual) gate.Open();  // the work runs on this thread
        std::shared_ptr<const TCancelFlag> seenBefore, seenAfter;
        channel.Post([&] {
            seenBefore = channel.CancelFlag();
            gate.Pass();
            return log.Step("before");
        });
        channel.Post([&] { return log.Step("before, waiting"); });
        if (mode == TMode::Threads) QVERIFY(gate.WaitArrived(1));
        const auto before = channel.CancelFlag();
        channel.Abandon();
        QVERIFY(before->load());
        QVERIFY(!channel.CancelFlag()->load());
        channel.Post([&] {
            seenAfter = channel.CancelFlag();
            return log.Step("after");
        });
        gate.Open();
        QVERIFY(Settle(service, mode, {&channel}));
        QCOMPARE(log.Steps, QStringList{"after"});
        QVERIFY(seenAfter && !seenAfter->load());
        if (seenBefore) QCOMPARE(seenBefore, before);
    }

    // A channel of concurrency 1 runs its pieces one after the other in the order posted, and
    // their steps in that order; meanwhile the service's other workers run other channels' work.
    void oneAtATime_data() {
        QTest::addColumn<TMode>("mode");
        QTest::addColumn<int>("threads");
        QTest::newRow("manual") << TMode::Manual << 1;
        QTest::newRow("one thread") << TMode::Threads << 1;
        QTest::newRow("three threads") << TMode::Threads << 3;
    }
    void oneAtATime() {
        QFETCH(TMode, mode);
        QFETCH(int, threads);
        TWorkService service(mode, nullptr, threads);
        TWorkChannel serial(service, nullptr, 1), other(service);
        TLog log;
        TGate gate;
        if (mode == TMode::Manual) gate.Open();
        std::atomic<int> running{0}, most{0};
        for (int i = 0; i < 5; ++i) {
            const QString name = QString::number(i);
            serial.PostReporting([&, i, name](const THandBack& handBack) {
                most = std::max(most.load(), ++running);
                log.Start(name);
                handBack(log.Step(name + "a"));
                if (i == 0) gate.Pass();
                --running;
                return log.Step(name);
            });
        }
        if (threads > 1) {
            // The first piece holds a worker; another channel's work takes a free one, passing
            // over the pieces waiting for their turn.
            QVERIFY(gate.WaitArrived(1));
            const auto otherRan = std::make_shared<std::promise<void>>();
            other.Post([otherRan] {
                otherRan->set_value();
                return TStep();
            });
            QVERIFY(otherRan->get_future().wait_for(std::chrono::seconds(5)) == std::future_status::ready);
            QCOMPARE(log.StartedNow(), QStringList{"0"});
        }
        gate.Open();
        QVERIFY(Settle(service, mode, {&serial, &other}));
        QCOMPARE(log.StartedNow(), (QStringList{"0", "1", "2", "3", "4"}));
        QCOMPARE(log.Steps, (QStringList{"0a", "0", "1a", "1", "2a", "2", "3a", "3", "4a", "4"}));
        QCOMPARE(most.load(), 1);
    }

    // A step that abandons its channel stops the rest of that channel's steps, also those handed
    // back together with it; other channels' steps still run.
    void stepAbandoningItsChannel_data() { AddModes(); }
    void stepAbandoningItsChannel() {
        QFETCH(TMode, mode);
        TWorkService service(mode, nullptr, 1);
        TWorkChannel channel(service), other(service);
        TLog log;
        channel.Post([&] {
            return [&] {
                log.Steps << "abandons";
                channel.Abandon();
            };
        });
        channel.Post([&] { return log.Step("same channel"); });
        other.Post([&] { return log.Step("other"); });
        channel.Post([&] { return log.Step("same channel, later"); });
        if (mode == TMode::Threads) {
            // One worker runs the four pieces in turn; their steps wait for this thread's event
            // loop, which turns only once all four have ended, and then run as one batch.
            QElapsedTimer waited;
            waited.start();
            while ((service.Waiting() > 0 || service.Running() > 0) && waited.elapsed() < 5000)
                QThread::yieldCurrentThread();
        }
        QVERIFY(Settle(service, mode, {&channel, &other}));
        QCOMPARE(log.Steps, (QStringList{"abandons", "other"}));
    }

    // Steps handed back while work runs run in the order handed back and before the step the
    // work returns; once one of them abandons the channel, none of that work's steps runs after
    // it, those handed back later included.
    void reportingSteps_data() {
        QTest::addColumn<TMode>("mode");
        QTest::addColumn<int>("abandonAt");  // the step that abandons, -1 none
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("manual") << TMode::Manual << -1 << QStringList{"1", "2", "3", "returned"};
        QTest::newRow("manual, abandoned") << TMode::Manual << 2 << QStringList{"1", "2"};
        QTest::newRow("threads") << TMode::Threads << -1 << QStringList{"1", "2", "3", "returned"};
        QTest::newRow("threads, abandoned") << TMode::Threads << 1 << QStringList{"1"};
    }
    void reportingSteps() {
        QFETCH(TMode, mode);
        QFETCH(int, abandonAt);
        QFETCH(QStringList, expected);
        TWorkService service(mode);
        TWorkChannel channel(service);
        TLog log;
        TGate stepped;  // opened by the abandoning step
        if (abandonAt < 0) stepped.Open();
        bool ranAsHandedBack = true;  // manual mode: each step runs as it is handed back
        channel.PostReporting([&](const THandBack& handBack) {
            for (int i = 1; i <= 3; ++i) {
                handBack([&, i] {
                    log.Steps << QString::number(i);
                    if (i != abandonAt) return;
                    channel.Abandon();
                    stepped.Open();
                });
                if (mode == TMode::Manual && (abandonAt < 0 || i <= abandonAt))
                    ranAsHandedBack = ranAsHandedBack && log.Steps.size() == i;
                if (i == abandonAt) stepped.Pass();  // what follows is handed back after the abandon
            }
            return log.Step("returned");
        });
        QVERIFY(Settle(service, mode, {&channel}));
        QCOMPARE(log.Steps, expected);
        QVERIFY(ranAsHandedBack);
    }

    // What the steps of abandoned work hold (decoded pictures, counted against their file's
    // budget) is freed at once, not when the window's thread next runs steps: a step handed back
    // before the abandon by Abandon itself, one handed back after it by the worker.
    void abandonedStepsFreedAtOnce() {
        TWorkService service(TMode::Threads, nullptr, 1);
        TWorkChannel channel(service);
        TGate gate;
        auto before = std::make_shared<int>(0), after = std::make_shared<int>(0);
        const std::weak_ptr<int> heldBefore = before, heldAfter = after;
        channel.PostReporting(
            [&gate, before = std::move(before), after = std::move(after)](const THandBack& handBack) mutable -> TStep {
                handBack([before = std::move(before)] {});
                gate.Pass();
                return [after = std::move(after)] {};
            });
        QVERIFY(gate.WaitArrived(1));
        QVERIFY(!heldBefore.expired());
        channel.Abandon();
        QVERIFY(heldBefore.expired());
        gate.Open();
        QElapsedTimer waited;
        waited.start();
        while (!heldAfter.expired() && waited.elapsed() < 5000) QThread::yieldCurrentThread();
        QVERIFY(heldAfter.expired());
    }

    // A channel that goes while its work runs never runs a step of it (neither one handed back
    // before it went nor any after), and does not wait for that work to end.
    void channelGoneWhileItsWorkRuns_data() {
        QTest::addColumn<TKind>("kind");
        QTest::newRow("decodes") << TKind::Decodes;
        QTest::newRow("reads files") << TKind::ReadsFiles;
    }
    void channelGoneWhileItsWorkRuns() {
        QFETCH(TKind, kind);
        TWorkService service(TMode::Threads, nullptr, 1);
        TWorkChannel other(service);
        auto channel = std::make_unique<TWorkChannel>(service, nullptr, 0, kind);
        TLog log;
        TGate gate;
        std::atomic<bool> gone{false}, goneSeen{false};
        channel->PostReporting([&](const THandBack& handBack) {
            handBack(log.Step("handed back before"));
            // A channel that waited for its work would still be there when the gate lets go.
            gate.Pass();
            goneSeen = gone.load();
            handBack(log.Step("handed back after"));
            return log.Step("returned");
        });
        QVERIFY(gate.WaitArrived(1));
        channel.reset();
        gone = true;
        gate.Open();
        other.Post([&] { return log.Step("other"); });  // runs once the worker is free again
        QVERIFY(Settle(service, TMode::Threads, {&other}));
        QVERIFY(goneSeen);
        QCOMPARE(log.Steps, QStringList{"other"});
    }

    // Reads running when their channel abandons them may never come back: their workers are
    // given up, so that the channel's next piece and every other channel's work run without
    // them; their steps never run, and the workers are counted until they come back.
    void abandonedReadsAreGivenUp_data() {
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("concurrent");
        QTest::addColumn<int>("blocked");
        QTest::newRow("one thread") << 1 << 1 << 1;
        QTest::newRow("two threads, both blocked") << 2 << 0 << 2;
        QTest::newRow("two threads, one at a time") << 2 << 1 << 1;
    }
    void abandonedReadsAreGivenUp() {
        QFETCH(int, threads);
        QFETCH(int, concurrent);
        QFETCH(int, blocked);
        TWorkService service(TMode::Threads, nullptr, threads);
        TWorkChannel reads(service, nullptr, concurrent, TKind::ReadsFiles), other(service);
        TLog log;
        TGate gate;  // goes before the service, letting the reads go if a check failed
        for (int i = 0; i < blocked; ++i)
            reads.Post([&] {
                gate.Pass();
                return log.Step("stuck");
            });
        QVERIFY(gate.WaitArrived(blocked));
        const auto cancel = reads.CancelFlag();
        reads.Abandon();
        QVERIFY(cancel->load());
        QCOMPARE(service.GivenUp(), blocked);
        QCOMPARE(service.Running(), 0);
        reads.Post([&] { return log.Step("next read"); });
        other.Post([&] { return log.Step("other"); });
        QCOMPARE(reads.Pending(), 1);
        QVERIFY(Settle(service, TMode::Threads, {&reads, &other}));
        log.Steps.sort();
        QCOMPARE(log.Steps, (QStringList{"next read", "other"}));
        gate.Open();
        QVERIFY(QTest::qWaitFor([&] { return service.GivenUp() == 0; }, 5000));
        QCoreApplication::processEvents();
        QCOMPARE(log.Steps, (QStringList{"next read", "other"}));
        QCOMPARE(reads.Pending(), 0);
    }

    // The service's end waits kEndWaitMs at most for work that does not end, then leaves it
    // behind; the work let go afterwards ends on its own, its step dropped.
    void endLeavesStuckWorkBehind() {
        auto service = std::make_unique<TWorkService>(TMode::Threads, nullptr, 1);
        TWorkChannel channel(*service);
        TGate gate;
        const auto ended = std::make_shared<std::promise<void>>();
        bool stepped = false;
        channel.Post([&, ended] {
            gate.Pass();
            ended->set_value();
            return [&] { stepped = true; };
        });
        QVERIFY(gate.WaitArrived(1));
        QElapsedTimer ending;
        ending.start();
        service.reset();  // one that waited for the work would wait for the gate's ten seconds
        const qint64 took = ending.elapsed();
        gate.Open();
        QVERIFY(ended->get_future().wait_for(std::chrono::seconds(5)) == std::future_status::ready);
        QVERIFY2(took < TWorkService::kEndWaitMs + 3000, qPrintable(QString::number(took)));
        QCoreApplication::processEvents();
        QVERIFY(!stepped);
    }

    // Pending counts each piece posted until its last step ran, not the steps it hands back
    // before; Abandon sets it to 0, and work abandoned that ends later leaves it as it is.
    void pendingCounts() {
        TWorkService service(TMode::Manual);
        TWorkChannel channel(service), other(service);
        QList<int> seen;
        channel.Post([] { return TStep(); });
        channel.Post([] { return TStep(); });
        other.Post([] { return TStep(); });
        QCOMPARE(channel.Pending(), 2);
        QCOMPARE(service.Waiting(), 3);
        QVERIFY(service.RunOne());
        QCOMPARE(channel.Pending(), 1);
        channel.Abandon();
        QCOMPARE(channel.Pending(), 0);
        QCOMPARE(other.Pending(), 1);
        QCOMPARE(service.Waiting(), 1);
        QVERIFY(service.RunOne());
        QCOMPARE(other.Pending(), 0);
        channel.PostReporting([&](const THandBack& handBack) {
            handBack([&] { seen << channel.Pending(); });
            handBack([&] {
                channel.Abandon();
                channel.Post([] { return TStep(); });
                seen << channel.Pending();
            });
            return TStep();  // of the work abandoned: leaves the count of what was posted since
        });
        QVERIFY(service.RunOne());
        QCOMPARE(seen, (QList<int>{1, 1}));
        QCOMPARE(channel.Pending(), 1);
        QCOMPARE(service.Waiting(), 1);
        QCOMPARE(service.RunAll(), 1);
        QCOMPARE(channel.Pending(), 0);
        QVERIFY(!service.RunOne());
    }

    // A picture whose decode the file's budget refused (the budget held nearly whole elsewhere)
    // is made once those bytes go back: their release tells the service, which tells the model,
    // with nothing but queued notices between them, no timer.
    void refusedDecodeMadeOnceTheBudgetIsFree_data() {
        QTest::addColumn<bool>("box");
        QTest::newRow("icon list") << false;
        QTest::newRow("image box") << true;
    }
    void refusedDecodeMadeOnceTheBudgetIsFree() {
        QFETCH(bool, box);
        const auto dib = MakeDib(MakePicture(32, 32, 16), 8);
        const auto file = std::make_shared<const TByteBuffer>(MakeIco({{InfoFor(32, 8, dib.size()), dib}}));
        auto icon = std::make_unique<TAdvancedIcon>();
        QVERIFY(icon->LoadFromBytes(file));
        TIconList icons;
        icons.AddIcon("a", std::move(icon));
        const std::shared_ptr<TDecodeBudget>& budget = file->SharedBudget();
        const uint64_t held = kMaxDecodedBytesPerFile - 64;  // far less than a picture of 32 x 32 left
        QVERIFY(budget->Reserve(held));

        TWorkService service(TMode::Manual);
        TIconListModel list(service, icons, Qt::white, 32, 32);
        TIconImagesModel images(service);
        QAbstractListModel& model = box ? static_cast<QAbstractListModel&>(images) : list;
        const auto pending = [&] { return box ? images.PicturesPending() : list.PicturesPending(); };
        const auto picture = [&] {
            const QVariant shown = model.index(0, 0).data(Qt::DecorationRole);
            return box ? shown.value<QImage>() : shown.value<QIcon>().pixmap(32, 32).toImage();
        };
        if (box) {
            images.ShowIcon(icons, 0);
            images.SetVisibleRows(0, 0);
        } else {
            list.SetVisibleRows(0, 0);
        }
        const QImage blank = picture();
        QCOMPARE(service.RunAll(), 1);
        QCOMPARE(pending(), 1);
        QCOMPARE(picture(), blank);
        // Nothing is asked again while the bytes are held.
        QCoreApplication::sendPostedEvents();
        QCOMPARE(service.RunAll(), 0);
        QCOMPARE(pending(), 1);

        budget->Release(held);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(service.RunAll(), 1);
        QCOMPARE(pending(), 0);
        QVERIFY(!picture().isNull() && picture() != blank);
    }
};

QTEST_MAIN(WorkServiceTest)
#include "WorkServiceTest.moc"
