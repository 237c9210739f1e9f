// Mesh import in a child process; see isolated_import.h.
#include "isolated_import.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "errors.h"
#include "mesh_check.h"
#include "mesh_io.h"

namespace crumpletool {

namespace {

// The fuzzer steers by the coverage of the parent's code. How often the
// loops that wait on the child go round depends on timing (how the pipe hands
// over the reply, when the child ends), so they are kept out of that coverage
// and call only the C library, whose code has none; otherwise a fixed seed
// would not give the same runs twice.
#if defined(__clang__)
#define CRUMPLE_UNTRACED __attribute__((no_sanitize("coverage")))
#else
#define CRUMPLE_UNTRACED
#endif

CRUMPLE_UNTRACED long long NowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// What the child sends back: one tag byte, then the mesh or the message.
enum : char { kMesh = 'M', kRefused = 'E', kOutOfMemory = 'O' };

// A refusal longer than this is not one line a person reads.
constexpr size_t kMaxMessageBytes = 4096;

bool WriteAll(int fd, const void* data, size_t bytes) {
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t n = write(fd, p, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n, bytes -= static_cast<size_t>(n);
    }
    return true;
}

template <typename T>
bool WriteArray(int fd, const std::vector<T>& values) {
    const uint64_t n = values.size();
    return WriteAll(fd, &n, sizeof n) && WriteAll(fd, values.data(), n * sizeof(T));
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

enum class ReadEnd { kAll, kTimedOut, kTooLarge, kNoMemory };

// The reply's bytes, grown with realloc so that reading needs no code of ours.
struct ReplyBytes {
    char* bytes = nullptr;
    size_t size = 0, capacity = 0;
    ReplyBytes() = default;
    ReplyBytes(const ReplyBytes&) = delete;
    ReplyBytes& operator=(const ReplyBytes&) = delete;
    ~ReplyBytes() { std::free(bytes); }
};

// Reads the child's reply to its end, which comes before the child exits (it
// may write more than a pipe holds), unless the deadline passes or the reply
// grows past `cap`.
CRUMPLE_UNTRACED ReadEnd ReadReply(int fd, long long deadlineMs, size_t cap, ReplyBytes* reply) {
    for (;;) {
        const long long left = deadlineMs - NowMs();
        if (left <= 0) return ReadEnd::kTimedOut;
        pollfd p = {fd, POLLIN, 0};
        const int ready = poll(&p, 1, left < 1000 ? static_cast<int>(left) : 1000);
        if (ready < 0 && errno != EINTR) return ReadEnd::kAll;
        if (ready <= 0) continue;
        if (reply->size == reply->capacity) {
            // One byte past the cap is room enough to see the cap passed.
            if (reply->capacity > cap) return ReadEnd::kTooLarge;
            size_t grown = reply->capacity ? reply->capacity * 2 : size_t(1) << 16;
            if (grown > cap + 1 || grown < reply->capacity) grown = cap + 1;
            char* bytes = static_cast<char*>(std::realloc(reply->bytes, grown));
            if (bytes == nullptr) return ReadEnd::kNoMemory;
            reply->bytes = bytes, reply->capacity = grown;
        }
        const ssize_t n = read(fd, reply->bytes + reply->size, reply->capacity - reply->size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return reply->size > cap ? ReadEnd::kTooLarge : ReadEnd::kAll;
        reply->size += static_cast<size_t>(n);
    }
}

// Waits for the child, killing it once the deadline has passed. True when
// it had to be killed.
CRUMPLE_UNTRACED bool Reap(pid_t child, long long deadlineMs, int* status) {
    bool killed = false;
    for (;;) {
        const pid_t done = waitpid(child, status, killed ? 0 : WNOHANG);
        if (done == child) return killed;
        if (done < 0 && errno != EINTR) return killed;
        if (done == 0 && NowMs() >= deadlineMs) {
            kill(child, SIGKILL);
            killed = true;
        } else if (done == 0) {
            usleep(1000);
        }
    }
}

class Reply {
public:
    explicit Reply(const ReplyBytes& data) : data_(data) {}
    template <typename T>
    bool Array(std::vector<T>* values) {
        uint64_t n = 0;
        if (!Raw(&n, sizeof n) || n > (data_.size - at_) / sizeof(T)) return false;
        values->resize(static_cast<size_t>(n));
        return Raw(values->data(), static_cast<size_t>(n) * sizeof(T));
    }
    bool Raw(void* out, size_t bytes) {
        if (bytes > data_.size - at_) return false;
        if (bytes) std::memcpy(out, data_.bytes + at_, bytes);
        at_ += bytes;
        return true;
    }
    bool AtEnd() const { return at_ == data_.size; }
    std::string Rest() const { return std::string(data_.bytes + at_, data_.size - at_); }

private:
    const ReplyBytes& data_;
    size_t at_ = 0;
};

[[noreturn]] void RunChild(int fd, const std::string& path, const ImportLimits& limits, ImportWorker worker) {
    // The parent gives the one line; what the mesh library (or a sanitizer
    // stopping it) prints on the way down would only bury it.
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, STDERR_FILENO);
    // A child left behind by a parent that was stopped would run on alone.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (kImportMemoryIsBounded) {
        const rlimit memory = {limits.memoryBytes, limits.memoryBytes};
        setrlimit(RLIMIT_AS, &memory);
    }
    const std::string what = "mesh '" + path + "'";
    bool sent = false;
    try {
        sent = worker(fd, path);
    } catch (const InputError& e) {
        sent = SendRefusal(fd, e.what());
    } catch (const std::bad_alloc&) {
        const char tag = kOutOfMemory;
        sent = WriteAll(fd, &tag, 1);
    } catch (const std::exception& e) {
        sent = SendRefusal(fd, what + ": cannot be read (" + e.what() + ")");
    } catch (...) {
        sent = SendRefusal(fd, what + ": cannot be read (the mesh library failed)");
    }
    close(fd);
    // Skip the parent's exit handlers and buffers, which the child shares.
    _exit(sent ? 0 : 2);
}

}  // namespace

bool SendMesh(int reply, const MeshArrays& mesh) {
    const char tag = kMesh, narrow = mesh.indices16 ? 1 : 0;
    return WriteAll(reply, &tag, 1) && WriteAll(reply, &narrow, 1) && WriteArray(reply, mesh.positions) &&
           WriteArray(reply, mesh.normals) && WriteArray(reply, mesh.texCoords0) &&
           WriteArray(reply, mesh.texCoords1) && WriteArray(reply, mesh.texCoords2) &&
           WriteArray(reply, mesh.colors) && WriteArray(reply, mesh.indices);
}

bool SendRefusal(int reply, const std::string& message) {
    std::string line = message.substr(0, kMaxMessageBytes);
    std::replace_if(line.begin(), line.end(), IsControl, ' ');
    const char tag = kRefused;
    return WriteAll(reply, &tag, 1) && WriteAll(reply, line.data(), line.size());
}

bool ImportAndSend(int reply, const std::string& path) { return SendMesh(reply, ImportMesh(path)); }

MeshArrays ImportMeshIsolated(const std::string& path, const ImportLimits& limits, ImportWorker worker) {
    const std::string what = "mesh '" + path + "'";
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw InputError(what + ": cannot start the import (" + std::strerror(errno) + ")");
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]), close(fds[1]);
        throw InputError(what + ": cannot start the import (" + std::strerror(errno) + ")");
    }
    if (child == 0) {
        close(fds[0]);
        RunChild(fds[1], path, limits, worker);
    }
    close(fds[1]);
    const long long deadline = NowMs() + 1000LL * limits.seconds;
    // No sound mesh the child could have made is larger than its memory.
    const size_t cap = limits.memoryBytes;
    ReplyBytes data;
    const ReadEnd end = ReadReply(fds[0], deadline, cap, &data);
    close(fds[0]);
    if (end != ReadEnd::kAll) kill(child, SIGKILL);
    int status = 0;
    const bool killed = Reap(child, deadline, &status) || end == ReadEnd::kTimedOut;

    const std::string tooLong = what + ": the import took longer than " + std::to_string(limits.seconds) + " s";
    if (end == ReadEnd::kTooLarge)
        throw InputError(what + ": the import's result was damaged (more than " + std::to_string(cap >> 20) + " MB)");
    if (end == ReadEnd::kNoMemory)
        throw InputError(what + ": there is not the memory to take the import's result (" +
                         std::to_string(data.size >> 20) + " MB read)");
    if (killed) throw InputError(tooLong);
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        if (signal == SIGKILL) throw InputError(what + ": the import was killed (signal 9, most likely out of memory)");
        throw InputError(what + ": the mesh library failed on this file (signal " + std::to_string(signal) + ", " +
                         strsignal(signal) + ")");
    }
    if (data.size == 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        // A sanitizer stops the child with status 1 after a report that
        // went nowhere (the child's errors are silenced).
        throw InputError(what + ": the import ended without a result (exit status " +
                         std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")");
    Reply reply(data);
    char tag = 0;
    reply.Raw(&tag, 1);
    const std::string damaged = what + ": the import's result was damaged";
    if (tag == kRefused) {
        // Only the child's own kind of line is passed on.
        const std::string message = reply.Rest();
        if (message.compare(0, what.size() + 2, what + ": ") != 0 || message.size() > kMaxMessageBytes ||
            std::any_of(message.begin(), message.end(), IsControl))
            throw InputError(damaged);
        throw InputError(message);
    }
    if (tag == kOutOfMemory) {
        if (!reply.AtEnd()) throw InputError(damaged);
        throw InputError(what + ": needs more than the " + std::to_string(limits.memoryBytes >> 20) +
                         " MB an import may use");
    }
    MeshArrays mesh;
    char narrow = 0;
    if (tag != kMesh || !reply.Raw(&narrow, 1) || (narrow != 0 && narrow != 1) || !reply.Array(&mesh.positions) ||
        !reply.Array(&mesh.normals) || !reply.Array(&mesh.texCoords0) || !reply.Array(&mesh.texCoords1) ||
        !reply.Array(&mesh.texCoords2) || !reply.Array(&mesh.colors) || !reply.Array(&mesh.indices) ||
        !reply.AtEnd())
        throw InputError(damaged);
    mesh.indices16 = narrow != 0;
    const std::string problem = MeshProblem(mesh);
    if (!problem.empty()) throw InputError(what + ": the import's result is not a sound mesh (" + problem + ")");
    return mesh;
}

}  // namespace crumpletool
