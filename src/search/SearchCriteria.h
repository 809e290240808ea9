// What a search looks for: where, which names, and the tests a found entry must pass
// (attributes, size, time stamps, exclusions, content). Copyable value objects.
#pragma once

#include "base/Errors.h"
#include "search/ContentScan.h"
#include "search/FileTimes.h"
#include "search/SearchMasks.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pictavo {

// "无法赋值 %s 到 %s": an Assign between objects of different classes.
class EAssignError : public EPictavoError {
public:
    using EPictavoError::EPictavoError;
};

// Base of the copyable criteria: Assign from an object of another class raises EAssignError.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual const char* ClassName() const = 0;
    virtual void Assign(const TPersistent& Source);
};

// Attribute bits of an entry, as the folder enumeration reports them.
inline constexpr uint32_t faReadOnly = 0x01;
inline constexpr uint32_t faHidden = 0x02;
inline constexpr uint32_t faSysFile = 0x04;
inline constexpr uint32_t faDirectory = 0x10;
inline constexpr uint32_t faArchive = 0x20;
// The bits the attribute test looks at.
inline constexpr uint32_t faAnyTested = 0x37;

enum TFileAttribute { ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory };
// A set over TFileAttribute: bit n for ordinal n.
using TFileAttributes = uint8_t;
constexpr TFileAttributes AttrSet(std::initializer_list<TFileAttribute> members) {
    TFileAttributes set = 0;
    for (auto m : members) set = static_cast<TFileAttributes>(set | (1u << m));
    return set;
}

class TFileCriteria : public TPersistent {
public:
    const char* ClassName() const override { return "TFileCriteria"; }
    void Assign(const TPersistent& Source) override;

    std::string FileName;               // masks separated by ";"
    std::string Location;               // folders separated by ";", each may carry a prefix
    std::vector<std::string> Included;  // folder path and one mask per line
    std::vector<std::string> Excluded;  // exclusion patterns
    bool Subfolders = true;
    uint16_t MinLevel = 0;
    uint16_t MaxLevel = 0;
};

class TAttributeCriteria : public TPersistent {
public:
    const char* ClassName() const override { return "TAttributeCriteria"; }
    void Assign(const TPersistent& Source) override;

    TFileAttributes Attributes() const;
    void SetAttributes(TFileAttributes Value);
    uint32_t Mask() const { return FMask; }
    bool ExactMatch = false;

    // Takes the entry's attribute bits.
    bool Matches(uint32_t Attr) const;

private:
    uint32_t FMask = faArchive | faReadOnly | faHidden | faSysFile;  // 0x27
};

class TDateTimeCriteria : public TPersistent {
public:
    const char* ClassName() const override { return "TDateTimeCriteria"; }
    void Assign(const TPersistent& Source) override;

    TDateTime CreatedBefore = 0, CreatedAfter = 0;
    TDateTime ModifiedBefore = 0, ModifiedAfter = 0;
    TDateTime AccessedBefore = 0, AccessedAfter = 0;

    // Takes the entry's creation, last-write and last-access file times (UTC, 100 ns since 1601).
    bool Matches(int64_t Created, int64_t Modified, int64_t Accessed) const;
};

class TSizeCriteria : public TPersistent {
public:
    const char* ClassName() const override { return "TSizeCriteria"; }
    void Assign(const TPersistent& Source) override;

    uint32_t Min = 0;  // 0 = no bound
    uint32_t Max = 0;  // 0 = no bound

    // Compares the entry's whole size (never only its low 32 bits).
    bool Matches(uint64_t Size) const;
};

class TContentCriteria : public TPersistent {
public:
    const char* ClassName() const override { return "TContentCriteria"; }
    void Assign(const TPersistent& Source) override;

    const std::string& Phrase() const { return FPhrase; }
    void SetPhrase(const std::string& Value);
    bool IgnoreCase() const { return FIgnoreCase; }
    void SetIgnoreCase(bool Value);
    int32_t PhraseLen() const { return FPhraseLen; }

    // Takes a full path; a file that cannot be opened or read is refused silently.
    bool Matches(const std::string& FileName) const;
    // The same for a name in the folder open as DirFd (paths of any length).
    bool Matches(int DirFd, const std::string& Name) const;

private:
    void Prepare();
    std::string FPhrase;
    int32_t FPhraseLen = 0;
    bool FIgnoreCase = true;
    std::string FPrepared;
};

class TSearchCriteria : public TPersistent {
public:
    const char* ClassName() const override { return "TSearchCriteria"; }
    void Assign(const TPersistent& Source) override;

    TFileCriteria Files;
    TAttributeCriteria Attribute;
    TDateTimeCriteria TimeStamp;
    TSizeCriteria Size;
    TContentCriteria Content;
};

// The pieces of a ";" list, in order, untrimmed; a trailing ";" adds no piece.
std::vector<std::string> SplitList(std::string_view Text);
// Removes a ">" (enter sub-folders) or "<" (do not) prefix; otherwise the flag is Default.
std::string ParseSubfolderPrefix(std::string_view Entry, bool Default, bool& Subfolders);
// The absolute folder path ("." and ".." resolved) ending in "/"; empty stays empty. A ":"
// is part of a name like any other character.
std::string NormalizeFolder(std::string_view Path);

}  // namespace pictavo
