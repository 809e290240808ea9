// Drives TFindFile as `pictavo-cli search -r` sets it up, but without its icon counting, so
// that the walk and the content scan can be timed on their own.
//
//   pictavo_search_bench [--repeat N] walk DIR
//       every entry under DIR (recursively, mask "*.*"); prints "files N bytes B folders F"
//   pictavo_search_bench [--repeat N] grep DIR PHRASE
//       the files under DIR holding PHRASE (ASCII case ignored); prints one full path a line
//
// --repeat runs the same search N times in the process (for a profiler; only the last run
// prints). Exit status: 0 done, 2 usage error.
#include "search/FindFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

using namespace pictavo;

namespace {

int Usage() {
    std::fputs("usage: pictavo_search_bench [--repeat N] walk DIR\n"
               "       pictavo_search_bench [--repeat N] grep DIR PHRASE\n",
               stderr);
    return 2;
}

// One recursive target: the folder with a single mask, as `pictavo-cli search -r` sets it
// up (an "Included" line, so that a ";" in the path does not split it).
void AddFolder(TFindFile& finder, const std::string& dir) {
    std::string line = ">";
    line += dir.empty() ? std::string_view(".") : std::string_view(dir);
    if (line.back() != '/') line += '/';
    line += "*.*";
    finder.Criteria().Files.Included.push_back(line);
}

}  // namespace

int main(int argc, char** argv) {
    int repeat = 1;
    int i = 1;
    if (i + 1 < argc && std::strcmp(argv[i], "--repeat") == 0) {
        repeat = std::atoi(argv[i + 1]);
        if (repeat < 1) return Usage();
        i += 2;
    }
    if (argc - i < 2) return Usage();
    const std::string_view mode = argv[i];
    const std::string dir = argv[i + 1];

    TFindFile finder;
    AddFolder(finder, dir);

    if (mode == "walk" && argc - i == 2) {
        uint64_t files = 0, bytes = 0, folders = 0;
        finder.OnFolderChange = [&](TFindFile&, const std::string&, bool&) { ++folders; };
        finder.OnFileMatch = [&](TFindFile&, const std::string&, const TSearchRec& rec) {
            ++files;
            bytes += static_cast<uint64_t>(rec.Size);
        };
        for (int r = 0; r < repeat; ++r) {
            files = bytes = folders = 0;
            finder.Execute();
        }
        std::printf("files %llu bytes %llu folders %llu\n", static_cast<unsigned long long>(files),
                    static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(folders));
        return 0;
    }

    if (mode == "grep" && argc - i == 3) {
        finder.Criteria().Content.SetPhrase(argv[i + 2]);
        finder.Criteria().Content.SetIgnoreCase(true);
        std::string found;  // printed once at the end: the last run's matches
        finder.OnFileMatch = [&](TFindFile&, const std::string& folder, const TSearchRec& rec) {
            found += folder;
            found += rec.Name;
            found += '\n';
        };
        for (int r = 0; r < repeat; ++r) {
            found.clear();
            finder.Execute();
        }
        std::fwrite(found.data(), 1, found.size(), stdout);
        return 0;
    }

    return Usage();
}
