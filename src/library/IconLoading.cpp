#include "library/IconLoading.h"

#include "base/ByteReader.h"
#include "base/ByteSource.h"
#include "base/FileIO.h"
#include "base/Paths.h"
#include "icons/AdvancedIcon.h"
#include "icons/IconImage.h"
#include "icons/IconTypes.h"
#include "library/ExeFormat.h"
#include "library/IconLibrary.h"
#include "library/PEResources.h"
#include "library/Reader16.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <tuple>
#include <vector>

namespace pictavo {

namespace {

// Group icons of an executable whose signature word (the low half of the new header's offset)
// points at "PE" or "NE"; 0 for any other file.
int CountModuleGroups(const TByteSource& file, TIconFileKind kind) {
    if (kind == TIconFileKind::NE) return T16BitReader::CountGroupIcons(file);
    if (kind != TIconFileKind::PE) return 0;
    TPEResourceReader reader;
    return reader.Open(file) ? static_cast<int>(reader.CountNames(RT_GROUP_ICON)) : 0;
}

}  // namespace

int CountModuleIcons(const TByteSource& File) noexcept {
    try {
        return CountModuleGroups(File, IconFileKind(File));
    } catch (...) {
        return 0;
    }
}

// Both counts read the file through one descriptor, a few pages where the headers and the
// tables lie; nothing else of the file is read.
int CountModuleIcons(const std::string& FileName) noexcept {
    try {
        const TFileSource file(FileName);
        return file.Valid() ? CountModuleIcons(file) : 0;
    } catch (...) {
        return 0;
    }
}

TIconFileKind IconFileKind(const TByteSource& File) {
    const ByteCursor rd(File);
    const auto first = rd.U16At(0);
    if (first == exe::kDosSignature) {
        // Only the low half of the new header's offset is taken.
        const auto at = rd.U16At(exe::kDosNewHeaderField);
        const auto signature = at ? rd.U16At(*at) : std::nullopt;
        if (signature == exe::kPESignatureWord) return TIconFileKind::PE;
        if (signature == exe::kNESignature) return TIconFileKind::NE;
        return TIconFileKind::None;
    }
    if (first == 0 && rd.U16At(2) == 1) return TIconFileKind::Ico;
    return TIconFileKind::None;
}

int CountIcons(const TByteSource& File) noexcept {
    try {
        const TIconFileKind kind = IconFileKind(File);
        if (kind != TIconFileKind::Ico) return CountModuleGroups(File, kind);
        // An .ico file loads with at least one image when its header is an icon header with a
        // count of at least one and the file holds the whole directory.
        const auto count = ByteCursor(File).U16At(4);
        if (!count || *count == 0) return 0;
        return File.Size() >= TIconDir::Size + uint64_t{*count} * TIconDirEntry::Size ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int CountIcons(const std::string& FileName) noexcept {
    try {
        const TFileSource file(FileName);
        return file.Valid() ? CountIcons(file) : 0;
    } catch (...) {
        return 0;
    }
}

int CountFileIcons(const std::string& FileName) {
    struct stat st {};
    if (::stat(FileName.c_str(), &st) != 0) RaiseOpenError(FileName, errno);
    if (S_ISDIR(st.st_mode)) RaiseOpenError(FileName, EISDIR);
    if (!S_ISREG(st.st_mode)) RaiseOpenError(FileName, EINVAL);
    const TFileSource file(FileName);
    return file.Valid() ? CountIcons(file) : 0;
}

namespace {

// Icons gathered from a file keep only their own bytes, not the buffer of the whole file or of
// the pieces it was read in (which may hold code and other resources), so that what a list or
// library holds follows the icons it holds. Images over the same bytes share one copy. Where
// the ranges overlap so much that copies would cost more than the buffers themselves (a
// hostile file), the buffers are kept instead. Images without bytes (an entry pointing past the
// end of the file) keep none of them.
void KeepOwnBytes(const std::vector<TAdvancedIcon*>& Icons) {
    using Range = std::tuple<const TByteBuffer*, size_t, size_t>;
    std::map<Range, std::vector<TIconImage*>> ranges;
    std::map<const TByteBuffer*, size_t> buffers;
    std::shared_ptr<const TByteBuffer> none;
    for (TAdvancedIcon* icon : Icons)
        for (int i = 0; i < icon->Images().Count(); ++i) {
            TIconImage* image = icon->Images()[i];
            if (!image || !image->Buffer()) continue;
            if (!image->HasData()) {
                if (!none) none = std::make_shared<const TByteBuffer>(std::span<const uint8_t>());
                image->Rebase(none, 0);
                continue;
            }
            const TByteBuffer* buffer = image->Buffer().get();
            ranges[{buffer, image->Offset(), image->Data().size()}].push_back(image);
            buffers[buffer] = buffer->Bytes().size();
        }
    uint64_t rangeBytes = 0, bufferBytes = 0;
    for (const auto& entry : ranges) rangeBytes += std::get<2>(entry.first);
    for (const auto& entry : buffers) bufferBytes += entry.second;
    if (rangeBytes >= bufferBytes) return;
    // The copies share one decode budget, as the images of one file do.
    const auto budget = std::make_shared<TDecodeBudget>();
    for (const auto& [range, images] : ranges) {
        const auto own = std::make_shared<const TByteBuffer>(images.front()->Data(), budget);
        for (TIconImage* image : images) image->Rebase(own, 0);
    }
}

}  // namespace

int LoadIcons(const std::vector<std::string>& FileNames, TIconLibrary& Target, const TCancelFlag* Cancel) {
    int added = 0;
    for (const std::string& file : FileNames) {
        if (Cancel && Cancel->load(std::memory_order_relaxed)) throw ECancelled();
        added += LoadIcons(file, Target, Cancel);
    }
    return added;
}

int LoadIcons(const std::string& FileName, TIconLibrary& Target, const TCancelFlag* Cancel) {
    // One descriptor for the kind and the icons; only a regular file is read.
    TFileSource file(FileName);
    file.SetCancelFlag(Cancel);
    file.RequireRegular(FileName);
    const TIconFileKind kind = file.Valid() ? IconFileKind(file) : TIconFileKind::None;
    if (kind == TIconFileKind::PE || kind == TIconFileKind::NE) {
        TIconLibrary temp;
        temp.LoadFromSource(FileName, file, kind);
        // A read stopped where a reader takes any failure for "no icons" is still stopped.
        file.CheckCancelled();
        if (!temp.LastError().empty()) throw EICLReadError(temp.LastErrorMessage());
        TIconList& icons = temp.Icons();
        std::vector<TAdvancedIcon*> read;
        for (int i = 0; i < icons.Count(); ++i) read.push_back(icons.Icon(i));
        KeepOwnBytes(read);
        for (int i = 0; i < icons.Count(); ++i)
            Target.Icons().AddIcon(Target.Icons().UniqueName(icons.Name(i)), icons.Take(i));
        return icons.Count();
    }
    if (kind != TIconFileKind::Ico) return 0;
    auto icon = std::make_unique<TAdvancedIcon>();
    icon->LoadFromBytes(ReadWhole(file));
    if (icon->Images().Count() == 0) return 0;
    KeepOwnBytes({icon.get()});
    Target.Icons().AddIcon(Target.Icons().UniqueName(ChangeFileExtToNone(ExtractFileName(FileName))), std::move(icon));
    return 1;
}

}  // namespace pictavo
