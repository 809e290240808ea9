#include "library/IconLibrary.h"

#include "base/ByteReader.h"
#include "base/Paths.h"
#include "library/IconLoading.h"
#include "library/Reader16.h"
#include "library/Reader32.h"
#include "library/Writer16.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace pictavo {

void TIconList::AddIcon(std::string Name, std::unique_ptr<TAdvancedIcon> Icon) {
    if (!Icon) return;
    if (Name.empty()) Name = Format("图标 %d", Count() + 1);
    FItems.emplace_back(std::move(Name), std::move(Icon));
}

int TIconList::IndexOf(const std::string& Name) const {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (SameTextAscii(FItems[i].first, Name)) return static_cast<int>(i);
    return -1;
}

void TIconList::Delete(int Index) {
    if (Index < 0 || Index >= Count()) throw EListError(Format("列表索引超出范围 (%d)", Index));
    FItems.erase(FItems.begin() + Index);
}

void TIconList::Assign(TIconList& Source) {
    if (&Source == this) return;
    FItems = std::move(Source.FItems);
    Source.FItems.clear();
}

namespace {

// Reads exactly n bytes at an offset; false on a short read or an error.
bool ReadAt(int fd, uint64_t offset, uint8_t* out, size_t n) {
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, out + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

}  // namespace

bool IsExecutableFile(const std::string& FileName, bool& IsPE) {
    // Non-blocking, so that a named pipe never waits for a writer; only regular files are read.
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) RaiseOpenError(FileName, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    uint8_t word[2];
    bool result = false;
    if (ReadAt(fd, 0, word, 2) && word[0] == 'M' && word[1] == 'Z' && ReadAt(fd, 60, word, 2)) {
        // Only the low half of the new header's offset is taken.
        const uint16_t at = static_cast<uint16_t>(word[0] | (word[1] << 8));
        if (ReadAt(fd, at, word, 2)) {
            if (word[0] == 'P' && word[1] == 'E') {
                IsPE = true;
                result = true;
            } else if (word[0] == 'N' && word[1] == 'E') {
                IsPE = false;
                result = true;
            }
        }
    }
    ::close(fd);
    return result;
}

void TIconLibrary::LoadFromFile(const std::string& FileName) {
    if (CountModuleIcons(FileName) == 0) return;
    bool isPE = false;
    if (!IsExecutableFile(FileName, isPE)) return;
    FFileName = FileName;
    std::unique_ptr<TICLReader> reader;
    if (isPE) reader = std::make_unique<T32BitReader>(FileName);
    else reader = std::make_unique<T16BitReader>(FileName);
    if (reader->ReadIcons()) FIcons.Assign(reader->Icons());
}

void TIconLibrary::SaveToFile(const std::string& FileName) const {
    if (FIcons.Count() == 0) throw EICLReadError("没有任何图标可以写入图标库");
    if (FIcons.Count() >= 32768) throw EICLReadError("图标库中的文件不能超过 32767 个");
    T16BitWriter writer(*this);
    writer.SaveToFile(FileName);
}

}  // namespace pictavo
