#include "packaging/PackagingFixtures.h"

#include "support/TempDir.h"

#include <sys/wait.h>

#include <cstdio>

namespace pictavo::test {

std::map<std::string, unsigned> ExpectedKdePluginFiles(const std::string& kdePluginDir) {
    return {{kdePluginDir + "/pictavothumbnail.so", 0644},
            {"share/doc/pictavo-kde-thumbnailer/copyright", 0644},
            {"share/doc/pictavo-kde-thumbnailer/changelog.gz", 0644}};
}

std::map<std::string, unsigned> ExpectedInstalledFiles(bool withWindow, const std::string& kdePluginDir) {
    std::map<std::string, unsigned> files = {
        {"bin/pictavo-cli", 0755},
        {"share/thumbnailers/pictavo.thumbnailer", 0644},
        {"share/bash-completion/completions/pictavo-cli", 0644},
        {"share/zsh/vendor-completions/_pictavo-cli", 0644},
        {"share/fish/vendor_completions.d/pictavo-cli.fish", 0644},
        {"share/man/man1/pictavo-cli.1.gz", 0644},
        {"share/doc/pictavo/copyright", 0644},
        {"share/locale/en/LC_MESSAGES/pictavo.mo", 0644},
        {"share/doc/pictavo/changelog.gz", 0644},
    };
    if (!kdePluginDir.empty()) files.merge(ExpectedKdePluginFiles(kdePluginDir));
    if (!withWindow) return files;
    files.insert({{"bin/pictavo", 0755},
                  {"share/man/man1/pictavo.1.gz", 0644},
                  {"share/applications/io.github.pictavo.Pictavo.desktop", 0644},
                  {"share/metainfo/io.github.pictavo.Pictavo.metainfo.xml", 0644},
                  {"share/icons/hicolor/scalable/apps/pictavo.svg", 0644}});
    for (unsigned size : {16u, 22u, 24u, 32u, 48u, 64u, 128u, 256u}) {
        const std::string dim = std::to_string(size) + "x" + std::to_string(size);
        files.insert({"share/icons/hicolor/" + dim + "/apps/pictavo.png", 0644});
    }
    return files;
}

int RunShell(const std::string& command, std::string& out) {
    out.clear();
    FILE* pipe = ::popen(("exec 2>&1; " + command).c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    const int raw = ::pclose(pipe);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

bool HaveProgram(const std::string& name) {
    std::string out;
    return RunShell("command -v " + ShellQuote(name), out) == 0;
}

}  // namespace pictavo::test
