// Executables whose resource directory points many entries at the same bytes or names, and
// files that shrink while they are read: bounded work and memory, a clear error or the bytes
// that exist.
#include "base/ByteReader.h"
#include "base/ByteSource.h"
#include "base/Errors.h"
#include "icons/AdvancedIcon.h"
#include "icons/IconTypes.h"
#include "library/IconLibrary.h"
#include "library/IconLoading.h"
#include "library/PEResources.h"
#include "support/IconFixtures.h"
#include "support/PeBuilder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <set>

using namespace pictavo;
using namespace pictavo::test;

namespace {

// Points resource `from`'s data entry at the bytes of resource `to`.
void ShareData(PeImage& pe, size_t from, size_t to) {
    std::copy_n(pe.Bytes.begin() + pe.DataEntries[to], 8, pe.Bytes.begin() + pe.DataEntries[from]);
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, uint64_t offset, uint64_t size) {
    return {bytes.begin() + static_cast<ptrdiff_t>(offset), bytes.begin() + static_cast<ptrdiff_t>(offset + size)};
}

std::vector<uint16_t> Ids(uint16_t first, uint16_t last) {
    std::vector<uint16_t> ids;
    for (uint32_t id = first; id <= last; ++id) ids.push_back(static_cast<uint16_t>(id));
    return ids;
}

// Counts the bytes asked of it.
class TCountingSource : public TSpanSource {
public:
    using TSpanSource::TSpanSource;
    bool Read(uint64_t offset, void* out, size_t n) const override {
        Asked += n;
        return TSpanSource::Read(offset, out, n);
    }
    size_t ReadUpTo(uint64_t offset, void* out, size_t n) const override {
        Asked += n;
        return TSpanSource::ReadUpTo(offset, out, n);
    }
    mutable uint64_t Asked = 0;
};

}  // namespace

TEST(HostilePe, GroupsNamingTheSameImagesAgainAreBoundedPerFile) {
    TempDir dir;
    std::vector<PeResource> res;
    res.push_back({RT_ICON, true, 1, {}, 1033, MakeDib(MakePicture(16, 16, 16), 4)});
    res.push_back({RT_GROUP_ICON, true, 1, {}, 1033, GroupData(std::vector<uint16_t>(0xFFFF, 1))});
    for (uint16_t id = 2; id <= 5; ++id) res.push_back({RT_GROUP_ICON, true, id, {}, 1033, GroupData({1})});
    PeImage pe = BuildPe(res);
    // Groups 1 to 4 list 65,535 images each: 262,140, within the bound with group 5's one.
    for (size_t group = 2; group <= 4; ++group) ShareData(pe, group, 1);
    WriteBytes(dir.File("x.dll"), pe.Bytes);
    {
        TIconLibrary library;
        library.LoadFromFile(dir.File("x.dll"));
        ASSERT_EQ(library.Icons().Count(), 5);
        EXPECT_EQ(library.Icons().Icon(3)->Images().Count(), 0xFFFF);
        EXPECT_EQ(library.Icons().Icon(0)->Images()[0]->Data().data(),
                  library.Icons().Icon(3)->Images()[9]->Data().data());
    }
    // Group 5 too: 327,675 images asked for.
    ShareData(pe, 5, 1);
    WriteBytes(dir.File("x.dll"), pe.Bytes);
    TIconLibrary library;
    library.Icons().AddIcon("old", std::make_unique<TAdvancedIcon>());
    try {
        LoadIcons(dir.File("x.dll"), library);
        FAIL() << "loaded";
    } catch (const EPictavoError& e) {
        EXPECT_STREQ(e.what(), "文件中的图像太多 (超过 262144 个)");
    }
    EXPECT_EQ(library.Icons().Count(), 1);
    EXPECT_EQ(CountIcons(dir.File("x.dll")), 5);
}

TEST(HostilePe, IconsPointingAtTheSameBytesShareThem) {
    TempDir dir;
    const auto dib = MakeDib(MakePicture(32, 32, 0, true), 32);
    constexpr uint16_t kIcons = 2000;
    std::vector<PeResource> res;
    for (uint16_t id = 1; id <= kIcons; ++id)
        res.push_back({RT_ICON, true, id, {}, 1033, id == 1 ? dib : std::vector<uint8_t>{0}});
    res.push_back({RT_GROUP_ICON, true, 1, {}, 1033, GroupData(Ids(1, kIcons), static_cast<uint32_t>(dib.size()))});
    PeImage pe = BuildPe(res);
    for (size_t k = 1; k < kIcons; ++k) ShareData(pe, k, 0);
    WriteBytes(dir.File("x.dll"), pe.Bytes);
    TIconLibrary library;
    library.LoadFromFile(dir.File("x.dll"));
    ASSERT_EQ(library.Icons().Count(), 1);
    const TIconImageList& images = library.Icons().Icon(0)->Images();
    ASSERT_EQ(images.Count(), kIcons);
    EXPECT_EQ(std::vector<uint8_t>(images[0]->Data().begin(), images[0]->Data().end()), dib);
    for (int i = 1; i < kIcons; ++i) ASSERT_EQ(images[i]->Data().data(), images[0]->Data().data()) << i;
    EXPECT_EQ(images[kIcons - 1]->GetHandle(), images[0]->GetHandle());  // one decode

    // Every icon a range of its own, overlapping all the others: far more than the file if
    // each were copied, and never more than a few times the file as shared bytes.
    const ByteReader rd(pe.Bytes);
    const uint32_t rva = *rd.u32le(pe.DataEntries[0]);
    for (size_t k = 0; k < kIcons; ++k) {
        PutU32le(&pe.Bytes[pe.DataEntries[k]], static_cast<uint32_t>(rva + 2 * k));
        PutU32le(&pe.Bytes[pe.DataEntries[k] + 4], 0x7FFFFFFF);
    }
    TPEResourceReader reader;
    ASSERT_TRUE(reader.Open(pe.Bytes));
    std::set<const TByteBuffer*> buffers;
    uint64_t held = 0, handedOut = 0;
    for (uint16_t id = 1; id <= kIcons; ++id) {
        const auto range = reader.Locate(RT_ICON, TResourceName::FromId(id));
        const auto bytes = reader.FindResource(RT_ICON, TResourceName::FromId(id));
        ASSERT_TRUE(range && bytes);
        ASSERT_EQ(range->Offset + range->Size, pe.Bytes.size());
        ASSERT_EQ(std::vector<uint8_t>(bytes->Bytes().begin(), bytes->Bytes().end()),
                  Slice(pe.Bytes, range->Offset, range->Size));
        handedOut += bytes->Size;
        if (buffers.insert(bytes->Buffer.get()).second) held += bytes->Buffer->Bytes().size();
    }
    EXPECT_GT(handedOut, 100 * pe.Bytes.size());
    EXPECT_LE(held, 3 * pe.Bytes.size());
}

// Every group entry of the directory made a string name pointing at the one name's characters.
TEST(HostilePe, EntriesSharingOneNameAreCountedUnreadAndListedWithinTheFileSize) {
    constexpr uint16_t kGroups = 4096;
    struct Case {
        size_t NameLength;
        bool Listed;  // false: the names add up to more than the file
    };
    for (const Case c : {Case{32, true}, Case{0xFFFF, false}}) {
        SCOPED_TRACE(c.NameLength);
        std::vector<PeResource> res;
        res.push_back({RT_ICON, true, 1, {}, 1033, MakeDib(MakePicture(16, 16, 16), 4)});
        res.push_back({RT_GROUP_ICON, false, 0, std::u16string(c.NameLength, u'N'), 1033, GroupData({1})});
        for (uint16_t id = 1; id < kGroups; ++id) res.push_back({RT_GROUP_ICON, true, id, {}, 1033, GroupData({1})});
        PeImage pe = BuildPe(res);
        const uint32_t header = pe.NameEntries[1] - 16;  // the string name's entry comes first
        const uint32_t nameField = *ByteReader(pe.Bytes).u32le(pe.NameEntries[1]);
        for (size_t k = 2; k < res.size(); ++k) PutU32le(&pe.Bytes[pe.NameEntries[k]], nameField);
        PutU16le(&pe.Bytes[header + 12], kGroups);
        PutU16le(&pe.Bytes[header + 14], 0);

        const TCountingSource source(pe.Bytes);
        TPEResourceReader reader;
        ASSERT_TRUE(reader.Open(source));
        source.Asked = 0;
        EXPECT_EQ(reader.CountNames(RT_GROUP_ICON), kGroups);
        EXPECT_LT(source.Asked, 64u * 1024);  // the directory and the length words only
        TempDir dir;
        WriteBytes(dir.File("x.dll"), pe.Bytes);
        EXPECT_EQ(CountIcons(dir.File("x.dll")), kGroups);

        source.Asked = 0;
        TIconLibrary library;
        if (c.Listed) {
            const auto names = reader.Names(RT_GROUP_ICON);
            EXPECT_LT(source.Asked, 64u * 1024);  // the characters once
            ASSERT_EQ(names.size(), kGroups);
            EXPECT_EQ(names.back().Text, std::string(c.NameLength, 'N'));
            library.LoadFromFile(dir.File("x.dll"));
            EXPECT_EQ(library.Icons().Count(), kGroups);
            EXPECT_EQ(library.Icons().Name(kGroups - 1), names.back().Text);
        } else {
            EXPECT_THROW(reader.Names(RT_GROUP_ICON), EReadError);
            EXPECT_LT(source.Asked, 1024u * 1024);
            try {
                library.LoadFromFile(dir.File("x.dll"));
                FAIL() << "listed";
            } catch (const EReadError& e) {
                EXPECT_STREQ(e.what(), "资源名称的总长度超过了文件的大小");
            }
        }
    }
}

TEST(HostilePe, AFileThatShrinksWhileReadGivesTheBytesThatExist) {
    TempDir dir;
    const auto dib = MakeDib(MakePicture(32, 32, 0, true), 32);
    std::vector<PeResource> res;
    res.push_back({RT_ICON, true, 1, {}, 1033, dib});
    res.push_back({RT_GROUP_ICON, false, 0, u"MAIN", 1033, GroupData({1}, static_cast<uint32_t>(dib.size()))});
    const PeImage pe = BuildPe(res);
    const std::string path = dir.File("x.dll");
    WriteBytes(path, pe.Bytes);

    const TFileSource file(path);
    TPEResourceReader reader;
    ASSERT_TRUE(reader.Open(file));
    const auto names = reader.Names(RT_GROUP_ICON);
    ASSERT_EQ(names.size(), 1u);
    ASSERT_TRUE(reader.FindResource(RT_GROUP_ICON, names[0]));
    const auto icon = reader.Locate(RT_ICON, TResourceName::FromId(1));
    ASSERT_TRUE(icon);
    // Cut in the middle of the icon, after the directory and the group were read.
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(icon->Offset + 100)), 0);
    TAdvancedIcon loaded;
    ASSERT_TRUE(loaded.LoadFromResource(reader, names[0]));
    ASSERT_EQ(loaded.Images().Count(), 1);
    const auto data = loaded.Images()[0]->Data();
    EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.end()), Slice(pe.Bytes, icon->Offset, 100));
}

// A section larger in memory than in the file: an address in the part the file does not hold
// is not found (it is zero-filled memory, not the bytes that follow in the file), and bytes
// that run past the file's part are cut to it.
TEST(HostilePe, AddressesPastASectionsFileDataAreNotFound) {
    const std::vector<uint8_t> bytes(64, 0xAA);
    const PeImage pe = BuildPe({{RT_ICON, true, 1, {}, 1033, bytes}});
    const uint32_t section = pe.SectionTableOffset;
    const uint32_t address = ByteReader(pe.Bytes).u32le(section + 12).value();
    const uint32_t dataRva = ByteReader(pe.Bytes).u32le(pe.DataEntries[0]).value();
    ASSERT_GT(dataRva, address);
    for (const uint32_t held : {0u, 10u}) {
        SCOPED_TRACE(held);
        std::vector<uint8_t> file = pe.Bytes;
        PutU32le(&file[section + 8], 0x10000);                    // in memory: well past the icon
        PutU32le(&file[section + 16], dataRva - address + held);  // in the file: up to `held` of its bytes
        TPEResourceReader reader;
        ASSERT_TRUE(reader.Open(file));
        const auto range = reader.Locate(RT_ICON, TResourceName::FromId(1));
        if (held == 0) {
            EXPECT_FALSE(range);
        } else {
            ASSERT_TRUE(range);
            EXPECT_EQ(range->Size, held);
        }
    }
}

TEST(HostilePe, AnEmptyResourcePastTheFilesEndIsFoundWithoutBytes) {
    std::vector<PeResource> res;
    res.push_back({RT_ICON, true, 1, {}, 1033, {}});
    PeImage pe = BuildPe(res);
    // The section claims a megabyte of file data; the resource lies in it, past the file's end.
    PutU32le(&pe.Bytes[pe.SectionTableOffset + 8], 0x100000);
    PutU32le(&pe.Bytes[pe.SectionTableOffset + 16], 0x100000);
    PutU32le(&pe.Bytes[pe.DataEntries[0]], pe.ResourceRva + 0xF0000);
    TPEResourceReader reader;
    ASSERT_TRUE(reader.Open(pe.Bytes));
    const auto range = reader.Locate(RT_ICON, TResourceName::FromId(1));
    ASSERT_TRUE(range);
    EXPECT_EQ(range->Size, 0u);
    EXPECT_LE(range->Offset, pe.Bytes.size());
    const auto bytes = reader.FindResource(RT_ICON, TResourceName::FromId(1));
    ASSERT_TRUE(bytes);
    EXPECT_TRUE(bytes->Bytes().empty());
}
