// Replays fuzz_import inputs on an ordinary build, without libFuzzer or
// sanitizers: each file is imported in a child process of its own, so one
// crash names its file and the others still run. Exit status 1 when any
// import crashed, hung, let an exception other than InputError through or
// gave an unsound mesh.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "import_input.h"

namespace fs = std::filesystem;

namespace {

// An import still running after this long has hung.
constexpr unsigned kSecondsPerFile = 60;

// Child side: the import itself, ended by SIGALRM when it hangs. _exit, so
// the parent's scratch folder and other static state are left to the parent.
[[noreturn]] void ImportInChild(const std::string& file) {
    alarm(kSecondsPerFile);
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int status = 0;
    try {
        std::string outcome;
        const std::string problem = crumplefuzz::ImportInput(bytes.data(), bytes.size(), &outcome);
        std::printf("%s: %s\n", file.c_str(), outcome.c_str());
        if (!problem.empty()) {
            std::fprintf(stderr, "%s: imported mesh is unsound: %s\n", file.c_str(), problem.c_str());
            status = 2;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: ImportMesh let an exception through: %s\n", file.c_str(), e.what());
        status = 3;
    }
    std::fflush(nullptr);
    _exit(status);
}

// Regular files directly in `dir` (none when it does not exist), sorted.
std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

// Reads: every file in the folders named on the command line.
int main(int argc, char** argv) {
    int imported = 0, failed = 0;
    for (int a = 1; a < argc; ++a) {
        for (const std::string& file : FilesIn(argv[a])) {
            std::fflush(nullptr);
            const pid_t child = fork();
            if (child < 0) {
                std::perror("fork");
                return 1;
            }
            if (child == 0) ImportInChild(file);
            int status = 0;
            if (waitpid(child, &status, 0) < 0) {
                std::perror("waitpid");
                return 1;
            }
            ++imported;
            if (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) {
                std::fprintf(stderr, "%s: the import did not finish within %u s\n", file.c_str(), kSecondsPerFile);
                ++failed;
            } else if (WIFSIGNALED(status)) {
                std::fprintf(stderr, "%s: the import crashed (signal %d, %s)\n", file.c_str(), WTERMSIG(status),
                             strsignal(WTERMSIG(status)));
                ++failed;
            } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                ++failed;
            }
        }
    }
    std::printf("replayed %d import inputs, %d failed\n", imported, failed);
    if (imported == 0) {
        std::fprintf(stderr, "no inputs found\n");
        return 1;
    }
    return failed == 0 ? 0 : 1;
}
