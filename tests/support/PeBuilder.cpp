#include "support/PeBuilder.h"

#include "base/ByteReader.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <utility>

namespace pictavo::test {

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) { PutU16le(&b[at], v); }
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { PutU32le(&b[at], v); }

struct NameKey {
    bool isId;
    uint16_t id;
    std::u16string text;
    bool operator<(const NameKey& o) const {
        if (isId != o.isId) return !isId;  // strings first
        if (isId) return id < o.id;
        return text < o.text;
    }
};

}  // namespace

PeImage BuildPe(const std::vector<PeResource>& resources, bool pe64) {
    // Group into type -> name -> language -> data.
    std::map<uint16_t, std::map<NameKey, std::map<uint16_t, const std::vector<uint8_t>*>>> tree;
    for (const auto& r : resources) tree[r.Type][NameKey{r.NameIsId, r.Id, r.Text}][r.Language] = &r.Data;

    const uint32_t sectionRva = 0x1000;
    std::vector<uint8_t> rsrc;
    auto reserve = [&](size_t n) {
        const size_t at = rsrc.size();
        rsrc.resize(at + n, 0);
        return static_cast<uint32_t>(at);
    };
    auto directory = [&](uint16_t named, uint16_t ids) {
        const uint32_t at = reserve(16 + 8 * (named + ids));
        Put16(rsrc, at + 12, named);
        Put16(rsrc, at + 14, ids);
        return at;
    };
    struct Fixup {
        uint32_t at;  // where the string offset goes (name field)
        std::u16string text;
    };
    std::vector<Fixup> strings;
    struct DataFixup {
        uint32_t entry;
        const std::vector<uint8_t>* data;
    };
    std::vector<DataFixup> datas;
    std::map<std::pair<uint16_t, NameKey>, uint32_t> nameEntries;
    std::map<std::tuple<uint16_t, NameKey, uint16_t>, uint32_t> dataEntries;

    const uint32_t root = directory(0, static_cast<uint16_t>(tree.size()));
    size_t ti = 0;
    for (auto& [type, names] : tree) {
        const uint32_t typeEntry = root + 16 + 8 * static_cast<uint32_t>(ti++);
        uint16_t named = 0, ids = 0;
        for (auto& [key, langs] : names) (key.isId ? ids : named)++;
        const uint32_t nameDir = directory(named, ids);
        Put32(rsrc, typeEntry, type);
        Put32(rsrc, typeEntry + 4, 0x80000000u | nameDir);
        size_t ni = 0;
        for (auto& [key, langs] : names) {
            const uint32_t nameEntry = nameDir + 16 + 8 * static_cast<uint32_t>(ni++);
            nameEntries[{type, key}] = nameEntry;
            if (key.isId)
                Put32(rsrc, nameEntry, key.id);
            else
                strings.push_back({nameEntry, key.text});
            const uint32_t langDir = directory(0, static_cast<uint16_t>(langs.size()));
            Put32(rsrc, nameEntry + 4, 0x80000000u | langDir);
            size_t li = 0;
            for (auto& [lang, data] : langs) {
                const uint32_t langEntry = langDir + 16 + 8 * static_cast<uint32_t>(li++);
                const uint32_t dataEntry = reserve(16);
                dataEntries[{type, key, lang}] = dataEntry;
                Put32(rsrc, langEntry, lang);
                Put32(rsrc, langEntry + 4, dataEntry);
                datas.push_back({dataEntry, data});
            }
        }
    }
    for (const auto& s : strings) {
        const uint32_t at = reserve(2 + 2 * s.text.size());
        Put16(rsrc, at, static_cast<uint16_t>(s.text.size()));
        for (size_t i = 0; i < s.text.size(); ++i) Put16(rsrc, at + 2 + 2 * i, s.text[i]);
        Put32(rsrc, s.at, 0x80000000u | at);
    }
    for (const auto& d : datas) {
        while (rsrc.size() % 4) rsrc.push_back(0);
        const uint32_t at = reserve(d.data->size());
        std::copy(d.data->begin(), d.data->end(), rsrc.begin() + at);
        Put32(rsrc, d.entry, sectionRva + at);
        Put32(rsrc, d.entry + 4, static_cast<uint32_t>(d.data->size()));
    }
    while (rsrc.size() % 512) rsrc.push_back(0);

    PeImage pe;
    const uint32_t peAt = 0x80;
    const uint16_t optSize = pe64 ? 240 : 224;
    const uint32_t sectionTable = peAt + 24 + optSize;
    const uint32_t headersSize = 0x400;
    std::vector<uint8_t>& b = pe.Bytes;
    b.assign(headersSize, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, peAt);
    b[peAt] = 'P';
    b[peAt + 1] = 'E';
    Put16(b, peAt + 4, pe64 ? 0x8664 : 0x14C);
    Put16(b, peAt + 6, 1);
    Put16(b, peAt + 20, optSize);
    Put16(b, peAt + 22, 0x2102);
    const uint32_t opt = peAt + 24;
    Put16(b, opt, pe64 ? 0x20B : 0x10B);
    Put32(b, opt + (pe64 ? 108 : 92), 16);
    const uint32_t dirs = opt + (pe64 ? 112 : 96);
    Put32(b, dirs + 16, sectionRva);
    Put32(b, dirs + 20, static_cast<uint32_t>(rsrc.size()));
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    std::copy(name, name + 8, b.begin() + sectionTable);
    Put32(b, sectionTable + 8, static_cast<uint32_t>(rsrc.size()));
    Put32(b, sectionTable + 12, sectionRva);
    Put32(b, sectionTable + 16, static_cast<uint32_t>(rsrc.size()));
    Put32(b, sectionTable + 20, headersSize);
    b.insert(b.end(), rsrc.begin(), rsrc.end());

    pe.SectionTableOffset = sectionTable;
    pe.ResourceFileOffset = headersSize;
    pe.ResourceRva = sectionRva;
    pe.ResourceDirectoryField = dirs + 16;
    for (const auto& r : resources) {
        const NameKey key{r.NameIsId, r.Id, r.Text};
        pe.NameEntries.push_back(headersSize + nameEntries[{r.Type, key}]);
        pe.DataEntries.push_back(headersSize + dataEntries[{r.Type, key, r.Language}]);
    }
    return pe;
}

std::vector<uint8_t> GroupData(const std::vector<uint16_t>& iconIds, uint32_t bytesInRes) {
    std::vector<uint8_t> g(6 + 14 * iconIds.size(), 0);
    Put16(g, 2, 1);
    Put16(g, 4, static_cast<uint16_t>(iconIds.size()));
    for (size_t i = 0; i < iconIds.size(); ++i) {
        const size_t e = 6 + 14 * i;
        g[e] = 16;
        g[e + 1] = 16;
        Put16(g, e + 4, 1);
        Put16(g, e + 6, 8);
        Put32(g, e + 8, bytesInRes);
        Put16(g, e + 12, iconIds[i]);
    }
    return g;
}

}  // namespace pictavo::test
