// Mesh import in a child process; see isolated_import.h.
#include "isolated_import.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "errors.h"
#include "mesh_io.h"

#if defined(__SANITIZE_ADDRESS__)
#define CRUMPLE_TOOL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CRUMPLE_TOOL_ASAN 1
#endif
#endif
#ifndef CRUMPLE_TOOL_ASAN
#define CRUMPLE_TOOL_ASAN 0
#endif

namespace crumpletool {

namespace {

// What the child sends back: one tag byte, then the mesh or the message.
enum : char { kMesh = 'M', kRefused = 'E', kOutOfMemory = 'O' };

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

// Reads the child's reply to its end; the child may write more than a pipe
// holds, so this runs before waiting for it.
std::vector<char> ReadAll(int fd) {
    std::vector<char> data;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        data.insert(data.end(), buffer, buffer + n);
    }
    return data;
}

class Reply {
public:
    explicit Reply(const std::vector<char>& data) : data_(data) {}
    template <typename T>
    bool Array(std::vector<T>* values) {
        uint64_t n = 0;
        if (!Raw(&n, sizeof n) || n > (data_.size() - at_) / sizeof(T)) return false;
        values->resize(static_cast<size_t>(n));
        return Raw(values->data(), static_cast<size_t>(n) * sizeof(T));
    }
    bool Raw(void* out, size_t bytes) {
        if (bytes > data_.size() - at_) return false;
        if (bytes) std::memcpy(out, data_.data() + at_, bytes);
        at_ += bytes;
        return true;
    }
    std::string Rest() const { return std::string(data_.begin() + static_cast<long>(at_), data_.end()); }

private:
    const std::vector<char>& data_;
    size_t at_ = 0;
};

[[noreturn]] void RunChild(int fd, const std::string& path, const ImportLimits& limits) {
    // The parent gives the one line; what the mesh library (or a sanitizer
    // stopping it) prints on the way down would only bury it.
    const int quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, STDERR_FILENO);
    if (!CRUMPLE_TOOL_ASAN) {
        const rlimit memory = {limits.memoryBytes, limits.memoryBytes};
        setrlimit(RLIMIT_AS, &memory);
    }
    alarm(limits.seconds);
    bool sent = false;
    try {
        const MeshArrays mesh = ImportMesh(path);
        const char tag = kMesh, narrow = mesh.indices16 ? 1 : 0;
        sent = WriteAll(fd, &tag, 1) && WriteAll(fd, &narrow, 1) && WriteArray(fd, mesh.positions) &&
               WriteArray(fd, mesh.normals) && WriteArray(fd, mesh.texCoords0) && WriteArray(fd, mesh.texCoords1) &&
               WriteArray(fd, mesh.texCoords2) && WriteArray(fd, mesh.colors) && WriteArray(fd, mesh.indices);
    } catch (const InputError& e) {
        const char tag = kRefused;
        sent = WriteAll(fd, &tag, 1) && WriteAll(fd, e.what(), std::strlen(e.what()));
    } catch (const std::bad_alloc&) {
        const char tag = kOutOfMemory;
        sent = WriteAll(fd, &tag, 1);
    } catch (const std::exception& e) {
        const std::string message = "mesh '" + path + "': cannot be read (" + e.what() + ")";
        const char tag = kRefused;
        sent = WriteAll(fd, &tag, 1) && WriteAll(fd, message.data(), message.size());
    }
    close(fd);
    // Skip the parent's exit handlers and buffers, which the child shares.
    _exit(sent ? 0 : 2);
}

}  // namespace

MeshArrays ImportMeshIsolated(const std::string& path, const ImportLimits& limits) {
    const std::string what = "mesh '" + path + "'";
    int fds[2];
    if (pipe(fds) != 0) throw InputError(what + ": cannot start the import (" + std::strerror(errno) + ")");
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]), close(fds[1]);
        throw InputError(what + ": cannot start the import (" + std::strerror(errno) + ")");
    }
    if (child == 0) {
        close(fds[0]);
        RunChild(fds[1], path, limits);
    }
    close(fds[1]);
    const std::vector<char> data = ReadAll(fds[0]);
    close(fds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        if (signal == SIGALRM)
            throw InputError(what + ": the import took longer than " + std::to_string(limits.seconds) + " s");
        if (signal == SIGKILL) throw InputError(what + ": the import was killed (signal 9, most likely out of memory)");
        throw InputError(what + ": the mesh library failed on this file (signal " + std::to_string(signal) + ", " +
                         strsignal(signal) + ")");
    }
    if (data.empty() || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        // A sanitizer stops the child with status 1 after a report that
        // went nowhere (the child's errors are silenced).
        const char* note = CRUMPLE_TOOL_ASAN ? ", most likely stopped by a sanitizer" : "";
        throw InputError(what + ": the import ended without a result (exit status " +
                         std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + note + ")");
    }
    Reply reply(data);
    char tag = 0;
    reply.Raw(&tag, 1);
    if (tag == kRefused) throw InputError(reply.Rest());
    if (tag == kOutOfMemory)
        throw InputError(what + ": needs more than the " + std::to_string(limits.memoryBytes >> 20) +
                         " MB an import may use");
    MeshArrays mesh;
    char narrow = 0;
    if (tag != kMesh || !reply.Raw(&narrow, 1) || !reply.Array(&mesh.positions) || !reply.Array(&mesh.normals) ||
        !reply.Array(&mesh.texCoords0) || !reply.Array(&mesh.texCoords1) || !reply.Array(&mesh.texCoords2) ||
        !reply.Array(&mesh.colors) || !reply.Array(&mesh.indices))
        throw InputError(what + ": the import's result was damaged");
    mesh.indices16 = narrow != 0;
    return mesh;
}

}  // namespace crumpletool
