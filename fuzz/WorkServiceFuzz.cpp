// The window's work service and the icon-list model over it, driven by a program of operations
// read from the input, without a display (the offscreen platform). The first phase runs the
// service in manual mode: channels made and ended (of any concurrency and kind), work posted
// (plain, or handing steps back; steps that abandon or end channels and post more work, work
// that posts more work), channels abandoned, work run one piece at a time or all of it; and the
// icon-list model over a small list of generated icons, its band of visible rows moved over
// fuzzed ranges, rows removed, the list refilled and appended to, and its file budget held and
// let go, its decodes run between those in the order the program says. A second phase runs the
// same kind of channel program on worker threads and waits (bounded) for it to settle.
//
// Checked: no step of an abandoned generation (or of a channel that went) runs; in manual mode
// no work of one even begins; the steps of a piece run in the order handed back, the returned
// one last; a channel of concurrency 1 runs its steps in posting order (in manual mode every
// channel does), and a channel that decodes never has more pieces running than it allows;
// Pending() is never negative, matches the work posted and not stepped in manual mode, and is
// 0 once everything ran or was abandoned; the model has a row per icon shown, passes Qt's
// model tester, and has no picture pending once its decodes ran with the band unchanged.
#include "FuzzCommon.h"

#include "base/ByteBuffer.h"
#include "icons/AdvancedIcon.h"
#include "library/IconLibrary.h"
#include "widgets/IconListModel.h"
#include "widgets/WorkService.h"

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QGuiApplication>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

using namespace pictavo;

namespace {

using TMode = TWorkService::TMode;
using TKind = TWorkChannel::TKind;
using TStep = TWorkService::TStep;
using THandBack = TWorkService::THandBack;

// Bounds that keep one input short: operations read, pieces posted, steps a piece hands back.
constexpr int kMaxOperations = 600;
constexpr int kMaxPieces = 200;
constexpr int kMaxHandedBack = 4;
constexpr int kSlots = 4;
// Lists long enough that removing rows scattered over them takes the model's one-reset path
// (more than kMaxRemovalNotices runs).
constexpr int kMaxIcons = 96;
// How long the threads phase may take to settle before it counts as stuck.
constexpr int kSettleMs = 10000;

class TInput {
public:
    TInput(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
    bool Done() const { return FAt >= FSize; }
    uint8_t Byte() { return FAt < FSize ? FData[FAt++] : 0; }

private:
    const uint8_t* FData;
    size_t FSize;
    size_t FAt = 0;
};

// An .ico file of one or two square 32-bit images, coloured by `seed`.
std::vector<uint8_t> MakeIco(const std::vector<int>& sizes, uint8_t seed) {
    std::vector<std::vector<uint8_t>> images;
    for (const int size : sizes) {
        const auto u32 = [](std::vector<uint8_t>& out, uint32_t value) {
            for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
        };
        std::vector<uint8_t> dib;
        u32(dib, 40);
        u32(dib, static_cast<uint32_t>(size));
        u32(dib, static_cast<uint32_t>(2 * size));
        dib.push_back(1);
        dib.push_back(0);
        dib.push_back(32);
        dib.push_back(0);
        for (int i = 0; i < 6; ++i) u32(dib, 0);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                u32(dib, 0xFF000000u | (uint32_t{seed} << 16) | (static_cast<uint32_t>(x * 8) << 8) |
                             static_cast<uint32_t>(y * 8));
        dib.resize(dib.size() + static_cast<size_t>((size + 31) / 32 * 4 * size), 0);  // the mask: opaque
        images.push_back(std::move(dib));
    }
    std::vector<uint8_t> file{0, 0, 1, 0, static_cast<uint8_t>(images.size()), 0};
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const auto size = static_cast<uint8_t>(sizes[i]);
        const uint32_t bytes = static_cast<uint32_t>(images[i].size());
        const uint8_t entry[16] = {size,
                                   size,
                                   0,
                                   0,
                                   1,
                                   0,
                                   32,
                                   0,
                                   static_cast<uint8_t>(bytes),
                                   static_cast<uint8_t>(bytes >> 8),
                                   static_cast<uint8_t>(bytes >> 16),
                                   0,
                                   static_cast<uint8_t>(offset),
                                   static_cast<uint8_t>(offset >> 8),
                                   static_cast<uint8_t>(offset >> 16),
                                   0};
        file.insert(file.end(), entry, entry + 16);
        offset += bytes;
    }
    for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
    return file;
}

// The icons the list is made of: each kind of file made once, read into buffers that share one
// decode budget (so that holding it refuses every decode).
struct TIconSources {
    std::shared_ptr<TDecodeBudget> Budget = std::make_shared<TDecodeBudget>();
    std::array<std::vector<uint8_t>, 4> Files{MakeIco({8}, 0x20), MakeIco({16}, 0x60), MakeIco({24, 40}, 0xA0),
                                              MakeIco({48}, 0xE0)};
    std::array<std::shared_ptr<const TByteBuffer>, 4> Shared;

    TIconSources() {
        for (size_t i = 0; i < Files.size(); ++i) Shared[i] = std::make_shared<const TByteBuffer>(Files[i], Budget);
    }
    // An icon of kind `kind`: without images, over one of the shared buffers (icons over the
    // same bytes share their picture), or over a buffer of its own.
    std::unique_ptr<TAdvancedIcon> Make(uint8_t kind) const {
        auto icon = std::make_unique<TAdvancedIcon>();
        kind %= 9;
        if (kind == 0) return icon;
        const size_t file = (kind - 1) % 4;
        const auto buffer = kind <= 4 ? Shared[file] : std::make_shared<const TByteBuffer>(Files[file], Budget);
        FUZZ_CHECK(icon->LoadFromBytes(buffer));
        return icon;
    }
};

// What the program knows of a channel: the generation it is at, the work posted and not
// stepped, and the piece whose step ran last (for the order of pieces).
struct TShadow {
    int Concurrent = 0;
    TKind Kind = TKind::Decodes;
    bool Alive = true;
    uint64_t Generation = 0;
    int Pending = 0;
    uint64_t NextPiece = 0;
    uint64_t LastPiece = 0;
    bool Stepped = false;
    std::atomic<int> Running{0};  // pieces on a worker now
};

struct TSlot {
    std::unique_ptr<TWorkChannel> Channel;
    std::shared_ptr<TShadow> Shadow;
};

// One phase: a service and the channels of the program.
class TChannelProgram {
public:
    TChannelProgram(TMode mode, int threads) : FMode(mode), FService(mode, nullptr, threads) {}
    ~TChannelProgram() {
        for (TSlot& slot : FSlots) End(slot);
    }
    TWorkService& Service() { return FService; }

    void Create(uint8_t a, uint8_t b) {
        TSlot& slot = FSlots[a % kSlots];
        End(slot);
        slot.Shadow = std::make_shared<TShadow>();
        slot.Shadow->Concurrent = b % 3;
        slot.Shadow->Kind = b & 4 ? TKind::ReadsFiles : TKind::Decodes;
        slot.Channel = std::make_unique<TWorkChannel>(FService, nullptr, slot.Shadow->Concurrent, slot.Shadow->Kind);
    }
    void End(uint8_t a) { End(FSlots[a % kSlots]); }
    void Abandon(uint8_t a) {
        TSlot& slot = FSlots[a % kSlots];
        if (!slot.Channel) return;
        slot.Channel->Abandon();
        ++slot.Shadow->Generation;
        slot.Shadow->Pending = 0;
    }
    // Posts a piece on a channel: plain, or handing back up to kMaxHandedBack steps before the
    // one it returns; the step numbered `actionAt` does `action` to the channel of `target`; in
    // manual mode the work may post a plain piece on its own channel.
    void Post(uint8_t a, uint8_t shape, uint8_t action) {
        TSlot& slot = FSlots[a % kSlots];
        if (!slot.Channel || FPosted >= kMaxPieces) return;
        ++FPosted;
        const bool reporting = shape & 0x08;
        const int steps = reporting ? shape % (kMaxHandedBack + 1) : 0;
        const bool postsMore = FMode == TMode::Manual && (shape & 0x10);
        const int actionAt = (action >> 4) % (steps + 1);
        const int kind = action % 4;
        const int target = (action >> 2) % kSlots;
        const std::shared_ptr<TShadow> shadow = slot.Shadow;
        const uint64_t generation = shadow->Generation;
        const uint64_t piece = ++shadow->NextPiece;
        const auto seen = std::make_shared<int>(-1);  // the piece's last step run
        ++shadow->Pending;
        const auto step = [this, shadow, generation, piece, seen, steps, actionAt, kind, target](int index) -> TStep {
            return [=, this] {
                // Only steps of the channel's current generation run: all of a piece's, in the
                // order handed back, the returned one last, unless the channel abandoned them.
                FUZZ_CHECK(shadow->Alive);
                FUZZ_CHECK(shadow->Generation == generation);
                FUZZ_CHECK(index == *seen + 1);
                *seen = index;
                // Pieces that run one at a time step in the order posted.
                if (shadow->Stepped && (FMode == TMode::Manual || shadow->Concurrent == 1))
                    FUZZ_CHECK(piece >= shadow->LastPiece);
                shadow->Stepped = true;
                shadow->LastPiece = piece;
                if (index == steps) --shadow->Pending;
                if (index == actionAt) Act(kind, target);
            };
        };
        const TMode mode = FMode;
        if (!reporting) {
            slot.Channel->Post([this, mode, shadow, generation, postsMore, a, step] {
                Began(mode, *shadow, generation);
                if (postsMore) Post(a, 0, 0);
                --shadow->Running;
                return step(0);
            });
            return;
        }
        // Work on a worker touches only what it holds: its channel's shadow is shared with it,
        // and the program itself is reached only in manual mode, on this thread.
        slot.Channel->PostReporting(
            [this, mode, shadow, generation, postsMore, a, steps, step](const THandBack& handBack) {
                Began(mode, *shadow, generation);
                for (int i = 0; i < steps; ++i) handBack(step(i));
                if (postsMore) Post(a, 0, 0);
                --shadow->Running;
                return step(steps);
            });
    }
    // Checks the counts when no step runs: in manual mode exactly, else only their sign.
    void CheckCounts() {
        FUZZ_CHECK(FService.Waiting() >= 0);
        for (TSlot& slot : FSlots) {
            if (!slot.Channel) continue;
            const int pending = slot.Channel->Pending();
            FUZZ_CHECK(pending >= 0);
            if (FMode == TMode::Manual) FUZZ_CHECK(pending == slot.Shadow->Pending);
        }
    }
    // Everything ran: nothing pending, nothing waiting.
    bool Settled() {
        for (TSlot& slot : FSlots)
            if (slot.Channel && slot.Channel->Pending() != 0) return false;
        return FService.Waiting() == 0 && FService.Running() == 0;
    }
    void CheckSettled() {
        FUZZ_CHECK(Settled());
        for (TSlot& slot : FSlots) {
            if (!slot.Channel) continue;
            FUZZ_CHECK(slot.Shadow->Pending == 0);
        }
    }

private:
    static void Began(TMode mode, TShadow& shadow, uint64_t generation) {
        // In manual mode work runs on this thread, and none of a generation abandoned begins.
        if (mode == TMode::Manual) {
            FUZZ_CHECK(shadow.Alive);
            FUZZ_CHECK(shadow.Generation == generation);
        }
        const int running = ++shadow.Running;
        // A channel that decodes keeps its limit also across an abandon: its work running then
        // still counts. (Reads given up do not, by design.)
        if (shadow.Kind == TKind::Decodes && shadow.Concurrent > 0) FUZZ_CHECK(running <= shadow.Concurrent);
    }

    void Act(int kind, int target) {
        switch (kind) {
        case 1:
            Abandon(static_cast<uint8_t>(target));
            break;
        case 2:
            Post(static_cast<uint8_t>(target), 1, 0);
            break;
        case 3:
            End(FSlots[static_cast<size_t>(target)]);
            break;
        default:
            break;
        }
    }
    void End(TSlot& slot) {
        if (!slot.Channel) return;
        slot.Shadow->Alive = false;
        slot.Channel.reset();
        slot.Shadow.reset();
    }

    const TMode FMode;
    TWorkService FService;
    std::array<TSlot, kSlots> FSlots;
    int FPosted = 0;
};

// The icon-list model over a list the program fills, on the manual service of the first phase.
class TModelProgram {
public:
    TModelProgram(TWorkService& service, const TIconSources& sources, TInput& in)
        : FSources(sources),
          FModel(service, FIcons, Qt::white, 32, 32),
          FTester(&FModel, QAbstractItemModelTester::FailureReportingMode::Fatal) {
        FModel.Refill([&] { Fill(Count(in.Byte()), in); });
    }
    ~TModelProgram() {
        if (FHeld) FSources.Budget->Release(FHeld);
    }

    void Operate(uint8_t op, TInput& in) {
        const int rows = FModel.rowCount();
        switch (op % 8) {
        case 0: {
            const int first = in.Byte() % (rows + 4) - 2;
            FModel.SetVisibleRows(first, first + in.Byte() % 24 - 2);
            break;
        }
        case 1: {
            std::vector<int> remove(static_cast<size_t>(Count(in.Byte())));
            for (int& row : remove) row = in.Byte() % (rows + 2) - 1;
            FModel.RemoveRows(remove);
            break;
        }
        case 2:
            FModel.Refill([&] {
                FIcons.Clear();
                Fill(Count(in.Byte()), in);
            });
            FUnshown = 0;
            break;
        case 3: {
            const int added = Fill(in.Byte() % 4, in);
            FUnshown += added;
            break;
        }
        case 4:
            FModel.ShowAppended();
            FUnshown = 0;
            break;
        case 5:
            FModel.Clear();
            FUnshown = 0;
            break;
        case 6:
            // The file budget held nearly whole elsewhere, or let go again.
            if (FHeld) {
                FSources.Budget->Release(std::exchange(FHeld, 0));
            } else if (FSources.Budget->Reserve(kMaxDecodedBytesPerFile - 256)) {
                FHeld = kMaxDecodedBytesPerFile - 256;
            }
            break;
        default:
            // What a view reads of every row.
            for (int row = 0; row < rows; ++row) {
                const QModelIndex index = FModel.index(row, 0);
                FModel.data(index, Qt::DisplayRole);
                FModel.data(index, Qt::DecorationRole);
                FModel.data(index, kIconDetailRole);
                FModel.HidesRow(row);
            }
            break;
        }
        Check();
    }
    void Check() {
        FUZZ_CHECK(FModel.rowCount() == FIcons.Count() - FUnshown);
        FUZZ_CHECK(FModel.PicturesPending() >= 0);
        FUZZ_CHECK(FModel.DecodesQueued() >= 0);
    }
    // After everything waiting ran (and the notices of memory let go were delivered), the band
    // unchanged meanwhile: with the budget free, no picture is still to come.
    void CheckDrained() {
        Check();
        if (!FHeld) {
            FUZZ_CHECK(FModel.PicturesPending() == 0);
            FUZZ_CHECK(FModel.DecodesQueued() == 0);
        }
    }
    void LetGo() {
        if (FHeld) FSources.Budget->Release(std::exchange(FHeld, 0));
    }

private:
    // A few, mostly; up to kMaxIcons with the high bit set.
    static int Count(uint8_t byte) { return byte & 0x80 ? byte % (kMaxIcons + 1) : byte % 12; }
    int Fill(int count, TInput& in) {
        int added = 0;
        for (int i = 0; i < count && FIcons.Count() < kMaxIcons; ++i, ++added)
            FIcons.AddIcon("", FSources.Make(in.Byte()));
        return added;
    }

    const TIconSources& FSources;
    TIconList FIcons;
    TIconListModel FModel;
    QAbstractItemModelTester FTester;
    int FUnshown = 0;
    uint64_t FHeld = 0;
};

// Runs all that waits, the notices of memory let go included, until nothing is left.
void Drain(TWorkService& service) {
    do QCoreApplication::sendPostedEvents();
    while (service.RunAll() > 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "work_service_fuzz";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);  // for the life of the process
    return 0;
}

// The operations on channels both phases share (codes 0 to 4); false for any other code.
bool ChannelOperation(TChannelProgram& channels, int code, TInput& in) {
    switch (code) {
    case 0:
        channels.Create(in.Byte(), in.Byte());
        return true;
    case 1:
        channels.End(in.Byte());
        return true;
    case 2:
    case 3:
        channels.Post(in.Byte(), in.Byte(), in.Byte());
        return true;
    case 4:
        channels.Abandon(in.Byte());
        return true;
    default:
        return false;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TIconSources sources;
    TInput in(data, size);
    const uint8_t setup = in.Byte();
    {
        TChannelProgram channels(TMode::Manual, 1);
        TModelProgram model(channels.Service(), sources, in);
        for (int op = 0; op < kMaxOperations && !in.Done(); ++op) {
            const uint8_t code = in.Byte();
            if (ChannelOperation(channels, code % 12, in)) {
                channels.CheckCounts();
                model.Check();
                continue;
            }
            switch (code % 12) {
            case 5:
                channels.Service().RunOne();
                break;
            case 6:
                Drain(channels.Service());
                model.CheckDrained();
                break;
            case 7:
                QCoreApplication::sendPostedEvents();
                break;
            case 11:
                if (code & 0x80) goto threads;  // the rest of the input is the second phase
                [[fallthrough]];
            default:
                model.Operate(in.Byte(), in);
                break;
            }
            channels.CheckCounts();
            model.Check();
        }
    threads:
        model.LetGo();
        Drain(channels.Service());
        channels.CheckCounts();
        channels.CheckSettled();
        model.CheckDrained();
    }
    if (!(setup & 1)) return 0;

    // The second phase: the same kind of program on worker threads.
    TChannelProgram channels(TMode::Threads, 1 + (setup >> 1) % 3);
    for (int op = 0; op < kMaxOperations && !in.Done(); ++op) {
        const int code = in.Byte() % 8;
        if (ChannelOperation(channels, code, in)) continue;
        switch (code) {
        case 5:
            QCoreApplication::processEvents();
            break;
        default:
            break;
        }
        channels.CheckCounts();
    }
    QElapsedTimer waited;
    waited.start();
    while (!channels.Settled() && waited.elapsed() < kSettleMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    channels.CheckSettled();
    return 0;
}
