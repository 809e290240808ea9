// What the models of the icon views and of the image boxes share about their pictures: the
// band of rows around those on screen whose pictures are wanted or kept, and the decodes the
// file's budget refused, which wait until decoded pixels are let go somewhere.
#pragma once

#include "base/ByteBuffer.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <utility>

namespace pictavo {

// Rows on screen make a screen; pictures are asked for the screen and one more screen above and
// below it, and let go beyond this many screens away.
inline constexpr int kKeptScreens = 2;

struct TRowBand {
    int First = 0, Last = -1;  // on screen; none for Last < First
    int WantFirst = 0, WantLast = -1;
    int KeepFirst = 0, KeepLast = -1;

    // The band of `rows` rows when a view shows first..last (clamped to the rows).
    static TRowBand Of(int first, int last, int rows) {
        TRowBand band;
        band.First = std::max(first, 0);
        band.Last = std::min(last, rows - 1);
        if (band.Empty()) return band;
        const int screen = band.Last - band.First + 1;
        band.WantFirst = std::max(band.First - screen, 0);
        band.WantLast = std::min(band.Last + screen, rows - 1);
        band.KeepFirst = std::max(band.First - kKeptScreens * screen, 0);
        band.KeepLast = std::min(band.Last + kKeptScreens * screen, rows - 1);
        return band;
    }
    bool Empty() const { return Last < First; }
    bool Wants(int row) const { return row >= WantFirst && row <= WantLast; }
    bool Keeps(int row) const { return row >= KeepFirst && row <= KeepLast; }
    // Calls `ask` for the rows wanted, in the order their pictures are asked for: those on view,
    // then those after them (the way a list is mostly scrolled), then those before.
    template <typename Ask>
    void ForWanted(Ask&& ask) const {
        if (Empty()) return;
        for (int row = First; row <= WantLast; ++row) ask(row);
        for (int row = First - 1; row >= WantFirst; --row) ask(row);
    }
};

// Decodes refused because the file's budget was spent at that moment. Each waits until decoded
// pixels are let go (the service's MemoryReleased), not for a clock: then it is asked again,
// whatever the number of threads that were decoding meanwhile.
template <typename Key>
class TMemoryWait {
public:
    // The decode of `key`, begun when DecodeReleases() was `releases`, was refused: true when
    // pixels were let go since and it is to be asked again at once; else it waits.
    bool Refused(const Key& key, uint64_t releases) {
        if (DecodeReleases() != releases) return true;
        FKeys.insert(key);
        return false;
    }
    // The decodes waiting, which wait no more.
    std::set<Key> TakeAll() { return std::exchange(FKeys, {}); }
    void Forget(const Key& key) { FKeys.erase(key); }
    void Clear() { FKeys.clear(); }
    int Count() const { return static_cast<int>(FKeys.size()); }

private:
    std::set<Key> FKeys;
};

}  // namespace pictavo
