// Mesh files checked before Assimp reads them: PLY headers and OFF files
// that would hang or crash its readers or make them allocate what the file
// cannot hold, and COLLADA arrays its reader would read past, are refused
// with one line; sound files still import.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "errors.h"
#include "mesh_io.h"

using namespace crumpletool;

namespace {

struct Outcome {
    bool imported = false;
    std::string error;
    size_t vertices = 0;
};

Outcome Import(const std::string& name, const std::string& bytes) {
    const std::string path = ::testing::TempDir() + "/header_" + std::to_string(::getpid()) + "_" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    Outcome outcome;
    try {
        outcome.vertices = ImportMesh(path).positions.size();
        outcome.imported = true;
    } catch (const InputError& e) {
        outcome.error = e.what();
    }
    std::remove(path.c_str());
    return outcome;
}

const std::string kAsciiHead =
    "ply\nformat ascii 1.0\ncomment made by hand\nelement vertex 3\nproperty float x\nproperty float y\n"
    "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n";

std::string Binary(uint32_t vertices, size_t dataBytes) {
    return "ply\r\nformat binary_little_endian 1.0\r\nelement vertex " + std::to_string(vertices) +
           "\r\nproperty float x\r\nproperty float y\r\nproperty float z\r\nend_header\r\n" +
           std::string(dataBytes, '\0');
}

}  // namespace

TEST(ToolPlyCheck, HeadersThatAssimpCannotBeTrustedWithAreRefused) {
    const struct {
        const char* name;
        std::string bytes;
        const char* expected;
    } refused[] = {
        // Both once hung or crashed the reader.
        {"open.ply", "ply\nformat ascii 1.0\n", "has no end_header line"},
        {"cut.ply", std::string("ply\nformat binary_li\xff\x00\x80\x03\x00\x00\x00", 27), "has no end_header line"},
        {"late.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n" + std::string(70000, ' ') +
                         "\nend_header\n0\n", "has no end_header line"},
        // The reader reads on from the fourth byte: these hung or crashed it.
        {"magic.ply", "plyshort\nformat ascii 1.0\nelement vertex 1\nproperty float x\nend_header\n0\n",
         "first line is not 'ply'"},
        {"magic2.ply", std::string("ply\xff\nformat ascii 1.0\nend_header\n"), "first line is not 'ply'"},
        // The reader skips one leading line end; this one then hung it.
        {"blank.ply", "\nply\nformat binary_little_endian 1\t\t\t\t\tfloat \r\n\n\n\n", "first line is not 'ply'"},
        {"blank.mesh", "\r\nply\nformat ascii 1.0\nend_header\n", "first line is not 'ply'"},
        {"name.ply", "solid x\nend_header\n", "first line is not 'ply'"},
        // "end_header" and a vertical tab: the reader never saw the header end.
        {"vtab.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nend_header\v0\n",
         "has a control character in a line"},
        // The second element of a kind was written past the first's arrays.
        {"twice.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nelement vertex 1\n"
                      "property float x\nend_header\n0\n0\n", "declares the element 'vertex' twice"},
        {"strips.ply", "ply\nformat ascii 1.0\nelement face 0\nproperty list uchar int vertex_indices\n"
                       "element tristrips 0\nproperty list int int vertex_indices\nend_header\n",
         "both 'face' and 'tristrips'"},
        {"format.ply", "ply\nformat binary_middle_endian 1.0\nend_header\n", "names no known format"},
        {"noformat.ply", "ply\nelement vertex 0\nend_header\n", "names no format"},
        {"type.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty quad x\nend_header\n0\n", "unknown type"},
        {"listtype.ply", "ply\nformat ascii 1.0\nelement f 1\nproperty list uchar vec3 i\nend_header\n0\n",
         "unknown type"},
        {"orphan.ply", "ply\nformat ascii 1.0\nproperty float x\nend_header\n", "a property before any element"},
        {"bare.ply", "ply\nformat ascii 1.0\nelement vertex 5\nend_header\n", "'vertex' has a count but no properties"},
        {"word.ply", "ply\nformat ascii 1.0\nelemnt vertex 1\nend_header\n", "not PLY's: 'elemnt'"},
        {"count.ply", "ply\nformat ascii 1.0\nelement vertex -3\nproperty float x\nend_header\n",
         "without a name and a count"},
        {"digits.ply", Binary(0, 0).replace(Binary(0, 0).find(" 0\r"), 2, " 99999999999999999999999"),
         "declares too many 'vertex' elements"},
        // 3 vertices of 12 bytes cannot fit in 35.
        {"short.ply", Binary(3, 35), "declares 3 'vertex' elements, more than the file's 35 bytes"},
        // Two values per element at least one character and a separator each.
        {"text.ply", "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\nend_header\n"
                     "0 0 0 0 0 0 0\n", "declares 4 'vertex' elements, more than the file's 14 bytes"},
        // Checked by its first word whatever the file is called.
        {"named.obj", Binary(2000000000, 64), "declares 2000000000 'vertex' elements"},
    };
    for (const auto& c : refused) {
        const Outcome outcome = Import(c.name, c.bytes);
        EXPECT_FALSE(outcome.imported) << c.name;
        EXPECT_NE(outcome.error.find(std::string(c.name) + "': the PLY"), std::string::npos) << outcome.error;
        EXPECT_NE(outcome.error.find(c.expected), std::string::npos) << c.name << ": " << outcome.error;
    }

    // Sound files, the tightest text and a binary file of exactly its data.
    const Outcome text = Import("tight.ply", kAsciiHead + "0 0 0\n1 0 0\n0 1 0\n3 0 1 2");
    EXPECT_TRUE(text.imported) << text.error;
    EXPECT_EQ(text.vertices, 3u);
    std::string binary = "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                         "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n";
    const float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    const int32_t face[3] = {0, 1, 2};
    binary.append(reinterpret_cast<const char*>(corners), sizeof corners);
    binary.push_back('\x03');
    binary.append(reinterpret_cast<const char*>(face), sizeof face);
    const Outcome exact = Import("exact.ply", binary);
    EXPECT_TRUE(exact.imported) << exact.error;
    EXPECT_EQ(exact.vertices, 3u);
}

TEST(ToolOffCheck, CountsAndLinesTheReaderWouldMisreadAreRefused) {
    const std::string faces = "3 0 1 2\n3 0 2 3\n";
    const std::string square = "0 0 0\n1 0 0\n1 1 0\n0 1 0\n" + faces;
    const std::string corners = "0 0 0\n1 0 0\n1 1 0\n0 1 0\n";
    const struct {
        const char* name;
        std::string bytes;
        const char* expected;  // nullptr: imports with 4 vertices
    } cases[] = {
        // Once asked for 37 GB before reading a vertex.
        {"huge.off", "OFF\n8888888888888884 2 0\n" + square, "the OFF header declares too many vertices and 2 faces"},
        {"many.off", "OFF\n1000 2 0\n" + square, "the OFF header declares 1000 vertices and 2 faces, more than the file's"},
        {"faces.off", "OFF\n4 100000 0\n" + square, "the OFF header declares 4 vertices and 100000 faces"},
        // The reader reads a count past 2^32 modulo 2^32: here as 4.
        {"wrapped.off", "OFF\n4294967300 2 0\n" + square, "declares 4294967300 vertices"},
        {"comment.off", "OFF # a square\n# counts next\n4 2 0\n" + square, nullptr},
        {"plain.off", "OFF\n4 2 0\n" + square, nullptr},
        {"blank_lines.off", "OFF\r\n4 2 0\r\n\r\n" + corners + "\n\n" + faces, nullptr},
        {"bom.off", "\xEF\xBB\xBFOFF\n4 2 0\n" + square, nullptr},
        // Checked by its first word whatever the file is called.
        {"coloured.mesh", "COFF\n50 2 0\n" + square, "declares 50 vertices"},
        // Each line the reader cannot take as a face once counted its face
        // count down, past zero: the next step then walked 4 billion faces.
        {"words.off", "OFF\n4 2 0\n" + corners + "3 0 1 2\n quads and one\nv 0 0 0\nv 1 0 0\nv 1 1 0\n",
         "the OFF file's line for face 1 does not start with a corner count from 1 to 9"},
        {"decagon.off", "OFF\n4 1 0\n" + corners + "10 0 1 2 3 0 1 2 3 0 1\n", "face 0 does not start with a corner"},
        {"comment_face.off", "OFF\n4 2 0\n" + corners + "# faces\n" + faces, "line for face 0 does not start"},
        // Clamped to the last vertex by the reader, without a word.
        {"index.off", "OFF\n4 2 0\n" + corners + "3 0 1 7\n3 0 2 3\n", "the OFF file's face 0 names vertex 7 of 4"},
        {"short_face.off", "OFF\n4 2 0\n" + corners + "3 0 1 2\n3 0 2\n", "face 1 has fewer than its 3 vertex indices"},
        {"few_faces.off", "OFF\n4 3 0\n" + square + "\n\n\n", "the OFF file ends after 2 of its 3 faces"},
        {"zero_byte.off", "OFF\n4 2 0\n" + corners + "3 0 1 2\n" + std::string(1, '\0') + "3 0 2 3\n",
         "ends after 1 of its 2 faces"},
        {"few_vertices.off", "OFF\n6 1 0\n" + corners + "3 0 1 2\n" + std::string(30, '\n'),
         "the OFF file ends after 5 of its 6 vertices"},
        {"spaces_vertex.off", "OFF\n4 1 0\n" + corners.substr(0, 18) + "   \n3 0 1 2\n",
         "the OFF file's line for vertex 3 does not start with a number"},
        // A comment before the first vertex is the header's; one after it is
        // read as a vertex at the origin.
        {"comment_first.off", "OFF\n4 2 0\n# corners\n" + square, nullptr},
        {"comment_vertex.off", "OFF\n4 2 0\n0 0 0\n# more\n" + square.substr(6), "line for vertex 1 does not start"},
        // One byte past the reader's line buffer is written on such a line.
        {"long_line.off", "OFF\n4 2 0\n0 0 0" + std::string(5000, ' ') + "\n1 0 0\n1 1 0\n0 1 0\n" + faces,
         "line for vertex 0 is 5005 bytes long, more than the 4095"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Import(c.name, c.bytes);
        if (c.expected == nullptr) {
            EXPECT_TRUE(outcome.imported) << c.name << ": " << outcome.error;
            EXPECT_EQ(outcome.vertices, 4u) << c.name;
            continue;
        }
        EXPECT_FALSE(outcome.imported) << c.name;
        EXPECT_NE(outcome.error.find(std::string(c.name) + "': "), std::string::npos) << outcome.error;
        EXPECT_NE(outcome.error.find(c.expected), std::string::npos) << c.name << ": " << outcome.error;
    }
}

TEST(ToolColladaCheck, ArraysMustHoldTheirCountAndAccessorsStayInside) {
    const auto dae = [](const std::string& array, const std::string& accessor) {
        return "<?xml version=\"1.0\"?>\n"
               "<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" version=\"1.4.1\">\n"
               "<library_geometries><geometry id=\"g\"><mesh>\n<source id=\"p\">" + array +
               "\n<technique_common>" + accessor +
               "<param name=\"X\" type=\"float\"/><param name=\"Y\" type=\"float\"/><param name=\"Z\" "
               "type=\"float\"/></accessor></technique_common></source>\n"
               "<vertices id=\"v\"><input semantic=\"POSITION\" source=\"#p\"/></vertices>\n"
               "<triangles count=\"1\"><input semantic=\"VERTEX\" source=\"#v\" offset=\"0\"/><p>0 1 2</p></triangles>\n"
               "</mesh></geometry></library_geometries>\n<library_visual_scenes><visual_scene id=\"s\"><node id=\"n\">"
               "<instance_geometry url=\"#g\"/></node></visual_scene></library_visual_scenes>\n"
               "<scene><instance_visual_scene url=\"#s\"/></scene>\n</COLLADA>\n";
    };
    const std::string nine = "<float_array id=\"pa\" count=\"9\">0 0 0\n 1 0 0  0 1 0</float_array>";
    const std::string three = "<accessor source=\"#pa\" count=\"3\" stride=\"3\">";
    const Outcome sound = Import("sound.dae", dae(nine, three));
    EXPECT_TRUE(sound.imported) << sound.error;
    EXPECT_EQ(sound.vertices, 3u);

    const struct {
        std::string array, accessor;
        const char* expected;
    } refused[] = {
        // Both once crashed the reader: a count of 0, and one that is no number.
        {"<float_array id=\"pa\" count=\"0\">0 0 0 1 0 0 0 1 0</float_array>", three, "declares 0 values and holds 9"},
        {"<float_array id=\"pa\" count=\"#\">0 0 0 1 0 0 0 1 0</float_array>", three, "one that is not a number"},
        {"<float_array id=\"pa\">0 0 0 1 0 0 0 1 0</float_array>", three, "has no count"},
        {"<float_array id=\"pa\" count=\"10\">0 0 0 1 0 0 0 1 0</float_array>", three, "declares 10 values and holds 9"},
        {nine, "<accessor source=\"#pa\" count=\"4\" stride=\"3\">", "reads 4 x 3 values from 'pa', which holds 9"},
        {nine, "<accessor source=\"#pa\" count=\"3\" stride=\"3\" offset=\"1\">", "which holds 9"},
        {nine, "<accessor source=\"#pa\" count=\"1\" stride=\"99999999999999999999\">", "which holds 9"},
        {nine, "<accessor source=\"#pa\" count=\"3\" stride=\"-3\">", "stride is not a number"},
    };
    for (const auto& c : refused) {
        const Outcome outcome = Import("bad.dae", dae(c.array, c.accessor));
        EXPECT_FALSE(outcome.imported) << c.array << c.accessor;
        EXPECT_NE(outcome.error.find("bad.dae': a COLLADA"), std::string::npos) << outcome.error;
        EXPECT_NE(outcome.error.find(c.expected), std::string::npos) << c.expected << ": " << outcome.error;
    }
}

// The OpenGEX reader reads past its buffer on a few bytes of damaged text
// (a sanitizer build reports it), and Assimp picks it by content for files
// of other names too; it is not offered.
TEST(ToolImportReaders, OpenGexIsNotRead) {
    for (const char* name : {"eight.ogex", "sniffed.glb"}) {
        const std::string bytes = std::string(name) == "eight.ogex"
                                      ? std::string("g       ")
                                      : std::string("g\x02lgeometrynode\x01!?xml\x00 ", 23);
        const Outcome outcome = Import(name, bytes);
        EXPECT_FALSE(outcome.imported) << name;
        EXPECT_NE(outcome.error.find("cannot be read"), std::string::npos) << outcome.error;
    }
}
