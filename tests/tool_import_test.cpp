// Mesh import: the PLY header grammar checked in front of the readers, files
// the readers take, and the child process as the boundary. Whatever the child
// does (crash, hang, run out of memory, die in a sanitizer, send a damaged or
// unsound reply), the caller gets one line naming the file and carries on.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "errors.h"
#include "isolated_import.h"
#include "mesh_check.h"
#include "mesh_io.h"

using namespace crumpletool;

namespace {

std::string ScratchPath(const std::string& name) {
    return ::testing::TempDir() + "/import_" + std::to_string(::getpid()) + "_" + name;
}

struct Outcome {
    bool imported = false;
    std::string error;
    MeshArrays mesh;
};

Outcome Import(const std::string& name, const std::string& bytes) {
    const std::string path = ScratchPath(name);
    std::ofstream(path, std::ios::binary) << bytes;
    Outcome outcome;
    try {
        outcome.mesh = ImportMesh(path);
        outcome.imported = true;
    } catch (const InputError& e) {
        outcome.error = e.what();
    }
    std::remove(path.c_str());
    return outcome;
}

const std::string kTriangleBody =
    "element vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
    "element face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";

MeshArrays SoundTriangle() {
    MeshArrays m;
    m.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    m.normals.assign(3, D3DXVECTOR3(0, 0, 1));
    m.texCoords0.assign(3, D3DXVECTOR2(0, 0));
    m.indices = {0, 1, 2};
    m.indices16 = true;
    return m;
}

size_t OpenDescriptors() {
    size_t n = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++n;
        closedir(dir);
    }
    return n;
}

bool Raw(int fd, const std::string& bytes) { return write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()); }

std::string Count(uint64_t n) { return std::string(reinterpret_cast<const char*>(&n), sizeof n); }

// Workers standing in for a mesh library gone wrong.
bool Aborts(int, const std::string&) { std::abort(); }
bool Segfaults(int, const std::string&) {
    std::signal(SIGSEGV, SIG_DFL);  // as a build without a sanitizer's handler
    std::raise(SIGSEGV);
    return false;
}
bool Hangs(int, const std::string&) {
    for (;;) pause();
}
bool ClosesThenHangs(int reply, const std::string&) {
    close(reply);
    for (;;) pause();
}
bool EatsMemory(int, const std::string&) {
    std::vector<std::vector<char>> held;
    for (;;) held.emplace_back(size_t(64) << 20, '\1');
}
bool DiesInASanitizer(int, const std::string&) {
    std::fprintf(stderr, "==1==ERROR: AddressSanitizer: heap-buffer-overflow on address 0x1\n");
    _exit(1);
}
bool SendsNothing(int, const std::string&) { return true; }
bool Truncated(int reply, const std::string&) { return Raw(reply, "M\1" + Count(3) + std::string(20, '\0')); }
bool Garbage(int reply, const std::string&) { return Raw(reply, "M\1" + Count(uint64_t(1) << 40) + "xyz"); }
bool UnknownTag(int reply, const std::string&) { return Raw(reply, "Zebra"); }
bool TrailingByte(int reply, const std::string&) { return SendMesh(reply, SoundTriangle()) && Raw(reply, "!"); }
bool Endless(int reply, const std::string&) {
    static const char block[1 << 16] = {};
    for (;;)
        if (write(reply, block, sizeof block) <= 0) return false;
}
bool IndexPastVertices(int reply, const std::string&) {
    MeshArrays m = SoundTriangle();
    m.indices[2] = 7;
    return SendMesh(reply, m);
}
bool NanNormal(int reply, const std::string&) {
    MeshArrays m = SoundTriangle();
    m.normals[1].y = std::numeric_limits<float>::quiet_NaN();
    return SendMesh(reply, m);
}
bool TwoLineRefusal(int reply, const std::string& path) { return Raw(reply, "Emesh '" + path + "': one\nforged line"); }
bool ForeignRefusal(int reply, const std::string&) { return Raw(reply, "Ecrumple: all is well"); }
bool OutOfMemoryTag(int reply, const std::string&) { return Raw(reply, "O"); }
bool ThrowsBadAlloc(int, const std::string&) { throw std::bad_alloc(); }
bool ThrowsOther(int, const std::string&) { throw std::logic_error("deep inside"); }

}  // namespace

TEST(ToolPlyHeader, OnlyTheMagicLineAndTheHeaderEndAreRequired) {
    const struct {
        const char* name;
        std::string bytes;
        const char* expected;
    } refused[] = {
        {"open.ply", "ply\nformat ascii 1.0\n", "has no end_header line within its first 64 KiB"},
        {"late.ply", "ply\nformat ascii 1.0\n" + std::string(70000, ' ') + "\nend_header\n",
         "has no end_header line within"},
        {"vtab.ply", "ply\nformat ascii 1.0\nend_header\v0\n", "has no end_header line"},
        {"magic.ply", "plyshort\nformat ascii 1.0\nend_header\n", "first line is not 'ply'"},
        {"blank.ply", "\nply\nformat ascii 1.0\nend_header\n", "first line is not 'ply'"},
        {"name.ply", "solid x\nend_header\n", "first line is not 'ply'"},
        // Checked by its first bytes whatever the file is called.
        {"named.obj", "ply format ascii 1.0\nend_header\n", "first line is not 'ply'"},
    };
    for (const auto& c : refused) {
        const Outcome outcome = Import(c.name, c.bytes);
        EXPECT_FALSE(outcome.imported) << c.name;
        EXPECT_NE(outcome.error.find(std::string(c.name) + "': the PLY header"), std::string::npos) << outcome.error;
        EXPECT_NE(outcome.error.find(c.expected), std::string::npos) << c.name << ": " << outcome.error;
    }

    // Lines PLY does not define are the reader's business: an old exporter
    // wrote its name before the first element.
    const std::string blender = "ply\nformat ascii 1.0\n"
                                "Created by Blender3D 247 - www.blender.org, source file: 'hull.blend'\n";
    for (const std::string& bytes : {blender + kTriangleBody, "ply\r\nformat ascii 1.0\r\n" + kTriangleBody,
                                     "ply\nformat ascii 1.0\ncomment x\nobj_info y\n" + kTriangleBody}) {
        const Outcome outcome = Import("taken.ply", bytes);
        EXPECT_TRUE(outcome.imported) << outcome.error;
        EXPECT_EQ(outcome.mesh.positions.size(), 3u);
    }
}

TEST(ToolImportReaders, OpenGexIsRead) {
    const Outcome outcome = Import("triangle.ogex", R"(
Metric (key = "distance") {float {1.0}}
GeometryNode $node1 {Name {string {"hull"}} ObjectRef {ref {$geometry1}}}
GeometryObject $geometry1 {
  Mesh (primitive = "triangles") {
    VertexArray (attrib = "position") {float[3] {{0.0, 0.0, 0.0}, {1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}}}
    IndexArray {unsigned_int32[3] {{0, 1, 2}}}
  }
}
)");
    ASSERT_TRUE(outcome.imported) << outcome.error;
    EXPECT_EQ(outcome.mesh.positions.size(), 3u);
    EXPECT_EQ(outcome.mesh.indices.size(), 3u);
}

TEST(ToolMeshCheck, NamesWhatTheChannelCannotTake) {
    const MeshArrays sound = SoundTriangle();
    EXPECT_EQ(MeshProblem(sound), "");
    const struct {
        void (*spoil)(MeshArrays&);
        const char* expected;
    } cases[] = {
        {[](MeshArrays& m) { m.indices.clear(); }, "without vertices or triangles"},
        {[](MeshArrays& m) { m.indices.push_back(0); }, "not whole triangles"},
        {[](MeshArrays& m) { m.indices[1] = 3; }, "index 3 at 1 not below 3 vertices"},
        {[](MeshArrays& m) { m.indices16 = false; }, "index width"},
        {[](MeshArrays& m) { m.normals.pop_back(); }, "normals or texture set 0"},
        {[](MeshArrays& m) { m.colors = {0u, 0u}; }, "colours neither absent nor one per vertex"},
        {[](MeshArrays& m) { m.positions[2].z = std::numeric_limits<float>::infinity(); }, "not finite"},
        {[](MeshArrays& m) { m.texCoords2.assign(3, D3DXVECTOR2(0, std::nanf(""))); }, "not finite"},
    };
    for (const auto& c : cases) {
        MeshArrays m = sound;
        c.spoil(m);
        EXPECT_NE(MeshProblem(m).find(c.expected), std::string::npos) << c.expected << ": " << MeshProblem(m);
    }
}

TEST(ToolIsolatedImport, EveryWayTheChildFailsIsOneLineAndLeavesTheCallerWhole) {
    const std::string path = ScratchPath("hull.ply");
    std::ofstream(path, std::ios::binary) << "ply\nformat ascii 1.0\n" + kTriangleBody;
    const size_t descriptors = OpenDescriptors();

    ImportLimits quick;
    quick.seconds = 1;
    quick.memoryBytes = size_t(256) << 20;
    // Room to send more than its memory, which the pipe passes at its own pace.
    ImportLimits slowPipe = quick;
    slowPipe.seconds = 30;
    slowPipe.memoryBytes = size_t(16) << 20;
    const struct {
        ImportWorker worker;
        const char* expected;
        const ImportLimits* limits = nullptr;  // nullptr: quick
    } cases[] = {
        {Aborts, "the mesh library failed on this file (signal 6"},
        {Segfaults, "the mesh library failed on this file (signal 11"},
        {Hangs, "the import took longer than 1 s"},
        {ClosesThenHangs, "the import took longer than 1 s"},
        {DiesInASanitizer, "the import ended without a result (exit status 1)"},
        {SendsNothing, "the import ended without a result (exit status 0)"},
        {Truncated, "the import's result was damaged"},
        {Garbage, "the import's result was damaged"},
        {UnknownTag, "the import's result was damaged"},
        {TrailingByte, "the import's result was damaged"},
        {Endless, "the import's result was damaged (more than 16 MB)", &slowPipe},
        {TwoLineRefusal, "the import's result was damaged"},
        {ForeignRefusal, "the import's result was damaged"},
        {IndexPastVertices, "not a sound mesh (index 7 at 2 not below 3 vertices)"},
        {NanNormal, "not a sound mesh (a position, normal or texture coordinate that is not finite)"},
        {OutOfMemoryTag, "needs more than the 256 MB an import may use"},
        {ThrowsBadAlloc, "needs more than the 256 MB an import may use"},
        {ThrowsOther, "cannot be read (deep inside)"},
    };
    for (const auto& c : cases) {
        ::testing::internal::CaptureStderr();
        std::string error;
        try {
            ImportMeshIsolated(path, c.limits ? *c.limits : quick, c.worker);
        } catch (const InputError& e) {
            error = e.what();
        }
        // What the child printed went nowhere; the one line is the caller's.
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << c.expected;
        EXPECT_EQ(error.rfind("mesh '" + path + "': ", 0), 0u) << error;
        EXPECT_NE(error.find(c.expected), std::string::npos) << c.expected << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << c.expected << ": a child was left behind";
        EXPECT_EQ(OpenDescriptors(), descriptors) << c.expected;
    }

    // And the next import still works, giving what the reader gives in-process.
    const MeshArrays isolated = ImportMeshIsolated(path);
    const MeshArrays direct = ImportMesh(path);
    EXPECT_EQ(isolated.positions.size(), 3u);
    EXPECT_EQ(isolated.indices, direct.indices);
    EXPECT_EQ(0, std::memcmp(isolated.positions.data(), direct.positions.data(), 3 * sizeof(D3DXVECTOR3)));
    EXPECT_EQ(0, std::memcmp(isolated.normals.data(), direct.normals.data(), 3 * sizeof(D3DXVECTOR3)));
    std::remove(path.c_str());
}

TEST(ToolIsolatedImport, AChildThatExhaustsItsMemoryIsRefused) {
    if (!kImportMemoryIsBounded) GTEST_SKIP() << "the child's address space is not bounded under AddressSanitizer";
    ImportLimits small;
    small.memoryBytes = size_t(512) << 20;
    std::string error;
    try {
        ImportMeshIsolated(ScratchPath("any.ply"), small, EatsMemory);
    } catch (const InputError& e) {
        error = e.what();
    }
    EXPECT_NE(error.find("needs more than the 512 MB an import may use"), std::string::npos) << error;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}
