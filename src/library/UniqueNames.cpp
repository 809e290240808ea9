#include "library/UniqueNames.h"

#include "base/Text.h"

namespace pictavo {

namespace {

// "_1" is repeated at most this often. Past it a name that comes back again and again would
// grow without end: n equal names would need n² bytes of names (a few hundred kilobytes of a
// file could ask for gigabytes), so the attempt's number is appended instead.
constexpr size_t kMaxRepeatedSuffixes = 127;

// Attempt k of a base name: "_1" k times, or "_k" once that no longer fits the limit.
std::string Candidate(const std::string& base, size_t k, size_t maxBytes) {
    std::string suffix;
    if (k <= kMaxRepeatedSuffixes && 2 * k < maxBytes) {
        suffix.reserve(2 * k);
        for (size_t i = 0; i < k; ++i) suffix += "_1";
    } else {
        suffix = "_" + std::to_string(k);
    }
    const size_t room = maxBytes > suffix.size() ? maxBytes - suffix.size() : 0;
    std::string out(CutUtf8(base, room));
    out += suffix;
    return out;
}

}  // namespace

bool TUniqueNames::Contains(std::string_view Name) const { return FHolders.count(FoldCase(Name)) > 0; }

void TUniqueNames::Add(std::string_view Name) { ++FHolders[FoldCase(Name)]; }

void TUniqueNames::Remove(std::string_view Name) {
    const auto it = FHolders.find(FoldCase(Name));
    if (it == FHolders.end()) return;
    if (--it->second == 0) FHolders.erase(it);
    FNextAttempt.clear();
}

void TUniqueNames::Clear() {
    FHolders.clear();
    FNextAttempt.clear();
}

std::string TUniqueNames::MakeUnique(const std::string& Name, size_t MaxBytes, const TTakenElsewhere& TakenElsewhere) {
    const std::string key = FoldCase(Name);
    size_t& next = FNextAttempt[key];
    for (size_t k = next;; ++k) {
        std::string candidate = Candidate(Name, k, MaxBytes);
        if (FHolders.count(FoldCase(candidate)) || (TakenElsewhere && TakenElsewhere(candidate))) continue;
        next = k;
        return candidate;
    }
}

}  // namespace pictavo
