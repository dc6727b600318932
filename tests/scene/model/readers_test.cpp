// The model readers: every format and encoding gives the same triangles for the same model, and a
// file that is not a readable model gives a message naming what is wrong and where.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "scene/model/model.h"
#include "support/model_files.h"

namespace {

ModelBytes bytesOf(const std::string& text) { return {reinterpret_cast<const unsigned char*>(text.data()), text.size()}; }

// Buffers named by a glTF file: one file exists, "dir/tent.bin".
FetchedFile fetchTent(const std::string& path) {
    if (path == "dir/tent.bin")
        return {[] {
                    const std::string b = gltfParts(tentMesh(), "").buffer;
                    return std::vector<unsigned char>(b.begin(), b.end());
                }(),
                {}};
    return {{}, "cannot be opened (No such file or directory)"};
}

ModelRead read(const std::string& bytes, ModelFormat format, const std::string& name = "dir/model") {
    return readModel(bytesOf(bytes), format, name, fetchTent, 2);
}

// Each triangle's corner positions and normals, whatever the indexing.
struct Soup {
    std::vector<Vector> corners, normals;
    bool operator==(const Soup& o) const {
        const auto same = [](const std::vector<Vector>& a, const std::vector<Vector>& b) {
            return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](Vector u, Vector v) {
                       return u.x == v.x && u.y == v.y && u.z == v.z;
                   });
        };
        return same(corners, o.corners) && same(normals, o.normals);
    }
};

Soup soupOf(const ModelMesh& mesh) {
    Soup soup;
    for (std::size_t k = 0; k < mesh.corners.size(); ++k) {
        soup.corners.push_back(mesh.positions[mesh.corners[k]]);
        if (mesh.normals.empty()) continue;
        const std::uint32_t n = mesh.cornerNormals.empty() ? mesh.corners[k] : mesh.cornerNormals[k];
        soup.normals.push_back(n == noNormal ? Vector{-9, -9, -9} : mesh.normals[n]);
    }
    return soup;
}

std::string withoutNormals(const TestMesh& mesh, std::string (*write)(const TestMesh&)) {
    TestMesh bare = mesh;
    bare.normals.clear();
    return write(bare);
}

TEST(ModelReaders, EveryFormatAndEncodingGivesTheSameTriangles) {
    const TestMesh tent = tentMesh();
    Soup expected;
    for (const std::uint32_t c : fanTriangles(tent)) {
        expected.corners.push_back(tent.positions[c]);
        expected.normals.push_back(tent.normals[c]);
    }
    Soup bare{expected.corners, {}};
    const struct {
        const char* name;
        ModelFormat format;
        std::string bytes;
        bool normals;
    } cases[] = {
        {"PLY ASCII", ModelFormat::ply, plyFile(tent, "ascii"), true},
        {"PLY little-endian floats", ModelFormat::ply, plyFile(tent, "binary_little_endian"), true},
        {"PLY big-endian floats", ModelFormat::ply, plyFile(tent, "binary_big_endian"), true},
        {"PLY little-endian doubles", ModelFormat::ply, plyFile(tent, "binary_little_endian", true), true},
        {"STL binary", ModelFormat::stl, stlFile(tent, true), false},
        {"STL ASCII", ModelFormat::stl, stlFile(tent, false), false},
        {"OBJ", ModelFormat::obj, objFile(tent), true},
        {"OBJ counted back", ModelFormat::obj, objFile(tent, true), true},
        {"OBJ without normals", ModelFormat::obj, withoutNormals(tent, [](const TestMesh& m) { return objFile(m); }), false},
        {"glTF, data URI", ModelFormat::gltf, gltfFile(tent), true},
        {"glTF, buffer file", ModelFormat::gltf, gltfParts(tent, "tent.bin").json, true},
        {"GLB", ModelFormat::glb, glbFile(tent), true},
        {"GLB without normals", ModelFormat::glb, withoutNormals(tent, [](const TestMesh& m) { return glbFile(m); }), false},
    };
    for (const auto& c : cases) {
        const ModelRead got = read(c.bytes, c.format);
        ASSERT_TRUE(got.ok()) << c.name << ": " << describeModelError(got.error);
        EXPECT_TRUE(soupOf(got.mesh) == (c.normals ? expected : bare)) << c.name;
        EXPECT_EQ(got.mesh.cornersApart, c.format == ModelFormat::stl) << c.name;
    }
}

// PLY files as other programs write them: properties of every type, extra elements and
// properties to read past, counts and indices of other types, faces of other sizes.
TEST(ModelReaders, PlyReadsPastWhatItDoesNotUse) {
    std::string binary =
        "ply\r\nformat binary_big_endian 1.0\r\nobj_info scanner\r\nelement camera 1\r\nproperty list uint int stuff\r\n"
        "element vertex 4\r\nproperty uchar red\r\nproperty short x\r\nproperty ushort y\r\nproperty double z\r\n"
        "property float confidence\r\nelement face 3\r\nproperty uchar flags\r\nproperty list uint ushort vertex_index\r\n"
        "property list uchar float texcoord\r\nend_header\r\n";
    appendValue(binary, std::uint32_t{2}, true);
    appendValue(binary, std::int32_t{-1}, true);
    appendValue(binary, std::int32_t{-2}, true);
    const double corners[4][3] = {{-1, 0, 0.5}, {2, 0, 0.5}, {2, 3, 0.5}, {-1, 3, 0.5}};
    for (const auto& v : corners) {
        binary += '\xff';
        appendValue(binary, static_cast<std::int16_t>(v[0]), true);
        appendValue(binary, static_cast<std::uint16_t>(v[1]), true);
        appendValue(binary, v[2], true);
        appendValue(binary, 0.5f, true);
    }
    const std::vector<std::vector<std::uint16_t>> faces{{0, 1, 2, 3}, {0, 1}, {3, 2, 1}};
    for (const auto& face : faces) {
        binary += '\x01';
        appendValue(binary, static_cast<std::uint32_t>(face.size()), true);
        for (const std::uint16_t i : face) appendValue(binary, i, true);
        binary += '\x02';
        appendValue(binary, 0.25f, true);
        appendValue(binary, 0.75f, true);
    }
    const ModelRead got = read(binary, ModelFormat::ply);
    ASSERT_TRUE(got.ok()) << describeModelError(got.error);
    EXPECT_EQ(got.mesh.corners, (std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3, 3, 2, 1}));
    EXPECT_EQ(got.mesh.droppedFaces, 1u);
    EXPECT_TRUE(got.mesh.normals.empty());
    EXPECT_TRUE(got.mesh.positions[2].x == 2.0 && got.mesh.positions[2].y == 3.0 && got.mesh.positions[2].z == 0.5);
}

TEST(ModelReaders, TheFormatFollowsTheContentsThenTheName) {
    const TestMesh tent = tentMesh();
    const struct {
        std::string bytes;
        const char* name;
        std::optional<ModelFormat> format;
    } cases[] = {
        {glbFile(tent), "tent.obj", ModelFormat::glb},  // magic numbers first
        {plyFile(tent, "ascii"), "tent.stl", ModelFormat::ply},
        {objFile(tent), "dir.x/TENT.OBJ", ModelFormat::obj},  // then the extension, in any case
        {"anything", "tent.Stl", ModelFormat::stl},
        {"anything", "tent.gltf", ModelFormat::gltf},
        {"anything", "tent.glb", ModelFormat::glb},
        {"anything", "tent.ply", ModelFormat::ply},
        {stlFile(tent, true), "tent.bin", ModelFormat::stl},  // then the contents again
        {stlFile(tent, false), "tent", ModelFormat::stl},
        {"\xef\xbb\xbf {\"asset\":{}}", "tent", ModelFormat::gltf},
        {"# comment\n\nv 1 2 3\n", "tent.txt", ModelFormat::obj},
        {"vertices 1 2 3\n", "tent.txt", std::nullopt},
        {"", "tent", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(detectModelFormat(bytesOf(c.bytes), c.name), c.format) << c.name;
}

std::string plyHeader(const std::string& encoding, const std::string& vertices, const std::string& faces = "1") {
    return "ply\nformat " + encoding + " 1.0\nelement vertex " + vertices +
           "\nproperty float x\nproperty float y\nproperty float z\nelement face " + faces +
           "\nproperty list uchar int vertex_indices\nend_header\n";
}

std::string binaryTriangle(std::int32_t a, std::int32_t b, std::int32_t c) {
    std::string face(1, '\3');
    for (const std::int32_t i : {a, b, c}) appendValue(face, i);
    return face;
}

std::string floats(std::initializer_list<float> values) {
    std::string out;
    for (const float v : values) appendValue(out, v);
    return out;
}

std::string stlHeader(std::uint32_t triangles) {
    std::string out(80, ' ');
    appendValue(out, triangles);
    return out;
}

// A .glb file whose BIN chunk claims `length` bytes.
std::string glbWithBinLength(std::uint32_t length) {
    std::string glb = glbFile(tentMesh());
    std::uint32_t jsonLength = 0;
    std::memcpy(&jsonLength, glb.data() + 12, 4);
    std::memcpy(glb.data() + 20 + jsonLength, &length, 4);
    return glb;
}

TEST(ModelReaders, BadFilesSayWhatIsWrongAndWhere) {
    const std::string header = plyHeader("binary_little_endian", "3");
    const std::string lf = floats({0, 0, 0, 1, 0, 0, 0, 1, 0});
    const std::string tentGltf = gltfParts(tentMesh(), "").json;
    const auto replaced = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    const struct {
        ModelFormat format;
        std::string bytes;
        std::string message;
    } cases[] = {
        {ModelFormat::ply, plyHeader("binary_little_endian", "4000000000") + std::string(10, '\0'),
         "byte 178: the header announces 4000000000 vertex records of at least 12 bytes, but only 10 bytes follow it"},
        {ModelFormat::ply, plyHeader("ascii", "4000000000") + "0 0 0\n",
         "line 9: the header announces 4000000000 vertex records, more than the 6 bytes after it can hold"},
        {ModelFormat::ply, header + lf + binaryTriangle(0, 1, 7),
         "byte 214: face 0: vertex index 7 out of range (3 vertices)"},
        {ModelFormat::ply, header + lf + binaryTriangle(0, -1, 2),
         "byte 210: face 0: vertex index -1 out of range (3 vertices)"},
        {ModelFormat::ply, header + lf + binaryTriangle(0, 1, 2).substr(0, 7), "byte 212: the file ends inside face 0 of 1"},
        {ModelFormat::ply, header + floats({0, 0, 0, 1, 0, 0, 0, 1e38f * 10, 0}) + binaryTriangle(0, 1, 2),
         "byte 193: vertex 2: a coordinate is not a finite number"},
        {ModelFormat::ply, plyHeader("ascii", "3") + "0 0 0\n1 nan 0\n0 1 0\n3 0 1 2\n",
         "line 11: vertex 1: a value is not a finite number"},
        {ModelFormat::ply, plyHeader("ascii", "3") + "0 0 0\n1 0\n0 1 0\n3 0 1 2\n",
         "line 11: vertex 1: fewer values on the line than the header gives it"},
        {ModelFormat::ply, plyHeader("ascii", "3") + "0 0 0\n1 0 0 0\n0 1 0\n3 0 1 2\n",
         "line 11: vertex 1: more values on the line than the header gives it"},
        {ModelFormat::ply, plyHeader("ascii", "3") + "0 0 0\n1 0 0\n0 1 0\n3 0 1.5 2\n",
         "line 13: face 0: a vertex index expected, found \"1.5\""},
        {ModelFormat::ply, plyHeader("ascii", "3") + "0 0 0\n1 0 0" + std::string(20, ' ') + "\n",
         "line 12: the file ends before vertex 2 of 3"},
        {ModelFormat::ply, "ply\nformat ascii 1.0\nelement vertex 1\n", "line 3: the header has no end_header line"},
        {ModelFormat::ply, "ply\nformat ascii 1.0\nmade by hand\nelement vertex 1\nproperty float128 x\nend_header\n",
         "line 5: unknown property type \"float128\""},
        {ModelFormat::ply, "ply\nformat ascii 1.0\nelement vertex 1\nproperty list uchar x\nend_header\n",
         "line 4: property line expected as: property TYPE NAME, or property list TYPE TYPE NAME"},
        {ModelFormat::ply, "ply\nformat ascii 1.0\nelement vertex 0\nproperty float x\nend_header\n",
         "line 5: the header has no face element (a point cloud has no faces to render)"},
        {ModelFormat::ply, "PLY\n", "line 1: not a PLY file: the first line is not \"ply\""},
        {ModelFormat::stl, stlHeader(2) + std::string(50, '\0'),
         "byte 80: the header announces 2 triangles (184 bytes) but the file has 134 bytes"},
        {ModelFormat::stl, stlHeader(1) + floats({0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, -1e38f * 10}) + std::string(2, '\0'),
         "byte 120: triangle 0: a coordinate is not a finite number"},
        {ModelFormat::stl, "solid x\nfacet normal 0 0 1\n inner loop\n", "line 3: outer loop expected, found \"inner\""},
        {ModelFormat::stl, "solid x\nfacet normal 0 0 1\nouter loop\nvertex 0 0 1e999\n",
         "line 4: a vertex coordinate is not a finite number"},
        {ModelFormat::stl, "solid x\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\n",
         "line 5: vertex or endloop expected, found the end of the file"},
        {ModelFormat::stl, "solid empty\nendsolid empty\n", "the model has no facets"},
        {ModelFormat::obj, "v 0 0 0\nv 1 0 0\nv 0 1 0\n# a face\nf 1 0 3\n",
         "line 5: face 0: a vertex index of 0 (indices count from 1)"},
        {ModelFormat::obj, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n  f\t3 2 4\n",
         "line 5: face 1: vertex index out of range (3 vertices)"},
        {ModelFormat::obj, "v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nf -1 -2 -4\r\n",
         "line 4: face 0: vertex index out of range (3 vertices)"},
        {ModelFormat::obj, "v 0 0 0\nvn 0 0 1\nv 1 0 0\nv 0 1 0\nf 1//1 2//2 3//1\n",
         "line 5: face 0: normal index out of range (1 normals)"},
        {ModelFormat::obj, "v 0 0 0\nv 1e999 0 0\n", "line 2: vertex 1: a coordinate is not a finite number"},
        {ModelFormat::obj, "v 0 0 0\n\tv 0 nan 0\n", "line 2: vertex 1: a coordinate is not a finite number"},
        {ModelFormat::obj, "v 0 0 0\nv 1 0 0\nl 1 2\n", "the model has no faces"},
        {ModelFormat::gltf, replaced(tentGltf, "\"buffers\":[{", "\"buffers\":[{\"uri\":\"missing.bin\","),
         "buffer file dir/missing.bin cannot be opened (No such file or directory)"},
        {ModelFormat::gltf, replaced(gltfFile(tentMesh()), "\"count\":18", "\"count\":19"),
         "mesh 0, primitive 0, indices: its elements run past the end of its buffer view"},
        {ModelFormat::gltf, replaced(gltfFile(tentMesh()), "\"scene\":0", "\"scene\":3"),
         "the default scene does not exist"},
        {ModelFormat::gltf, replaced(gltfFile(tentMesh()), "\"mesh\":0", "\"mesh\":0,\"children\":[0]"),
         "node 0 stands twice in the scene's node tree"},
        {ModelFormat::gltf, replaced(gltfFile(tentMesh()), "\"type\":\"VEC3\"", "\"type\":\"VEC2\""),
         "mesh 0, primitive 0, POSITION: accessor 1 has the wrong element type"},
        {ModelFormat::gltf, std::string(300, '[') + std::string(300, ']'), "the JSON nests deeper than 256 levels"},
        {ModelFormat::gltf, replaced(gltfFile(tentMesh()), "\"version\":\"2.0\"", "\"version\":\"1.0\""),
         "glTF version 1.0 (only 2.0 is read)"},
        {ModelFormat::gltf, "{\"asset\":{\"version\":\"2.0\"},\"extensionsRequired\":[\"KHR_draco_mesh_compression\"]}",
         "the file needs KHR_draco_mesh_compression, which is not supported"},
        {ModelFormat::glb, glbWithBinLength(4000), "byte 556: the BIN chunk runs past the end of the file"},
        {ModelFormat::glb, std::string("glTF\1\0\0\0", 8), "byte 8: a binary glTF file needs at least 20 bytes"},
        {ModelFormat::glb, objFile(tentMesh()), "byte 0: not a binary glTF file: it does not begin with \"glTF\""},
    };
    for (const auto& c : cases) {
        const ModelRead got = read(c.bytes, c.format);
        EXPECT_EQ(describeModelError(got.error), c.message);
    }
}

// A large OBJ file is read in pieces by several threads: faces that count back from the latest
// vertex, or name vertices of an earlier piece, come out as from one piece; so does the line of
// an error in a later piece.
TEST(ModelReaders, ObjPiecesReadAsOneFile) {
    std::string text;
    for (int k = 0; k < 60000; ++k) {
        text += "v " + std::to_string(k) + ".1 " + std::to_string(k % 7) + " 0.3\nvn 0 0 1\n";
        if (k >= 2)
            text += k % 2 ? "f -1//-1 -2//-1 -3//-1\n" : "f " + std::to_string(k + 1) + " 1 " + std::to_string(k - 1) + "\n";
    }
    const ModelRead one = readModel(bytesOf(text), ModelFormat::obj, "big.obj", fetchTent, 1);
    const ModelRead pieces = readModel(bytesOf(text), ModelFormat::obj, "big.obj", fetchTent, 2);
    ASSERT_TRUE(one.ok() && pieces.ok()) << describeModelError(pieces.error);
    ASSERT_GT(text.size(), std::size_t{2} << 20);  // large enough to be cut
    EXPECT_TRUE(soupOf(one.mesh) == soupOf(pieces.mesh));
    EXPECT_EQ(one.mesh.positions[59999].x, 59999.1);
    text += "f 1 2 60001\n";
    EXPECT_EQ(describeModelError(readModel(bytesOf(text), ModelFormat::obj, "big.obj", fetchTent, 2).error),
              "line 179999: face 59998: vertex index out of range (60000 vertices)");
}

// Node transforms: a child's translation comes before its parent's scale and turn; a mesh placed
// by two nodes is read twice; a node of another scene than the default one is not read.
TEST(ModelReaders, GltfPlacesEachMeshByItsNodes) {
    const std::string nodes =
        R"([{"mesh":0,"children":[1],"scale":[2,2,2],"rotation":[0,0,0.7071067811865476,0.7071067811865476]},)"
        R"({"mesh":0,"translation":[10,0,0]},{"mesh":0}])";
    const ModelRead got = read(gltfFile(tentMesh(), nodes, R"([{"nodes":[0]},{"nodes":[2]}])"), ModelFormat::gltf);
    ASSERT_TRUE(got.ok()) << describeModelError(got.error);
    ASSERT_EQ(got.mesh.positions.size(), 10u);
    // The root's tent: (2, 1.5, 0) scaled to (4, 3, 0), turned a quarter about z to (-3, 4, 0). The
    // child's: moved to (12, 1.5, 0), then (24, 3, 0), turned to (-3, 24, 0). Normals go through the
    // inverse transpose: (0.5, 0.5, 0.5) turned, and halved by the scale.
    const std::pair<Vector, Vector> expected[] = {{got.mesh.positions[2], {-3, 4, 0}},
                                                  {got.mesh.positions[7], {-3, 24, 0}},
                                                  {got.mesh.normals[2], {-0.25, 0.25, 0.25}}};
    for (const auto& [v, want] : expected) EXPECT_LT(length(v - want), 1e-12) << v.x << " " << v.y << " " << v.z;
}

}  // namespace
