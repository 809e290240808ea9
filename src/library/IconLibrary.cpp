#include "library/IconLibrary.h"

#include "base/ByteReader.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "library/IconLoading.h"
#include "library/Reader16.h"
#include "library/Reader32.h"
#include "library/Writer16.h"

namespace pictavo {

void TIconList::AddIcon(std::string Name, std::unique_ptr<TAdvancedIcon> Icon) {
    if (!Icon) return;
    // A name kept with the icon and written into files: the same in every language.
    if (Name.empty()) Name = Format("图标 %d", Count() + 1);
    FNames.Add(Name);
    FItems.emplace_back(std::move(Name), std::move(Icon));
}

int TIconList::IndexOf(const std::string& Name) const {
    if (!FNames.Contains(Name)) return -1;
    const std::string folded = FoldCase(Name);
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FoldCase(FItems[i].first) == folded) return static_cast<int>(i);
    return -1;
}

void TIconList::Delete(int Index) {
    if (Index < 0 || Index >= Count()) throw EListError(FormatMessage("列表索引超出范围 (%d)", Index));
    FNames.Remove(FItems[static_cast<size_t>(Index)].first);
    FItems.erase(FItems.begin() + Index);
}

void TIconList::DeleteMany(const std::vector<int>& Indices) {
    if (Indices.empty()) return;
    for (const int index : Indices)
        if (index < 0 || index >= Count()) throw EListError(FormatMessage("列表索引超出范围 (%d)", index));
    size_t kept = static_cast<size_t>(Indices.front()), next = 0;
    for (size_t i = kept; i < FItems.size(); ++i) {
        if (next < Indices.size() && static_cast<size_t>(Indices[next]) == i) {
            FNames.Remove(FItems[i].first);
            ++next;
            continue;
        }
        FItems[kept++] = std::move(FItems[i]);
    }
    FItems.resize(kept);
}

void TIconList::Assign(TIconList& Source) {
    if (&Source == this) return;
    FItems = std::move(Source.FItems);
    FNames = std::move(Source.FNames);
    Source.Clear();
}

bool IsExecutableFile(const TByteSource& File, bool& IsPE) {
    const TIconFileKind kind = IconFileKind(File);
    if (kind != TIconFileKind::PE && kind != TIconFileKind::NE) return false;
    IsPE = kind == TIconFileKind::PE;
    return true;
}

bool IsExecutableFile(const std::string& FileName, bool& IsPE) {
    const TFileSource file(FileName);
    return file.Valid() && IsExecutableFile(file, IsPE);
}

void TIconLibrary::LoadFromFile(const std::string& FileName) {
    // The file is opened once: its kind, its count and its icons are read through the same
    // descriptor. A file that cannot be opened holds no icons here (the .ico reader reports it).
    FLastError = {};
    std::unique_ptr<TFileSource> file;
    try {
        file = std::make_unique<TFileSource>(FileName);
    } catch (const EFOpenError&) {
        return;
    }
    if (!file->Valid()) return;
    LoadFromSource(FileName, *file, IconFileKind(*file));
}

void TIconLibrary::LoadFromSource(const std::string& FileName, const TByteSource& File, TIconFileKind Kind) {
    FLastError = {};
    if (Kind == TIconFileKind::PE) {
        // The headers are parsed once, for the count and the icons alike.
        T32BitReader reader(FileName, File);
        try {
            if (!reader.Open() || reader.GroupCount() == 0) return;
        } catch (const ECancelled&) {
            throw;
        } catch (...) {
            return;  // a directory that cannot be counted holds no icons
        }
        FFileName = FileName;
        if (reader.ReadIcons())
            FIcons.Assign(reader.Icons());
        else
            FLastError = Message("不是一个有效的可执行文件");
    } else if (Kind == TIconFileKind::NE) {
        if (T16BitReader::CountGroupIcons(File) == 0) return;
        FFileName = FileName;
        T16BitReader reader(FileName, ReadWhole(File));
        if (reader.ReadIcons())
            FIcons.Assign(reader.Icons());
        else
            FLastError = reader.LastErrorMessage();
    }
}

void TIconLibrary::SaveToFile(const std::string& FileName) const {
    if (FIcons.Count() == 0) throw EICLReadError(Message("没有任何图标可以写入图标库"));
    if (FIcons.Count() >= 32768) throw EICLReadError(Message("图标库中的文件不能超过 32767 个"));
    T16BitWriter writer(*this);
    writer.SaveToFile(FileName);
}

}  // namespace pictavo
