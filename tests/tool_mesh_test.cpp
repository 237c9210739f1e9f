// Mesh import from files Assimp reads, the index width chosen by size, the
// used part of a working object, and the glTF export read back.
#include <gtest/gtest.h>

#include <algorithm>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include "errors.h"
#include "mesh_io.h"
#include "tool_test_support.h"

using namespace crumpletool;

namespace {

const char* const kCubeObj =
    "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
    "f 1 3 2\nf 1 4 3\nf 5 6 7\nf 5 7 8\nf 1 2 6\nf 1 6 5\nf 4 8 7\nf 4 7 3\nf 2 3 7\nf 2 7 6\nf 1 5 8\nf 1 8 4\n";

// A flat (n + 1) x (n + 1) grid as little-endian binary PLY.
void WriteGridPly(const std::string& path, int n) {
    const int vertices = (n + 1) * (n + 1);
    std::ofstream out(path, std::ios::binary);
    out << "ply\nformat binary_little_endian 1.0\nelement vertex " << vertices
        << "\nproperty float x\nproperty float y\nproperty float z\nelement face " << 2 * n * n
        << "\nproperty list uchar int vertex_indices\nend_header\n";
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const float p[3] = {float(i), 0.0f, float(j)};
            out.write(reinterpret_cast<const char*>(p), sizeof(p));
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i, b = a + 1, c = a + n + 1, d = c + 1;
            const int faces[2][3] = {{a, c, b}, {b, c, d}};
            for (const auto& face : faces) {
                const unsigned char three = 3;
                out.write(reinterpret_cast<const char*>(&three), 1);
                out.write(reinterpret_cast<const char*>(face), sizeof(face));
            }
        }
}

std::string ImportError(const std::string& path) {
    try {
        ImportMesh(path);
    } catch (const InputError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(ToolMesh, ImportsObjPlyAndStlAsOneIndexedTriangleMesh) {
    tooltest::ScratchDir dir;
    tooltest::WriteText(dir / "cube.obj", kCubeObj);
    const MeshArrays obj = ImportMesh(dir / "cube.obj");
    EXPECT_EQ(obj.positions.size(), 8u);
    EXPECT_EQ(obj.indices.size(), 36u);
    EXPECT_TRUE(obj.indices16);
    EXPECT_EQ(obj.normals.size(), 8u);  // made smooth: the file has none
    EXPECT_EQ(obj.texCoords0.size(), 8u);
    EXPECT_TRUE(obj.colors.empty());  // left for the channel to make
    for (const D3DXVECTOR3& n : obj.normals) EXPECT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1.0f, 1e-4f);

    // Colours become ARGB with the red byte where the channel reads it.
    tooltest::WriteText(dir / "tri.ply",
                        "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
                        "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n"
                        "element face 1\nproperty list uchar int vertex_indices\nend_header\n"
                        "0 0 0 200 10 0 255\n1 0 0 40 20 3 128\n0 1 0 0 0 255 255\n3 0 1 2\n");
    const MeshArrays ply = ImportMesh(dir / "tri.ply");
    ASSERT_EQ(ply.colors.size(), 3u);
    EXPECT_EQ(ply.colors[0], 0xFFC80A00u);
    EXPECT_EQ(ply.colors[1], 0x80281403u);
    EXPECT_EQ(ply.colors[2], 0xFF0000FFu);
    EXPECT_EQ(ply.indices, (std::vector<uint32_t>{0, 1, 2}));

    tooltest::WriteText(dir / "two.stl",
                        "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\n"
                        "endfacet\nfacet normal 0 0 1\nouter loop\nvertex 1 0 0\nvertex 1 1 0\nvertex 0 1 0\nendloop\n"
                        "endfacet\nendsolid t\n");
    const MeshArrays stl = ImportMesh(dir / "two.stl");
    EXPECT_EQ(stl.positions.size(), 4u);  // shared corners joined
    EXPECT_EQ(stl.indices.size(), 6u);
}

TEST(ToolMesh, MeshesTooLargeFor16BitIndicesGet32BitOnes) {
    tooltest::ScratchDir dir;
    WriteGridPly(dir / "fits.ply", 255);  // 65536 vertices: numbers 0 to 65535
    const MeshArrays fits = ImportMesh(dir / "fits.ply");
    EXPECT_EQ(fits.positions.size(), 65536u);
    EXPECT_TRUE(fits.indices16);

    WriteGridPly(dir / "large.ply", 260);  // 68121 vertices
    const MeshArrays large = ImportMesh(dir / "large.ply");
    EXPECT_EQ(large.positions.size(), 68121u);
    EXPECT_FALSE(large.indices16);
    EXPECT_EQ(large.indices.size(), 3u * 2 * 260 * 260);
    EXPECT_EQ(*std::max_element(large.indices.begin(), large.indices.end()), 68120u);
}

TEST(ToolMesh, UnreadableFilesAndFilesWithoutTrianglesAreRefusedByName) {
    tooltest::ScratchDir dir;
    EXPECT_NE(ImportError(dir / "none.obj").find("none.obj': no such file"), std::string::npos);
    EXPECT_NE(ImportError(dir.path().string()).find("not a regular file"), std::string::npos);
    tooltest::WriteText(dir / "junk.stl", std::string(3000, '\x7f'));
    EXPECT_NE(ImportError(dir / "junk.stl").find("junk.stl': cannot be read"), std::string::npos);
    tooltest::WriteText(dir / "lines.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nl 1 2\nl 2 3\n");
    EXPECT_NE(ImportError(dir / "lines.obj").find("lines.obj': holds no triangles"), std::string::npos);
    for (const char* name : {"none.obj", "junk.stl", "lines.obj"})
        EXPECT_EQ(ImportError(dir / name).find('\n'), std::string::npos);
}

TEST(ToolMesh, UsedPartExportsAsGlbThatReadsBack) {
    // A working object: three used vertices of five, one used triangle of two
    // (plus a stray index that does not complete a triangle).
    MeshArrays mesh;
    mesh.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {9, 9, 9}, {8, 8, 8}};
    mesh.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {1, 0, 0}, {1, 0, 0}};
    mesh.texCoords0 = {{0, 0}, {1, 0}, {0, 1}, {0, 0}, {0, 0}};
    mesh.texCoords1 = mesh.texCoords0;
    mesh.colors = {0xFF102030u, 0x80FF0000u, 0x00000000u, 0xFFFFFFFFu, 0xFFFFFFFFu};
    mesh.indices = {0, 1, 2, 3, 4, 3};
    auto object = Vexa_ObjectData::FromArrays(mesh);
    const MeshArrays used = UsedPart(*object, 3, 4);
    EXPECT_EQ(used.positions.size(), 3u);
    EXPECT_EQ(used.colors.size(), 3u);
    EXPECT_EQ(used.indices, (std::vector<uint32_t>{0, 1, 2}));

    tooltest::ScratchDir dir;
    ExportGlb(used, dir / "used.glb");
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(dir / "used.glb", 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    ASSERT_EQ(scene->mNumMeshes, 1u);
    const aiMesh* read = scene->mMeshes[0];
    EXPECT_EQ(read->mNumVertices, 3u);
    EXPECT_EQ(read->mNumFaces, 1u);
    ASSERT_TRUE(read->HasNormals());
    EXPECT_FLOAT_EQ(read->mNormals[1].z, 1.0f);
    ASSERT_TRUE(read->HasTextureCoords(0));
    ASSERT_TRUE(read->HasVertexColors(0));
    // ARGB 0x80FF0000: red 1, alpha 128/255.
    EXPECT_NEAR(read->mColors[0][1].r, 1.0f, 1e-3f);
    EXPECT_NEAR(read->mColors[0][1].a, 128.0f / 255.0f, 1e-3f);
    EXPECT_NEAR(read->mColors[0][0].b, 0x30 / 255.0f, 1e-3f);

    // An index beyond the used vertices cannot be exported.
    MeshArrays broken = used;
    broken.indices[2] = 3;
    EXPECT_THROW(ExportGlb(broken, dir / "broken.glb"), OutputError);
}
