// libFuzzer target for a file the user names, taken the way the window and pictavo-cli take it:
// the name passed as a file manager passes it (a path or a file:// URI), the icons read with
// LoadIcons (which keeps only the icons' own bytes), every image made at its own size and saved
// as a PNG as `extract --png` does, the icons saved into a folder as `extract` does, and a
// picture written over an output as `thumbnail` writes it (in place when it can, else
// atomically). Everything is written in a private folder made at start-up and removed again.
//
// The input:
//   byte 0     how the name is passed (bits 0-1: path, file://, file://localhost, file:; bit 2:
//              every byte escaped; bit 3: escapes in upper case; bit 7: scheme and host in
//              upper case) and (bits 4-6) what stands at the output before it is written;
//   byte 1     the budget of a test decode, in 64ths of what the picture needs;
//   byte 2     n (mod 129), then n bytes of the file's name, then the file.
//
// Besides the sanitizers it checks, and traps when one breaks:
//   - the name's bytes read as an argument: text without a colon is a path as it is, a URI
//     gives no NUL, and any absolute path written as a file:// URI reads back unchanged;
//   - LoadIcons reads what the in-memory readers read (or raises where they fail), with the
//     same images byte for byte, and the icons hold no more bytes than the file has;
//   - a decode refused for the budget leaves nothing taken, and a refusal is not permanent:
//     the image decodes once the budget is free again;
//   - a picture made at its own size has the size its header declares and the pixels a plain
//     decode gives; its PNG and the saved icon read back the same;
//   - writing the output replaces a regular file in place, follows a link to a regular file,
//     never writes through a second hard link, refuses a folder, a pipe or a dangling link,
//     and leaves no temporary file behind.
//
// Reading errors (EPictavoError and its descendants) are expected from LoadIcons; anything
// else that escapes is reported as a crash.

#include "FuzzCommon.h"
#include "base/ByteBuffer.h"
#include "base/ByteSource.h"
#include "base/Errors.h"
#include "base/FileIO.h"
#include "base/Paths.h"
#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "icons/IconRaster.h"
#include "icons/PngWriter.h"
#include "library/IconFolder.h"
#include "library/IconLibrary.h"
#include "library/IconLoading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using namespace pictavo;
using namespace pictavo::fuzz;

namespace {

// The private folder of this process, made at start-up; its "in", "out" and "write" folders
// are emptied after every input.
std::string gFolder;

void MakeFolder() {
    gFolder = MakePrivateFolder("file_fuzz");
    for (const char* sub : {"/in", "/write"})
        if (::mkdir((gFolder + sub).c_str(), 0700) != 0) {
            std::perror("file_fuzz: mkdir");
            std::abort();
        }
}

// Empties a folder (links are removed, not followed).
void EmptyFolder(const std::string& folder) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        std::filesystem::remove_all(entry.path(), ignored);
}

std::set<std::string> Entries(const std::string& folder) {
    std::set<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        names.insert(entry.path().filename().string());
    return names;
}

bool WriteNew(const std::string& path, std::span<const uint8_t> bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return ::close(fd) == 0 && done == bytes.size();
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    const TFileBytes file(path);
    return {file.Bytes().begin(), file.Bytes().end()};
}

// A path as a file manager may pass it. '/' stays as it is (it separates the host); '%', spaces,
// control characters and bytes past ASCII are escaped, or every other byte when asked.
std::string AsArgument(const std::string& path, uint8_t how) {
    const int form = how & 3;
    if (form == 0) return path;
    const bool all = how & 4, upperHex = how & 8, upperScheme = how & 0x80;
    std::string out = upperScheme ? "FILE:" : "file:";
    if (form == 1) out += "//";
    if (form == 2) out += upperScheme ? "//LOCALHOST" : "//localhost";
    const char* digits = upperHex ? "0123456789ABCDEF" : "0123456789abcdef";
    for (const char c : path) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '/' || (!all && b > 0x20 && b < 0x7F && b != '%')) {
            out += c;
        } else {
            out += '%';
            out += digits[b >> 4];
            out += digits[b & 15];
        }
    }
    return out;
}

// Arbitrary text read as a file argument.
void CheckArgument(const std::string& text, uint8_t how) {
    const auto path = LocalPathOfArgument(text);
    if (text.find(':') == std::string::npos) FUZZ_CHECK(path && *path == text);
    if (!path) return;
    FUZZ_CHECK(path->size() <= text.size());
    // An argument comes from a C string: text with a NUL in it cannot be passed.
    if (text.find('\0') != std::string::npos) return;
    if (*path != text) FUZZ_CHECK(path->find('\0') == std::string::npos);
    // An absolute path reads back from a file:// URI of it, with or without "localhost" ("file:"
    // and a path that begins with "//" would read as a host).
    if (!path->empty() && (*path)[0] == '/' && path->find('\0') == std::string::npos) {
        const auto back = LocalPathOfArgument(AsArgument(*path, static_cast<uint8_t>((how & ~3) | (1 + (how & 1)))));
        FUZZ_CHECK(back && *back == *path);
    }
}

// The total bytes of the distinct buffers the library's images hold.
uint64_t HeldBytes(const TIconLibrary& library) {
    std::set<const TByteBuffer*> buffers;
    uint64_t held = 0;
    for (int i = 0; i < library.Icons().Count(); ++i) {
        const TIconImageList& images = library.Icons().Icon(i)->Images();
        for (int k = 0; k < images.Count(); ++k) {
            const auto& buffer = images.GetItem(k)->Buffer();
            if (buffer && buffers.insert(buffer.get()).second) held += buffer->Bytes().size();
        }
    }
    return held;
}

// LoadIcons on the file against the readers of its bytes in memory. Returns whether it read.
bool CheckLoad(const std::string& path, const std::string& fileName, std::span<const uint8_t> file,
               TIconLibrary& library) {
    int count = 0;
    bool raised = false;
    try {
        count = LoadIcons(path, library);
    } catch (const EPictavoError&) {
        raised = true;
    }
    if (raised)
        FUZZ_CHECK(library.Icons().Count() == 0);
    else
        FUZZ_CHECK(count == library.Icons().Count());

    const TSpanSource memory(file);
    const TIconFileKind kind = IconFileKind(memory);
    if (kind == TIconFileKind::Ico) {
        TAdvancedIcon icon;
        bool failed = false;
        try {
            icon.LoadFromBytes(std::make_shared<const TByteBuffer>(file));
        } catch (const EPictavoError&) {
            failed = true;
        }
        FUZZ_CHECK(raised == failed);
        if (raised) return false;
        FUZZ_CHECK(count == (icon.Images().Count() > 0 ? 1 : 0));
        if (count == 0) return true;
        FUZZ_CHECK(library.Icons().Name(0) == ChangeFileExtToNone(fileName));
        CheckSameImages(icon, *library.Icons().Icon(0));
    } else if (kind == TIconFileKind::PE || kind == TIconFileKind::NE) {
        TIconLibrary expected;
        bool failed = false;
        try {
            expected.LoadFromSource(path, memory, kind);
        } catch (const EPictavoError&) {
            failed = true;
        }
        FUZZ_CHECK(raised == (failed || !expected.LastError().empty()));
        if (raised) return false;
        FUZZ_CHECK(count == expected.Icons().Count());
        for (int i = 0; i < count; ++i) {
            // Names the file repeats are made unique.
            FUZZ_CHECK(library.Icons().Name(i).rfind(expected.Icons().Name(i), 0) == 0);
            CheckSameImages(*expected.Icons().Icon(i), *library.Icons().Icon(i));
        }
    } else {
        FUZZ_CHECK(!raised && count == 0);
        return true;
    }
    // Only the icons' bytes are kept, never more than the file has.
    FUZZ_CHECK(HeldBytes(library) <= file.size());
    return true;
}

// The first image whose header declares a size, or null.
const TIconImage* FirstSizedImage(const TIconLibrary& library) {
    for (int i = 0; i < library.Icons().Count(); ++i) {
        const TIconImageList& images = library.Icons().Icon(i)->Images();
        for (int k = 0; k < images.Count(); ++k) {
            const TIconImage* image = images.GetItem(k);
            const auto header = ReadImageHeader(image->Data());
            if (header && ImagePixelSize(*header)) return image;
        }
    }
    return nullptr;
}

// The budget of the file's images spent: nothing decodes, and nothing stays refused once it is
// free again. Runs before anything of the image is decoded.
void CheckSpentBudget(const TIconImage& image) {
    const auto& budget = image.Buffer()->SharedBudget();
    const uint64_t rest = kMaxDecodedBytesPerFile - std::min(kMaxDecodedBytesPerFile, budget->InUse());
    if (!budget->Reserve(rest)) return;  // a budget of another size
    FUZZ_CHECK(image.OwnSizePixels() == nullptr);
    FUZZ_CHECK(image.GetHandle() == nullptr);
    budget->Release(rest);
    const TPixelSource source = image.HandleSource();
    const auto plain = DecodeIconImage(image.Data(), source.Width, source.Height);
    FUZZ_CHECK(SameRaster(image.GetHandle(), plain.get()));
}

// A decode against a budget of `share` 64ths of what the picture needs: refused without taking
// anything when that is too little, and not as over the budget (it never fits, however much is
// released); otherwise the pixels hold their bytes of it until released, and a second decode is
// refused as over the budget while the first holds too much.
void CheckBudget(std::span<const uint8_t> bytes, uint8_t share) {
    const auto own = ImagePixelSize(*ReadImageHeader(bytes));
    const uint64_t working = RasterBytes(own->Width, own->Height);
    const auto budget = std::make_shared<TDecodeBudget>(working * share / 64);
    bool overBudget = false;
    auto first = DecodeWithinBudget(bytes, 0, 0, budget, overBudget);
    if (share < 64) {
        FUZZ_CHECK(!overBudget && first == nullptr && budget->InUse() == 0);
        return;
    }
    FUZZ_CHECK(!overBudget);
    if (!first) {
        FUZZ_CHECK(budget->InUse() == 0);
        return;
    }
    const uint64_t held = std::min(working, RasterBytes(first->Width, first->Height));
    FUZZ_CHECK(budget->InUse() == held);
    auto second = DecodeWithinBudget(bytes, 0, 0, budget, overBudget);
    FUZZ_CHECK(overBudget == (held + working > working * share / 64));
    FUZZ_CHECK(overBudget == (second == nullptr));
    if (second) FUZZ_CHECK(SameRaster(first.get(), second.get()) && budget->InUse() == 2 * held);
    first.reset();
    second.reset();
    FUZZ_CHECK(budget->InUse() == 0);
}

// What `extract` writes: every image at its own size as a PNG, every icon as an .ico, into a
// folder; both read back the same. Returns the PNG of the first picture made.
std::vector<uint8_t> Extract(TIconLibrary& library) {
    const std::string out = gFolder + "/out";
    TIconFolder folder(out);
    std::vector<uint8_t> firstPng;
    int pictures = 0;
    for (int i = 0; i < library.Icons().Count() && i < 8; ++i) {
        const TAdvancedIcon& icon = *library.Icons().Icon(i);
        const std::string& name = library.Icons().Name(i);
        for (int k = 0; k < icon.Images().Count() && pictures < 16; ++k, ++pictures) {
            const TIconImage& image = *icon.Images().GetItem(k);
            const auto raster = image.OwnSizePixels();
            const auto plain = DecodeIconImage(image.Data());
            FUZZ_CHECK(SameRaster(raster.get(), plain.get()));
            if (!raster) continue;
            const auto own = ImagePixelSize(*ReadImageHeader(image.Data()));
            FUZZ_CHECK(own && own->Width == raster->Width && own->Height == raster->Height);
            const std::string path = folder.SavePng(*raster, name);
            FUZZ_CHECK(path.rfind(out + "/", 0) == 0 && path.find('/', out.size() + 1) == std::string::npos);
            const std::vector<uint8_t> png = ReadAll(path);
            const auto back = DecodeIconImage(png);
            FUZZ_CHECK(back && back->Width == raster->Width && back->Height == raster->Height);
            FUZZ_CHECK(back->Colour == raster->Colour);
            if (firstPng.empty()) firstPng = png;
        }
        if (icon.Images().Count() == 0) continue;
        std::string path;
        try {
            path = folder.Save(icon, name);
        } catch (const EPictavoError& e) {
            // Only images whose bytes overlap so much that the file would be too large.
            FUZZ_CHECK(!dynamic_cast<const EFCreateError*>(&e) && !dynamic_cast<const EWriteError*>(&e));
            continue;
        }
        TAdvancedIcon back;
        FUZZ_CHECK(back.LoadFromFile(path));
        CheckSameImages(icon, back);
    }
    EmptyFolder(out);
    ::rmdir(out.c_str());
    return firstPng;
}

// Regular holds bytes; Empty is an empty regular file, as a thumbnail service makes it.
enum class TOutput { None, Regular, Link, HardLinked, Folder, Pipe, DanglingLink, Empty };

// Writes bytes over an output the way `thumbnail` does, with `what` standing there before.
void CheckOutputWrite(std::span<const uint8_t> bytes, TOutput what) {
    const std::string folder = gFolder + "/write";
    const std::string target = folder + "/out.png", other = folder + "/other";
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    std::set<std::string> expected = {"out.png"};
    switch (what) {
    case TOutput::None:
        expected.clear();
        break;
    case TOutput::Regular:
        FUZZ_CHECK(WriteNew(target, old));
        break;
    case TOutput::Empty:
        FUZZ_CHECK(WriteNew(target, {}));
        break;
    case TOutput::Link:
        FUZZ_CHECK(WriteNew(other, old) && ::symlink("other", target.c_str()) == 0);
        expected.insert("other");
        break;
    case TOutput::HardLinked:
        FUZZ_CHECK(WriteNew(target, old) && ::link(target.c_str(), other.c_str()) == 0);
        expected.insert("other");
        break;
    case TOutput::Folder:
        FUZZ_CHECK(::mkdir(target.c_str(), 0700) == 0);
        break;
    case TOutput::Pipe:
        FUZZ_CHECK(::mkfifo(target.c_str(), 0600) == 0);
        break;
    case TOutput::DanglingLink:
        FUZZ_CHECK(::symlink("missing", target.c_str()) == 0);
        break;
    }
    struct stat before {};
    const bool existed = ::lstat(target.c_str(), &before) == 0;

    const bool inPlace = WriteFileInPlace(target, bytes);
    // Only an empty file is written in place; one that holds anything is replaced whole.
    FUZZ_CHECK(inPlace == (what == TOutput::Empty));
    bool written = inPlace;
    if (!inPlace) {
        try {
            WriteFileAtomically(target, bytes, TSaveTarget::FollowLinks);
            written = true;
        } catch (const EFCreateError&) {
        }
    }
    const bool refused = what == TOutput::Folder || what == TOutput::Pipe || what == TOutput::DanglingLink;
    FUZZ_CHECK(written == !refused);

    expected.insert("out.png");
    FUZZ_CHECK(Entries(folder) == expected);  // no temporary file left
    struct stat after {};
    FUZZ_CHECK(::lstat(target.c_str(), &after) == 0);
    if (existed) FUZZ_CHECK((after.st_mode & S_IFMT) == (before.st_mode & S_IFMT));
    if (what == TOutput::Empty) FUZZ_CHECK(after.st_ino == before.st_ino);
    if (what == TOutput::Regular) FUZZ_CHECK(after.st_ino != before.st_ino);
    if (what == TOutput::HardLinked) FUZZ_CHECK(after.st_ino != before.st_ino && ReadAll(other) == old);
    if (written) FUZZ_CHECK(SameBytes(ReadAll(what == TOutput::Link ? other : target), bytes));
    EmptyFolder(folder);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    MakeFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t how = data[0], share = data[1];
    const size_t nameLength = std::min<size_t>(data[2] % 129, size - 3);
    const std::string text(reinterpret_cast<const char*>(data + 3), nameLength);
    const std::span<const uint8_t> file(data + 3 + nameLength, size - 3 - nameLength);

    CheckArgument(text, how);

    // The file under a name made of the same bytes, passed as a path or a URI.
    const std::string fileName = SafeFileName(text);
    const std::string path = gFolder + "/in/" + fileName;
    FUZZ_CHECK(WriteNew(path, file));
    const auto named = LocalPathOfArgument(AsArgument(path, how));
    FUZZ_CHECK(named && *named == path);

    TIconLibrary library;
    std::vector<uint8_t> output(file.begin(), file.end());
    if (CheckLoad(*named, fileName, file, library)) {
        TPixelTally tally;
        for (int i = 0; i < library.Icons().Count(); ++i) tally.Add(*library.Icons().Icon(i));
        if (!tally.TooMany()) {
            if (const TIconImage* image = FirstSizedImage(library)) {
                CheckSpentBudget(*image);
                CheckBudget(image->Data(), share);
            }
            std::vector<uint8_t> png = Extract(library);
            if (!png.empty()) output = std::move(png);
        }
    }
    ::unlink(path.c_str());

    CheckOutputWrite(output, static_cast<TOutput>((how >> 4) & 7));
    return 0;
}
