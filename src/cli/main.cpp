#include "base/Language.h"
#include "cli/Commands.h"

#include <malloc.h>

#include <iostream>

int main(int argc, char** argv) {
    // Files are read one after another into buffers of similar sizes: keep freed memory in the
    // heap for the next file instead of returning it to the system and faulting it in again.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    std::ios::sync_with_stdio(false);
    pictavo::InitLanguage();
    std::vector<std::string> args(argv + 1, argv + argc);
    const int status = pictavo::cli::Run(args, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
