// The named-icon library, its list, the reader base and the choice of reader by signature.
#pragma once

#include "base/ByteSource.h"
#include "base/Errors.h"
#include "icons/AdvancedIcon.h"
#include "library/UniqueNames.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pictavo {

// Errors of reading and writing icon libraries; carries the user-facing message.
class EICLReadError : public EPictavoError {
public:
    using EPictavoError::EPictavoError;
};

// An ordered list of (name, icon) pairs that owns its icons. Names may repeat.
class TIconList {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    const std::string& Name(int Index) const { return FItems.at(static_cast<size_t>(Index)).first; }
    TAdvancedIcon* Icon(int Index) const { return FItems.at(static_cast<size_t>(Index)).second.get(); }

    // Appends a pair; an empty name becomes "图标 N" (N = the count before adding, plus one);
    // a null icon adds nothing.
    void AddIcon(std::string Name, std::unique_ptr<TAdvancedIcon> Icon);
    // The first index whose name equals Name without regard to case; -1 when none does.
    int IndexOf(const std::string& Name) const;
    // Whether a name equal to Name without regard to case is in the list (without a scan).
    bool Contains(const std::string& Name) const { return FNames.Contains(Name); }
    // Name, or the first of Name + "_1", Name + "_1_1", ... that no entry holds.
    std::string UniqueName(const std::string& Name) { return FNames.MakeUnique(Name); }
    // Frees every icon and empties the list.
    void Clear() {
        FItems.clear();
        FNames.Clear();
    }
    // Frees the icon at Index and removes it; raises EListError ("列表索引超出范围 (%d)")
    // for an index out of range.
    void Delete(int Index);
    // Frees and removes the icons at these indices (ascending, each once, all in range) in one
    // pass over the list.
    void DeleteMany(const std::vector<int>& Indices);
    // Frees this list's icons, then takes over Source's pairs in order; Source is left empty.
    void Assign(TIconList& Source);
    // Hands the icon at Index over to the caller, leaving the entry without an icon object.
    std::unique_ptr<TAdvancedIcon> Take(int Index) { return std::move(FItems.at(static_cast<size_t>(Index)).second); }

private:
    std::vector<std::pair<std::string, std::unique_ptr<TAdvancedIcon>>> FItems;
    TUniqueNames FNames;  // the entries' names
};

// Reads the icons of one file into Icons. The caller calls ReadIcons once and takes Icons
// over when it returned true.
class TICLReader {
public:
    explicit TICLReader(std::string FileName) : FFileName(std::move(FileName)) {}
    virtual ~TICLReader() = default;
    virtual bool ReadIcons() = 0;
    const std::string& FileName() const { return FFileName; }
    TIconList& Icons() { return FIcons; }

protected:
    std::string FFileName;
    TIconList FIcons;
};

enum class TIconFileKind;

class TIconLibrary {
public:
    // The path of the last LoadFromFile whose file passed the signature test.
    const std::string& FileName() const { return FFileName; }
    // Why the last LoadFromFile could not read an executable or icon library that announced
    // icons (the reader's message); empty after any other outcome.
    const std::string& LastError() const { return FLastError.Local; }
    const TMessage& LastErrorMessage() const { return FLastError; }
    TIconList& Icons() { return FIcons; }
    const TIconList& Icons() const { return FIcons; }

    // Replaces the icons by those of an executable, DLL or icon library that holds icons;
    // leaves the library unchanged for any other file, a failed read and a file that cannot be
    // opened (no error: such a file holds no icons here). Raises EResNotFound when a group
    // names a missing icon.
    void LoadFromFile(const std::string& FileName);
    // The same over a file already open (FileName names it) whose kind IconFileKind() has
    // told; the file is read through File alone.
    void LoadFromSource(const std::string& FileName, const TByteSource& File, TIconFileKind Kind);

    // Writes the library as a 16-bit .icl file, replacing FileName atomically. Raises
    // EICLReadError for an empty library ("没有任何图标可以写入图标库"), one of 32768 icons or
    // more ("图标库中的文件不能超过 32767 个") or one the layout cannot hold.
    void SaveToFile(const std::string& FileName) const;

private:
    std::string FFileName;
    TMessage FLastError;
    TIconList FIcons;
};

// True when the file begins with "MZ" and the word at offset 60 (the low half of the new
// header's offset) points at "PE" or "NE"; IsPE tells which. Raises EFOpenError.
bool IsExecutableFile(const std::string& FileName, bool& IsPE);
// The same test over bytes at hand.
bool IsExecutableFile(const TByteSource& File, bool& IsPE);

}  // namespace pictavo
