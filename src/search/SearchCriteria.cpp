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
    throw EAssignError(FormatMessage("无法赋值 %s 到 %s", Source.ClassName(), ClassName()));
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

}  // namespace pictavo
