// libFuzzer target for reading a file the way the window reads it: in the user's language, with
// a window that may give up at any moment, and with files larger than one piece of a direct read
// (or than the largest whole read). The file is read with LoadIcons, as the window and
// pictavo-cli read a list of files, and drawn as a thumbnail; its icons are written as an icon
// library, one is deleted from their list, and an icon without images and an image without a
// size are saved (both refused). Everything is written in a private folder made at start-up and
// removed at exit.
//
// LoadIcons reads the file alone, and in a list of the file, the file again and a missing file.
//
// The input:
//   byte 0     bit 0: the language of the texts (0: the program's own, Chinese; 1: English,
//              from the catalog the build compiles); bits 1-2: where the file lies (0: as it is;
//              1: past one direct-read piece, with a copy of it at an offset near 4 MB; 2: past
//              the largest whole read, 512 MB, as a sparse file with that copy, or as 1 for a PE
//              file, whose resources could ask for hundreds of megabytes; 3: repeated until past
//              one piece); bits 3-4: what happens at the N-th read of the file (0: the cancel
//              flag is set; 1: the read fails with EINTR; 2: it gives only half of what was
//              asked; 3: the file ends there);
//   byte 1     N, counting the reads that go to the file (0: nothing happens);
//   bytes 2-3  the copy's offset (4 MB - 32 KB plus this), and how far a repeated file passes
//              4 MB;
//   byte 4     the thumbnail's size (0 and 255 ask for sizes it refuses), and the index (as a
//              signed byte) of the icon deleted;
//   the rest   the file.
//
// The reads the core makes are counted by wrapping pread at link time (-Wl,--wrap=pread), so
// the cancel flag is set, or a read interrupted, at any read of any reader, as a window thread
// would set it.
//
// Besides the sanitizers it checks, and traps when one breaks:
//   - the catalog is found (checked at start-up) and the language chosen is in force;
//   - LoadIcons on the file reads what the readers read from the same bytes in memory (the
//     same error, or the same icons and images byte for byte), past one piece as well; a file
//     past the largest whole read is refused for its size, or holds no icons;
//   - once the flag is set nothing more of the file is read but the rest of the page being
//     read (no further page, no further piece of a direct read);
//   - a read cancelled at the N-th read raises ECancelled only once the flag is set, keeps the
//     icons of the files read before it and nothing of the file it stopped in; one that ends
//     otherwise is the read that was not cancelled (also for the file read alone, where no
//     check before a next file could hide a reader that took the cancel for a failure), and a
//     list never goes on to its next file once the flag is set; an interrupted or short read
//     changes nothing, neither for LoadIcons nor for a whole read (TFileBytes);
//   - the thumbnail of the file is the thumbnail of the bytes in memory, or fails the same;
//   - every message is the same program's text in both languages; in Chinese it is shown as
//     that text, in English it is shown translated whenever that text is not plain ASCII (the
//     texts that are, the NE reader's own, are the same in every language), and it is UTF-8;
//   - the texts of sizes, counters and the machine (Tr and TrN with printf formats) are ASCII
//     in English, and differ from the Chinese ones wherever those are not plain ASCII.

#include "FuzzCommon.h"
#include "base/ByteBuffer.h"
#include "base/ByteSource.h"
#include "base/Errors.h"
#include "base/FileIO.h"
#include "base/Language.h"
#include "base/SystemInfo.h"
#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "icons/IconRaster.h"
#include "icons/IconTools.h"
#include "library/IconFileSearch.h"
#include "library/IconFolder.h"
#include "library/IconLibrary.h"
#include "library/IconLoading.h"
#include "library/Thumbnail.h"
#include "library/Writer16.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

using namespace pictavo;
using namespace pictavo::fuzz;

namespace {

// What happens at the N-th read of the file.
enum class TReadEvent { Cancel, Interrupt, Short, End };

// The reads of the core counted while armed.
struct TReadHook {
    bool Armed = false;
    unsigned Count = 0;
    unsigned At = 0;  // 0: nothing happens
    TReadEvent Event = TReadEvent::Cancel;
    TCancelFlag* Flag = nullptr;
    bool Ended = false;
    // The last read: where it ended.
    int LastFd = -1;
    uint64_t LastEnd = 0;

    void Arm(unsigned at, TReadEvent event, TCancelFlag* flag) {
        *this = {};
        Armed = true;
        At = at;
        Event = event;
        Flag = flag;
    }
    void Disarm() { Armed = false; }
};

TReadHook gHook;

}  // namespace

// Every pread of the core's objects comes here (the target links with -Wl,--wrap=pread).
extern "C" ssize_t __real_pread(int fd, void* buf, size_t n, off_t offset);
extern "C" ssize_t __wrap_pread(int fd, void* buf, size_t n, off_t offset) {
    if (gHook.Armed && gHook.At != 0) {
        if (gHook.Ended) return 0;
        // Once the flag is set nothing more is read but the rest of the page being read: every
        // reader checks the flag before each page and each piece of a direct read.
        if (gHook.Flag && gHook.Flag->load(std::memory_order_relaxed))
            FUZZ_CHECK(fd == gHook.LastFd && static_cast<uint64_t>(offset) == gHook.LastEnd &&
                       gHook.LastEnd % TFileSource::kPageSize != 0);
        if (++gHook.Count == gHook.At) {
            switch (gHook.Event) {
            case TReadEvent::Cancel:
                // As a window thread sets it while the read is under way.
                gHook.Flag->store(true, std::memory_order_relaxed);
                break;
            case TReadEvent::Interrupt:
                errno = EINTR;
                return -1;
            case TReadEvent::Short:
                n -= n / 2;
                break;
            case TReadEvent::End:
                gHook.Ended = true;
                return 0;
            }
        }
        const ssize_t got = __real_pread(fd, buf, n, offset);
        gHook.LastFd = fd;
        gHook.LastEnd = static_cast<uint64_t>(offset) + static_cast<uint64_t>(std::max<ssize_t>(got, 0));
        return got;
    }
    return __real_pread(fd, buf, n, offset);
}

namespace {

// The private folder of this process, made at start-up.
std::string gFolder;

void MakeFolder() { gFolder = MakePrivateFolder("load_fuzz"); }

// The language of the texts, chosen as the user's locale chooses it.
void SetLanguage(bool english) {
    ::unsetenv("LANGUAGE");
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::setenv("LANG", english ? "en_US.UTF-8" : "zh_CN.UTF-8", 1);
    InitLanguage();
    FUZZ_CHECK(UiLanguage() == (english ? "en" : ""));
}

bool IsAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > text.size()) return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

// How the file lies.
enum class TLayout { AsIs, PastOnePiece, PastWholeRead, Repeated };

// Writes the file as the layout says. Returns its bytes in one buffer, or null for a file past
// the largest whole read.
std::shared_ptr<const TByteBuffer> WriteFile(const std::string& path, std::span<const uint8_t> body, TLayout layout,
                                             uint16_t shift) {
    constexpr uint64_t piece = TFileSource::kDirectReadPiece;
    const uint64_t copyAt = piece - 0x8000 + shift;
    uint64_t size = body.size();
    if (layout == TLayout::PastOnePiece) size = std::max(copyAt + body.size(), piece + 1);
    if (layout == TLayout::PastWholeRead) size = kMaxWholeFileRead + 1 + shift;
    if (layout == TLayout::Repeated) size = piece + 1 + shift;

    std::shared_ptr<const TByteBuffer> memory;
    if (layout != TLayout::PastWholeRead) {
        std::unique_ptr<uint8_t[]> bytes(new uint8_t[size ? size : 1]());
        std::copy(body.begin(), body.end(), bytes.get());
        if (layout == TLayout::PastOnePiece) std::copy(body.begin(), body.end(), bytes.get() + copyAt);
        if (layout == TLayout::Repeated && !body.empty())
            for (uint64_t at = body.size(); at < size; at += body.size())
                std::copy_n(body.begin(), std::min<uint64_t>(body.size(), size - at), bytes.get() + at);
        memory = std::make_shared<const TByteBuffer>(std::move(bytes), static_cast<size_t>(size));
    }

    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FUZZ_CHECK(fd >= 0);
    auto put = [&](std::span<const uint8_t> bytes, uint64_t at) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(at + done));
            FUZZ_CHECK(n > 0);
            done += static_cast<size_t>(n);
        }
    };
    if (layout == TLayout::Repeated) {
        put(memory->Bytes(), 0);
    } else {
        // The rest is a hole: it reads as zeros and takes no room.
        put(body, 0);
        if (layout != TLayout::AsIs) put(body, copyAt);
        FUZZ_CHECK(::ftruncate(fd, static_cast<off_t>(size)) == 0);
    }
    FUZZ_CHECK(::close(fd) == 0);
    return memory;
}

// A message as the program keeps it: its own text and the text shown.
struct TShownMessage {
    std::string Source, Local;
};

// What LoadIcons did with a list of files.
struct TLoad {
    enum { Read, Failed, Cancelled } How = Read;
    int Count = 0;
    TShownMessage Error;
    TIconLibrary Library;
};

std::unique_ptr<TLoad> Load(const std::vector<std::string>& paths, const TCancelFlag* cancel) {
    auto out = std::make_unique<TLoad>();
    try {
        out->Count = LoadIcons(paths, out->Library, cancel);
        FUZZ_CHECK(out->Count == out->Library.Icons().Count());
    } catch (const ECancelled& e) {
        out->How = TLoad::Cancelled;
        out->Error = {e.Source(), e.what()};
    } catch (const EPictavoError& e) {
        out->How = TLoad::Failed;
        out->Error = {e.Source(), e.what()};
    }
    return out;
}

// The first `count` icons of two libraries are the same: names and images.
void CheckSameIcons(const TIconLibrary& a, const TIconLibrary& b, int count) {
    FUZZ_CHECK(a.Icons().Count() >= count && b.Icons().Count() >= count);
    for (int i = 0; i < count; ++i) {
        FUZZ_CHECK(a.Icons().Name(i) == b.Icons().Name(i));
        CheckSameImages(*a.Icons().Icon(i), *b.Icons().Icon(i));
    }
}

// Two loads did the same; `shown`: in the same language, so the messages shown are the same too.
void CheckSameLoad(const TLoad& a, const TLoad& b, bool shown) {
    FUZZ_CHECK(a.How == b.How);
    FUZZ_CHECK(a.Error.Source == b.Error.Source);
    if (shown) FUZZ_CHECK(a.Error.Local == b.Error.Local);
    FUZZ_CHECK(a.Library.Icons().Count() == b.Library.Icons().Count());
    CheckSameIcons(a.Library, b.Library, a.Library.Icons().Count());
}

// The Source of the error that reading a missing file raises.
std::string MissingFileError() {
    TIconLibrary target;
    try {
        LoadIcons(gFolder + "/missing.ico", target);
    } catch (const EFOpenError& e) {
        return e.Source();
    }
    FUZZ_CHECK(false);
    return {};
}

// The icons a list holds against the file's: `kept` of them, each reading of the file adding
// its icons again, the second under names made unique.
void CheckListIcons(const TLoad& once, const TLoad& list, int kept) {
    const int count = once.How == TLoad::Read ? once.Count : 0;
    FUZZ_CHECK(list.Library.Icons().Count() == kept);
    FUZZ_CHECK(kept == 0 || kept == count || kept == 2 * count);
    CheckSameIcons(once.Library, list.Library, std::min(kept, count));
    for (int i = count; i < kept; ++i) {
        FUZZ_CHECK(list.Library.Icons().Name(i).rfind(once.Library.Icons().Name(i - count), 0) == 0);
        CheckSameImages(*once.Library.Icons().Icon(i - count), *list.Library.Icons().Icon(i));
    }
}

// The list of the file, the file again and a missing file against the file read once: the same
// error where the file fails, else its icons twice and the missing file's error.
void CheckList(const TLoad& once, const TLoad& list) {
    FUZZ_CHECK(list.How == TLoad::Failed);
    if (once.How == TLoad::Read) {
        FUZZ_CHECK(list.Error.Source == MissingFileError());
        CheckListIcons(once, list, 2 * once.Count);
    } else {
        FUZZ_CHECK(list.Error.Source == once.Error.Source && list.Error.Local == once.Error.Local);
        CheckListIcons(once, list, 0);
    }
}

// LoadIcons of the file against the readers over the same bytes in memory.
void CheckLoadAgainstMemory(const TLoad& load, const std::shared_ptr<const TByteBuffer>& memory) {
    FUZZ_CHECK(load.How != TLoad::Cancelled);
    const TSpanSource source(memory->Bytes());
    const TIconFileKind kind = IconFileKind(source);
    bool failed = false;
    std::string failure;
    TIconLibrary expected;
    if (kind == TIconFileKind::Ico) {
        auto icon = std::make_unique<TAdvancedIcon>();
        try {
            icon->LoadFromBytes(memory);
            if (icon->Images().Count() > 0) expected.Icons().AddIcon("input", std::move(icon));
        } catch (const EPictavoError& e) {
            failed = true;
            failure = e.Source();
        }
    } else if (kind == TIconFileKind::PE || kind == TIconFileKind::NE) {
        try {
            expected.LoadFromSource(gFolder + "/input.ico", source, kind);
            if (!expected.LastError().empty()) {
                failed = true;
                failure = expected.LastErrorMessage().Source;
                expected.Icons().Clear();
            }
        } catch (const EPictavoError& e) {
            failed = true;
            failure = e.Source();
        }
    }
    FUZZ_CHECK(failed == (load.How == TLoad::Failed));
    if (failed) {
        FUZZ_CHECK(load.Error.Source == failure && load.Count == 0);
        return;
    }
    const int count = expected.Icons().Count();
    FUZZ_CHECK(load.Count == count);
    for (int i = 0; i < count; ++i) {
        // Names the file repeats are made unique.
        FUZZ_CHECK(load.Library.Icons().Name(i).rfind(expected.Icons().Name(i), 0) == 0);
        CheckSameImages(*expected.Icons().Icon(i), *load.Library.Icons().Icon(i));
    }
}

// A file past the largest whole read: refused for its size where it would be read whole (an
// .ico file, an icon library that counts its groups), else without icons.
void CheckLoadPastWholeRead(const TLoad& load) {
    FUZZ_CHECK(load.How != TLoad::Cancelled);
    if (load.How == TLoad::Read) {
        FUZZ_CHECK(load.Count == 0);
        return;
    }
    std::string tooLarge;
    try {
        RaiseFileTooLarge();
    } catch (const EReadError& e) {
        tooLarge = e.Source();
    }
    FUZZ_CHECK(load.Error.Source == tooLarge);
}

// The file read alone and in a list, with the N-th read of the file cancelled, interrupted, cut
// short or ended, against the file read once without. `memory`: the file's
// bytes, null when it is past the largest whole read.
void CheckHookedLoad(const std::string& path, const TLoad& plain, unsigned at, TReadEvent event,
                     const std::shared_ptr<const TByteBuffer>& memory) {
    TCancelFlag flag{false};
    // Alone: once the flag is set the read either stops with ECancelled, adding nothing, or
    // (set after the last read that checks it) is the read that was not cancelled; never a read
    // that went wrong, which a list would hide behind its own check before the next file.
    gHook.Arm(at, event, &flag);
    const auto alone = Load({path}, &flag);
    gHook.Disarm();
    if (event == TReadEvent::End) {
        // What the file held up to there: nothing to compare; nothing cancelled.
        FUZZ_CHECK(alone->How != TLoad::Cancelled);
    } else if (alone->How == TLoad::Cancelled) {
        FUZZ_CHECK(event == TReadEvent::Cancel && flag.load() && alone->Library.Icons().Count() == 0);
    } else {
        // An interrupted or short read changes nothing either.
        CheckSameLoad(plain, *alone, true);
    }

    // In a list (the file twice, then a missing file) the flag is also checked before each file:
    // once it is set, the list stops with ECancelled, keeping the icons of the files read
    // before; otherwise it is the list that was not cancelled, and that list reaches the missing
    // file only when the flag was never set.
    flag = false;
    gHook.Arm(at, event, &flag);
    const auto list = Load({path, path, gFolder + "/missing.ico"}, &flag);
    gHook.Disarm();
    if (event == TReadEvent::End) {
        FUZZ_CHECK(list->How != TLoad::Cancelled);
    } else if (list->How == TLoad::Cancelled) {
        FUZZ_CHECK(event == TReadEvent::Cancel && flag.load());
        CheckListIcons(plain, *list, list->Library.Icons().Count());
    } else {
        CheckList(plain, *list);
        FUZZ_CHECK(!flag.load() || plain.How == TLoad::Failed);
    }

    // A whole read in one go (TFileBytes) under the same event; of the small files only, as it
    // reads any file in one piece.
    if (event == TReadEvent::Cancel || !memory || memory->Bytes().size() > TFileSource::kDirectReadPiece) return;
    gHook.Arm(at, event, &flag);
    const TFileBytes whole(path);
    gHook.Disarm();
    const auto bytes = whole.Bytes();
    const auto expected = memory->Bytes();
    if (event == TReadEvent::End)
        FUZZ_CHECK(bytes.size() <= expected.size() && std::equal(bytes.begin(), bytes.end(), expected.begin()));
    else
        FUZZ_CHECK(SameBytes(bytes, expected));
}

// The thumbnail of the file, or its failure.
struct TThumbnail {
    std::unique_ptr<TIconRaster> Raster;
    bool Failed = false;
    TShownMessage Error;
};

template <class F>
TThumbnail Thumbnail(F make) {
    TThumbnail out;
    try {
        out.Raster = make();
        FUZZ_CHECK(out.Raster != nullptr);
    } catch (const EPictavoError& e) {
        out.Failed = true;
        out.Error = {e.Source(), e.what()};
    }
    return out;
}

// Everything of one input that shows a message, in the language in force: the messages, in the
// order they came.
struct TPass {
    std::unique_ptr<TLoad> Loaded;
    std::vector<TShownMessage> Messages;
};

TPass MessagesOf(const std::string& path, const std::shared_ptr<const TByteBuffer>& memory,
                 std::span<const uint8_t> body, uint8_t sizeAndIndex) {
    TPass pass;
    auto note = [&](const TShownMessage& m) { pass.Messages.push_back(m); };
    auto noteError = [&](const EPictavoError& e) { note({e.Source(), e.what()}); };

    pass.Loaded = Load({path}, nullptr);
    if (pass.Loaded->How == TLoad::Failed) note(pass.Loaded->Error);

    // The thumbnail, from the file and from the same bytes in memory.
    const int size = sizeAndIndex == 255 ? kMaxThumbnailSize + 1 : sizeAndIndex;
    bool tooLarge = false;
    try {
        const TFileSource file(path);
        tooLarge = FirstIconDeclaresTooManyPixels(file);
    } catch (const EPictavoError&) {
    }
    if (!tooLarge) {
        const TThumbnail fromFile = Thumbnail([&] { return MakeThumbnail(path, size); });
        if (fromFile.Failed) note(fromFile.Error);
        if (memory) {
            const TSpanSource source(memory->Bytes());
            const TThumbnail fromMemory = Thumbnail([&] { return MakeThumbnail(source, size); });
            FUZZ_CHECK(fromFile.Failed == fromMemory.Failed);
            FUZZ_CHECK(fromFile.Error.Source == fromMemory.Error.Source);
            FUZZ_CHECK(SameRaster(fromFile.Raster.get(), fromMemory.Raster.get()));
        }
    }

    // The icons written as an icon library.
    TIconLibrary& library = pass.Loaded->Library;
    if (library.Icons().Count() > 0) {
        T16BitWriter writer(library);
        try {
            writer.Build();
        } catch (const EICLReadError& e) {
            noteError(e);
        }
    }
    // An icon without images is not saved into a folder, and an image without even a size is
    // not saved as a bitmap: both refused before anything is written.
    for (int i = 0; i < library.Icons().Count(); ++i) {
        const TAdvancedIcon& icon = *library.Icons().Icon(i);
        if (icon.Images().Count() > 0) continue;
        try {
            TIconFolder(gFolder + "/out").Save(icon, library.Icons().Name(i));
            FUZZ_CHECK(false);
        } catch (const EPictavoError& e) {
            noteError(e);
        }
        break;
    }
    for (int i = 0; i < library.Icons().Count(); ++i) {
        const TIconImageList& images = library.Icons().Icon(i)->Images();
        const TIconImage* sizeless = nullptr;
        for (int k = 0; k < images.Count() && !sizeless; ++k) {
            const auto header = ReadImageHeader(images.GetItem(k)->Data());
            if (!header || !ImagePixelSize(*header)) sizeless = images.GetItem(k);
        }
        if (!sizeless) continue;
        try {
            SaveImageAsBitmap(*sizeless, 0, gFolder + "/out.bmp");
            FUZZ_CHECK(false);
        } catch (const EPictavoError& e) {
            noteError(e);
        }
        break;
    }

    // A file that is not there and a folder.
    for (const std::string& other : {gFolder + "/missing.ico", gFolder}) {
        TIconLibrary target;
        try {
            LoadIcons(other, target);
            FUZZ_CHECK(false);
        } catch (const EFOpenError& e) {
            noteError(e);
        }
    }
    note({ECancelled().Source(), ECancelled().what()});

    // Texts of numbers: a size, the memory, the processor and the search's counters.
    uint8_t raw[24] = {};
    std::memcpy(raw, body.data(), std::min(body.size(), sizeof raw));
    uint64_t numbers[3];
    std::memcpy(numbers, raw, sizeof numbers);
    const TProcessorInfo processor{"", static_cast<unsigned>(numbers[2] & 0xFF),
                                   static_cast<unsigned>(numbers[2] >> 8 & 0xFF)};
    const TIconFileCounters counters{static_cast<int>(numbers[0]), static_cast<int>(numbers[1]),
                                     static_cast<int>(numbers[2])};
    for (const std::string& text : {ByteSizeText(numbers[0]), ByteSizeText(numbers[1] & 0xFFFF),
                                    MemoryText({numbers[0], numbers[1]}), ProcessorText(processor), counters.Text()})
        note({"", text});
    return pass;
}

// One icon deleted from the list read, by an index that may be out of range.
void DeleteOne(TPass& pass, uint8_t sizeAndIndex) {
    TIconList& icons = pass.Loaded->Library.Icons();
    const int index = static_cast<int8_t>(sizeAndIndex);
    const int before = icons.Count();
    try {
        icons.Delete(index);
        FUZZ_CHECK(index >= 0 && index < before && icons.Count() == before - 1);
    } catch (const EListError& e) {
        FUZZ_CHECK((index < 0 || index >= before) && icons.Count() == before);
        pass.Messages.push_back({e.Source(), e.what()});
    }
}

// The messages of an input in both languages: the program's own text the same, shown as it is
// in Chinese and translated in English.
void CheckLanguages(const TPass& chinese, const TPass& english) {
    FUZZ_CHECK(chinese.Messages.size() == english.Messages.size());
    for (size_t i = 0; i < chinese.Messages.size(); ++i) {
        const TShownMessage& zh = chinese.Messages[i];
        const TShownMessage& en = english.Messages[i];
        FUZZ_CHECK(IsUtf8(zh.Local) && IsUtf8(en.Local));
        if (zh.Source.empty()) {
            // A text made of numbers: the same where the Chinese one is plain ASCII ("1.5 KiB").
            FUZZ_CHECK(IsAscii(en.Local));
            FUZZ_CHECK(IsAscii(zh.Local) ? en.Local == zh.Local : en.Local != zh.Local);
            continue;
        }
        FUZZ_CHECK(zh.Source == en.Source);
        FUZZ_CHECK(zh.Local == zh.Source);
        FUZZ_CHECK(IsAscii(zh.Source) ? en.Local == en.Source : en.Local != en.Source);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    MakeFolder();
    // The English catalog is the build's (locale/ beside the fuzz folder): without it every
    // text would stay Chinese and the English half of this target would test nothing.
    SetLanguage(true);
    if (std::strcmp(Tr("读取已取消"), "读取已取消") == 0) {
        std::fprintf(stderr, "load_fuzz: no English catalog found (build the pictavo_catalogs target)\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const bool english = data[0] & 1;
    auto layout = static_cast<TLayout>((data[0] >> 1) & 3);
    const auto event = static_cast<TReadEvent>((data[0] >> 3) & 3);
    const unsigned at = data[1];
    const uint16_t shift = static_cast<uint16_t>(data[2] | (data[3] << 8));
    const uint8_t sizeAndIndex = data[4];
    const std::span<const uint8_t> body(data + 5, size - 5);

    // A PE file's resources could ask for hundreds of megabytes of a sparse file.
    if (layout == TLayout::PastWholeRead && IconFileKind(TSpanSource(body)) == TIconFileKind::PE)
        layout = TLayout::PastOnePiece;

    const std::string path = gFolder + "/input.ico";
    const auto memory = WriteFile(path, body, layout, shift);

    SetLanguage(english);
    TPass pass = MessagesOf(path, memory, body, sizeAndIndex);
    if (memory)
        CheckLoadAgainstMemory(*pass.Loaded, memory);
    else
        CheckLoadPastWholeRead(*pass.Loaded);
    if (at != 0) CheckHookedLoad(path, *pass.Loaded, at, event, memory);
    DeleteOne(pass, sizeAndIndex);

    SetLanguage(!english);
    TPass other = MessagesOf(path, memory, body, sizeAndIndex);
    DeleteOne(other, sizeAndIndex);
    CheckSameLoad(*pass.Loaded, *other.Loaded, false);
    CheckLanguages(english ? other : pass, english ? pass : other);

    ::unlink(path.c_str());
    return 0;
}
