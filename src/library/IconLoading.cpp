#include "library/IconLoading.h"

#include "base/ByteSource.h"
#include "base/FileIO.h"
#include "base/Paths.h"
#include "icons/IconTypes.h"
#include "library/IconLibrary.h"
#include "library/PEResources.h"
#include "library/Reader16.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

namespace pictavo {

namespace {

// Group icons of an executable whose signature word (the low half of the new header's offset
// at 60) points at "PE" or "NE"; -1 for a file that does not begin with "MZ".
int CountModuleGroups(const TByteSource& file) {
    bool isPE = false;
    if (!IsExecutableFile(file, isPE)) return file.U16(0) == 0x5A4D ? 0 : -1;
    if (!isPE) return T16BitReader::CountGroupIcons(file);
    TPEResourceReader reader;
    return reader.Open(file) ? static_cast<int>(reader.CountNames(RT_GROUP_ICON)) : 0;
}

}  // namespace

int CountModuleIcons(const TByteSource& File) noexcept {
    try {
        return std::max(CountModuleGroups(File), 0);
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
    bool isPE = false;
    if (IsExecutableFile(File, isPE)) return isPE ? TIconFileKind::PE : TIconFileKind::NE;
    if (File.U16(0) == 0 && File.U16(2) == 1) return TIconFileKind::Ico;
    return TIconFileKind::None;
}

int CountIcons(const TByteSource& File) noexcept {
    try {
        const int groups = CountModuleGroups(File);
        if (groups >= 0) return groups;  // an executable is never an .ico file
        // An .ico file loads with at least one image when its header is an icon header with a
        // count of at least one and the file holds the whole directory.
        const auto reserved = File.U16(0), type = File.U16(2), count = File.U16(4);
        if (reserved != 0 || type != 1 || !count || *count == 0) return 0;
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

int LoadIcons(const std::string& FileName, TIconLibrary& Target) {
    TIconLibrary temp;
    temp.LoadFromFile(FileName);
    if (!temp.LastError().empty()) throw EICLReadError(temp.LastError());
    TIconList& icons = temp.Icons();
    if (icons.Count() > 0) {
        for (int i = 0; i < icons.Count(); ++i)
            Target.Icons().AddIcon(Target.Icons().UniqueName(icons.Name(i)), icons.Take(i));
        return icons.Count();
    }
    auto icon = std::make_unique<TAdvancedIcon>();
    icon->LoadFromFile(FileName);
    if (icon->Images().Count() == 0) return 0;
    Target.Icons().AddIcon(Target.Icons().UniqueName(ChangeFileExtToNone(ExtractFileName(FileName))), std::move(icon));
    return 1;
}

}  // namespace pictavo
