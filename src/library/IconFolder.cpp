#include "library/IconFolder.h"

#include "base/Errors.h"
#include "icons/PngWriter.h"

#include <sys/stat.h>

#include <cerrno>

namespace pictavo {

namespace {

// Longest file name the file systems here take, in bytes, and what every name ends in.
constexpr size_t kMaxFileNameBytes = 255;
const std::string kIcoExtension = ".ico";
const std::string kPngExtension = ".png";

}  // namespace

std::string SafeFileName(std::string Name) {
    for (char& c : Name)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
    if (Name.empty() || Name == "." || Name == "..") Name = "_" + Name;
    return Name;
}

TIconFolder::TIconFolder(std::string Folder) : FPrefix(std::move(Folder)) {
    if (FPrefix.empty() || FPrefix.back() != '/') FPrefix += '/';
}

void TIconFolder::MakeFolder() {
    // The folder and its missing parents, one component at a time.
    for (size_t slash = FPrefix.find('/', 1); slash != std::string::npos; slash = FPrefix.find('/', slash + 1)) {
        const std::string partial = FPrefix.substr(0, slash);
        if (::mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) RaiseCreateError(partial, errno);
    }
    struct stat st {};
    if (::stat(FPrefix.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) RaiseCreateError(FPrefix, ENOTDIR);
    FMade = true;
}

std::string TIconFolder::PlaceName(const std::string& Name, const std::string& Extension) {
    if (!FMade) MakeFolder();
    const auto notRegular = [&](const std::string& candidate) {
        struct stat st {};
        return ::lstat((FPrefix + candidate + Extension).c_str(), &st) == 0 && !S_ISREG(st.st_mode);
    };
    TUniqueNames& names = FNames[Extension];
    const std::string name = names.MakeUnique(SafeFileName(Name), kMaxFileNameBytes - Extension.size(), notRegular);
    names.Add(name);
    return FPrefix + name + Extension;
}

std::string TIconFolder::Save(const TAdvancedIcon& Icon, const std::string& Name) {
    if (Icon.Images().Count() == 0) throw EPictavoError(FormatMessage("图标 \"%s\" 没有图像, 已跳过", Name.c_str()));
    const std::string path = PlaceName(Name, kIcoExtension);
    Icon.SaveToFile(path, TSaveTarget::NameInFolder);
    return path;
}

std::string TIconFolder::SavePng(const TIconRaster& Raster, const std::string& Name) {
    const std::vector<uint8_t> bytes = WritePng(Raster);
    const std::string path = PlaceName(Name, kPngExtension);
    WriteFileAtomically(path, bytes, TSaveTarget::NameInFolder);
    return path;
}

}  // namespace pictavo
