// The names of a run made unique the one way icons are named everywhere: a name already taken,
// compared without regard to case, gets "_1" appended until it is free ("A", "A_1", "A_1_1", ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace pictavo {

class TUniqueNames {
public:
    // Something else that holds names (a folder): true when it holds this one.
    using TTakenElsewhere = std::function<bool(const std::string&)>;

    bool Contains(std::string_view Name) const;
    void Add(std::string_view Name);
    // Forgets one holder of the name.
    void Remove(std::string_view Name);
    void Clear();

    // The first of Name, Name + "_1", Name + "_1_1", ... that is neither held here nor taken
    // elsewhere. With a byte limit (one set keeps to one limit) each candidate is cut at a
    // character boundary so that it and its suffix fit. Past 127 repeats of "_1", or where
    // they would no longer fit the limit, the suffix becomes "_" and the number of the
    // attempt, so that names stay short whatever a file repeats. Each base
    // name resumes where its last search ended, so n equal names cost n look-ups, not n².
    std::string MakeUnique(const std::string& Name, size_t MaxBytes = SIZE_MAX,
                           const TTakenElsewhere& TakenElsewhere = {});

private:
    std::unordered_map<std::string, uint32_t> FHolders;  // folded name -> how many hold it
    // Folded base name -> the attempts known to be taken. Taken names only become free when
    // one is removed, and then every hint is dropped.
    std::unordered_map<std::string, size_t> FNextAttempt;
};

}  // namespace pictavo
