// The I/O floor of `pictavo-cli search -r`, for compare-search.sh: walks each folder given on
// the command line and, for every regular file under it, opens it, reads its first 4 KB and
// closes it. Nothing else: folders are read with readdir and entered by their d_type (a stat
// only where the file system does not fill d_type in), files are opened relative to their
// folder's descriptor, nothing is sorted or parsed. Links to files are followed, links to
// folders are not. Prints "files N bytes B" (bytes read) once at the end.
//
// The C library only, so that its start-up costs as little as possible; the script builds it
// with the system's compiler:
//   g++ -O2 -o read-tree bench/search/ReadTree.cpp

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

char gBuffer[4096];
unsigned long long gFiles = 0, gBytes = 0;

void ReadHead(int dirFd, const char* name) {
    const int fd = ::openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return;
    ssize_t n;
    do n = ::read(fd, gBuffer, sizeof gBuffer);
    while (n < 0 && errno == EINTR);
    ::close(fd);
    ++gFiles;
    if (n > 0) gBytes += static_cast<unsigned long long>(n);
}

// Takes the folder's descriptor over (closes it).
void Walk(int folderFd) {
    DIR* dir = ::fdopendir(folderFd);
    if (!dir) {
        ::close(folderFd);
        return;
    }
    const int fd = ::dirfd(dir);
    while (const dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN || type == DT_LNK) {
            struct stat st {};
            if (::fstatat(fd, name, &st, 0) != 0) continue;
            if (S_ISREG(st.st_mode))
                type = DT_REG;
            else if (S_ISDIR(st.st_mode) && e->d_type == DT_UNKNOWN)
                type = DT_DIR;
            else
                continue;
        }
        if (type == DT_REG) {
            ReadHead(fd, name);
        } else if (type == DT_DIR) {
            const int sub = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
            if (sub >= 0) Walk(sub);
        }
    }
    ::closedir(dir);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: read-tree FOLDER...\n", stderr);
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const int fd = ::open(argv[i], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "read-tree: %s: %s\n", argv[i], std::strerror(errno));
            status = 1;
            continue;
        }
        Walk(fd);
    }
    std::printf("files %llu bytes %llu\n", gFiles, gBytes);
    return status;
}
