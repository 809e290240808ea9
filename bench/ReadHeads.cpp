// The I/O floor of scanning many files, for compare-wrestool.sh: for every file named on the
// command line, open it, read its first 4 KB and close it, printing "bytes<TAB>file" the way
// `pictavo-cli count` prints "count<TAB>file". Nothing is parsed. It uses the C library only,
// so that its own start-up costs as little as possible; the script builds it with the
// system's compiler:
//   g++ -O2 -o read-heads bench/ReadHeads.cpp

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    static char buffer[4096];
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const int fd = ::open(argv[i], O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "read-heads: %s: %s\n", argv[i], std::strerror(errno));
            status = 1;
            continue;
        }
        ssize_t n;
        do n = ::read(fd, buffer, sizeof buffer);
        while (n < 0 && errno == EINTR);
        ::close(fd);
        std::printf("%zd\t%s\n", n < 0 ? ssize_t{0} : n, argv[i]);
    }
    return status;
}
