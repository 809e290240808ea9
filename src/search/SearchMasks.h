// Name masks of the search: the folder listing's enumeration rule, the criteria's wildcards,
// file-name masks and exclusion patterns.
#pragma once

#include <string_view>

namespace pictavo {

// The platform's enumeration rule: "*" any run of characters, "?" any one (UTF-8) character,
// letters compared without regard to ASCII case; "*.*" and a trailing ".*" also take names
// without a dot.
bool EnumerationMatch(std::string_view name, std::string_view mask);
// "*" ends the test with a match, "?" any one (UTF-8) character, others equal ignoring ASCII case.
bool WildcardMatch(std::string_view Text, std::string_view Mask);
// Base and extension matched separately (a mask without extension ignores the name's).
bool FileNameMatch(std::string_view Name, std::string_view Mask);
// One exclusion pattern against a normalised folder (ending in "/") and an entry name.
bool MatchesExclusion(std::string_view Folder, std::string_view Name, std::string_view Pattern);

}  // namespace pictavo
