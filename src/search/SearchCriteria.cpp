#include "search/SearchCriteria.h"

#include "base/Paths.h"
#include "base/Text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>

namespace pictavo {

void TPersistent::Assign(const TPersistent& Source) {
    throw EAssignError(Format("无法赋值 %s 到 %s", Source.ClassName(), ClassName()));
}

void TFileCriteria::Assign(const TPersistent& Source) {
    const auto* s = dynamic_cast<const TFileCriteria*>(&Source);
    if (!s) return TPersistent::Assign(Source);
    FileName = s->FileName;
    Location = s->Location;
    Included = s->Included;
    Excluded = s->Excluded;
    Subfolders = s->Subfolders;
    MinLevel = s->MinLevel;
    MaxLevel = s->MaxLevel;
}

namespace {
// Set member ordinal -> attribute bit.
constexpr uint32_t kAttributeBits[] = {faArchive, faReadOnly, faHidden, faSysFile, faDirectory};
}  // namespace

TFileAttributes TAttributeCriteria::Attributes() const {
    TFileAttributes set = 0;
    for (int m = ffArchive; m <= ffDirectory; ++m)
        if (FMask & kAttributeBits[m]) set = static_cast<TFileAttributes>(set | (1u << m));
    return set;
}

void TAttributeCriteria::SetAttributes(TFileAttributes Value) {
    FMask = 0;
    for (int m = ffArchive; m <= ffDirectory; ++m)
        if (Value & (1u << m)) FMask |= kAttributeBits[m];
}

void TAttributeCriteria::Assign(const TPersistent& Source) {
    const auto* s = dynamic_cast<const TAttributeCriteria*>(&Source);
    if (!s) return TPersistent::Assign(Source);
    FMask = s->FMask;
    ExactMatch = s->ExactMatch;
}

bool TAttributeCriteria::Matches(uint32_t Attr) const {
    const uint32_t tested = Attr & faAnyTested;
    if (ExactMatch) return tested == FMask;
    return (tested & ~FMask) == 0;
}

void TDateTimeCriteria::Assign(const TPersistent& Source) {
    const auto* s = dynamic_cast<const TDateTimeCriteria*>(&Source);
    if (!s) return TPersistent::Assign(Source);
    CreatedBefore = s->CreatedBefore;
    CreatedAfter = s->CreatedAfter;
    ModifiedBefore = s->ModifiedBefore;
    ModifiedAfter = s->ModifiedAfter;
    AccessedBefore = s->AccessedBefore;
    AccessedAfter = s->AccessedAfter;
}

bool TDateTimeCriteria::Matches(int64_t Created, int64_t Modified, int64_t Accessed) const {
    const struct {
        TDateTime before, after;
        int64_t time;
    } pairs[] = {{CreatedBefore, CreatedAfter, Created},
                 {ModifiedBefore, ModifiedAfter, Modified},
                 {AccessedBefore, AccessedAfter, Accessed}};
    for (const auto& p : pairs) {
        if (p.before == 0 && p.after == 0) continue;
        if (!IsDateBetween(FileTimeToLocalDateTime(p.time), p.before, p.after)) return false;
    }
    return true;
}

void TSizeCriteria::Assign(const TPersistent& Source) {
    const auto* s = dynamic_cast<const TSizeCriteria*>(&Source);
    if (!s) return TPersistent::Assign(Source);
    Min = s->Min;
    Max = s->Max;
}

bool TSizeCriteria::Matches(uint64_t Size) const {
    if (Min != 0 && Size < Min) return false;
    if (Max != 0 && Size > Max) return false;
    return true;
}

void TContentCriteria::Assign(const TPersistent& Source) {
    const auto* s = dynamic_cast<const TContentCriteria*>(&Source);
    if (!s) return TPersistent::Assign(Source);
    FPhrase = s->FPhrase;
    FPhraseLen = s->FPhraseLen;
    FIgnoreCase = s->FIgnoreCase;
    FPrepared = s->FPrepared;
}

void TContentCriteria::SetPhrase(const std::string& Value) {
    if (Value == FPhrase) return;
    FPhrase = Value;
    FPhraseLen = static_cast<int32_t>(std::min<size_t>(Value.size(), INT32_MAX));
    Prepare();
}

void TContentCriteria::SetIgnoreCase(bool Value) {
    if (Value == FIgnoreCase) return;
    FIgnoreCase = Value;
    Prepare();
}

void TContentCriteria::Prepare() { FPrepared = FIgnoreCase ? LowerAscii(FPhrase) : FPhrase; }

bool TContentCriteria::Matches(const std::string& FileName) const { return Matches(AT_FDCWD, FileName); }

bool TContentCriteria::Matches(int DirFd, const std::string& Name) const {
    if (FPhraseLen <= 0) return true;
    return FileContains(DirFd, Name, FPrepared, FIgnoreCase);
}

void TSearchCriteria::Assign(const TPersistent& Source) {
    const auto* s = dynamic_cast<const TSearchCriteria*>(&Source);
    if (!s) return TPersistent::Assign(Source);
    Files.Assign(s->Files);
    Attribute.Assign(s->Attribute);
    TimeStamp.Assign(s->TimeStamp);
    Size.Assign(s->Size);
    Content.Assign(s->Content);
}

std::vector<std::string> SplitList(std::string_view Text) {
    std::vector<std::string> pieces;
    while (!Text.empty()) {
        const size_t sep = Text.find(';');
        if (sep == std::string_view::npos) {
            pieces.emplace_back(Text);
            break;
        }
        pieces.emplace_back(Text.substr(0, sep));
        Text.remove_prefix(sep + 1);
    }
    return pieces;
}

std::string ParseSubfolderPrefix(std::string_view Entry, bool Default, bool& Subfolders) {
    if (!Entry.empty() && Entry.front() == '>') {
        Subfolders = true;
        return std::string(Entry.substr(1));
    }
    if (!Entry.empty() && Entry.front() == '<') {
        Subfolders = false;
        return std::string(Entry.substr(1));
    }
    Subfolders = Default;
    return std::string(Entry);
}

std::string NormalizeFolder(std::string_view Path) {
    if (Path.empty()) return {};
    std::string full = ExpandFileName(Path);
    if (full.back() != '/') full += '/';
    return full;
}

bool WildcardMatch(std::string_view Text, std::string_view Mask) {
    const auto lower = [](char c) { return LowerAscii(c); };
    size_t t = 0, m = 0;
    while (t < Text.size() && m < Mask.size()) {
        if (Mask[m] == '*') return true;
        if (Mask[m] == '?') {
            t += Utf8Step(Text, t);
        } else {
            if (lower(Mask[m]) != lower(Text[t])) return false;
            ++t;
        }
        ++m;
    }
    if (t < Text.size()) return false;
    while (m < Mask.size() && (Mask[m] == '*' || Mask[m] == '?')) ++m;
    return m == Mask.size();
}

namespace {

// Position of the extension: the last "." after the last "/"; npos when none.
size_t ExtensionAt(std::string_view s) {
    const size_t dot = s.rfind('.');
    if (dot == std::string_view::npos) return dot;
    const size_t sep = s.rfind('/');
    if (sep != std::string_view::npos && sep > dot) return std::string_view::npos;
    return dot;
}

// The drive part of a path: "X:" (any first character), or "//server/share"; else empty.
std::string_view DrivePart(std::string_view path) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    if (path.size() >= 2 && path[0] == '/' && path[1] == '/') {
        const size_t server = path.find('/', 2);
        if (server == std::string_view::npos) return path;
        const size_t share = path.find('/', server + 1);
        return share == std::string_view::npos ? path : path.substr(0, share);
    }
    return {};
}

}  // namespace

bool FileNameMatch(std::string_view Name, std::string_view Mask) {
    const size_t maskDot = ExtensionAt(Mask);
    const size_t nameDot = ExtensionAt(Name);
    const std::string_view nameBase = Name.substr(0, nameDot);
    if (maskDot == std::string_view::npos) return WildcardMatch(nameBase, Mask);
    const std::string_view nameExt = nameDot == std::string_view::npos ? std::string_view(".") : Name.substr(nameDot);
    return WildcardMatch(nameExt, Mask.substr(maskDot)) && WildcardMatch(nameBase, Mask.substr(0, maskDot));
}

bool MatchesExclusion(std::string_view Folder, std::string_view Name, std::string_view Pattern) {
    const size_t sep = Pattern.find_last_of("/:");
    std::string_view folderPart = sep == std::string_view::npos ? std::string_view() : Pattern.substr(0, sep + 1);
    const std::string_view namePart = sep == std::string_view::npos ? Pattern : Pattern.substr(sep + 1);
    if (!folderPart.empty()) {
        const std::string_view folderDrive = DrivePart(Folder);
        const std::string_view patternDrive = DrivePart(folderPart);
        if (!patternDrive.empty()) {
            if (folderPart.front() != '*' && folderPart.front() != '?') {
                if (folderDrive.empty()) return false;
                if (!SameTextAscii(folderDrive.substr(0, 1), patternDrive.substr(0, 1))) return false;
            }
            folderPart.remove_prefix(patternDrive.size());
        }
        if (!folderPart.empty()) {
            if (Folder.size() - folderDrive.size() < folderPart.size()) return false;
            if (!SameTextAscii(Folder.substr(Folder.size() - folderPart.size()), folderPart)) return false;
        }
    }
    if (namePart.empty()) return true;
    return FileNameMatch(Name, namePart);
}

bool IsDateBetween(TDateTime Value, TDateTime Before, TDateTime After) {
    auto whole = [](TDateTime v) { return std::trunc(v); };
    auto timeOf = [&](TDateTime v) { return v - whole(v); };
    auto isDateOnly = [&](TDateTime v) { return timeOf(v) == 0; };
    auto isTimeOnly = [&](TDateTime v) { return whole(v) == 0 && timeOf(v) != 0; };
    bool result = true;
    if (Before != 0) {
        if (isDateOnly(Before)) result = whole(Value) <= Before;
        else if (isTimeOnly(Before)) result = timeOf(Value) <= Before;
        else result = Value <= Before;
    }
    if (After != 0) {
        if (isDateOnly(After)) result = result && whole(Value) >= After;
        else if (isTimeOnly(After)) result = result && timeOf(Value) >= After;
        else result = result && Value >= After;
    }
    return result;
}

namespace {

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

const int64_t kDateTimeEpoch = DaysFromCivil(1899, 12, 30);

}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) {
    const double days = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kDateTimeEpoch);
    return days + (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + ms) / 86400000.0;
}

TDateTime FileTimeToLocalDateTime(int64_t FileTime) {
    constexpr int64_t kUnixEpochInFileTime = 116444736000000000LL;
    const int64_t sinceUnix = FileTime - kUnixEpochInFileTime;
    int64_t seconds = sinceUnix / 10000000;
    int64_t rest = sinceUnix % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    if (!localtime_r(&t, &local)) return 0;
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                          local.tm_sec, static_cast<int>(rest / 10000));
}

bool FileContains(const std::string& FileName, std::string_view Phrase, bool IgnoreCase) {
    return FileContains(AT_FDCWD, FileName, Phrase, IgnoreCase);
}

bool FileContains(int DirFd, const std::string& Name, std::string_view Phrase, bool IgnoreCase) {
    if (Phrase.empty()) return true;
    const int fd = ::openat(DirFd, Name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    // Only regular files have content to scan: a pipe or a device could never end.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    uint64_t remaining = static_cast<uint64_t>(st.st_size);
    if (remaining < Phrase.size()) return false;
#ifdef POSIX_FADV_SEQUENTIAL
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    // Chunks with the last (phrase length - 1) bytes carried over, so that a phrase across a
    // chunk boundary is found; each chunk is searched with the library's substring search.
    const size_t keep = Phrase.size() - 1;
    const size_t chunk = std::max<size_t>(256 * 1024, Phrase.size());
    std::unique_ptr<char[]> buffer(new char[keep + chunk]);
    size_t held = 0;
    while (remaining > 0) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk, remaining));
        const ssize_t n = ::read(fd, buffer.get() + held, want);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        if (IgnoreCase) {
            // Branch-free, so the compiler can lower many bytes at a time.
            auto* p = reinterpret_cast<unsigned char*>(buffer.get() + held);
            for (ssize_t i = 0; i < n; ++i)
                p[i] = static_cast<unsigned char>(p[i] + (static_cast<unsigned char>(p[i] - 'A') < 26u ? 32 : 0));
        }
        held += static_cast<size_t>(n);
        remaining -= static_cast<uint64_t>(n);
        if (held >= Phrase.size() && ::memmem(buffer.get(), held, Phrase.data(), Phrase.size())) return true;
        const size_t carry = std::min(keep, held);
        std::memmove(buffer.get(), buffer.get() + held - carry, carry);
        held = carry;
    }
    return false;
}

}  // namespace pictavo
