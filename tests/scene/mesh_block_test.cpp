#include "scene/mesh_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "objects/data.h"
#include "scene/parse_state.h"
#include "support/model_files.h"
#include "support/parse_fixture.h"

namespace {

using MeshBlock = ParseTest;

// The records the scene makes, oldest first, as values.
std::vector<Object> records() {
    std::vector<Object> made;
    for (const Object* obj = myObjectList; obj; obj = obj->next) made.insert(made.begin(), *obj);
    return made;
}

// What a triangle or patch record holds, apart from where it lies in memory.
bool sameRecord(const Object& a, const Object& b) {
    if (a.kind != b.kind || a.intersectFn != b.intersectFn || a.normalFn != b.normalFn ||
        std::memcmp(&a.surface, &b.surface, sizeof a.surface) != 0 ||
        std::memcmp(a.boundMin, b.boundMin, sizeof a.boundMin) || std::memcmp(a.boundMax, b.boundMax, sizeof a.boundMax)) {
        return false;
    }
    if (a.kind == kindPatch) return std::memcmp(&a.patch, &b.patch, sizeof a.patch) == 0;
    const TriangleData &s = a.triangle, &t = b.triangle;
    return std::memcmp(s.corner, t.corner, sizeof s.corner) == 0 &&
           std::memcmp(&s.normal, &t.normal, sizeof s.normal) == 0 && s.d == t.d && s.axisU == t.axisU && s.axisV == t.axisV;
}

std::string vec(Vector v) { return "<" + number(v.x) + " " + number(v.y) + " " + number(v.z) + ">"; }

// The tent typed out: a triangle block, or a patch block with the file's normals, for each fan
// triangle, each corner moved by `move`.
std::string typedTent(bool smooth, Vector move = {}) {
    const TestMesh tent = tentMesh();
    std::string text;
    const std::vector<std::uint32_t> corners = fanTriangles(tent);
    for (std::size_t t = 0; t < corners.size(); t += 3) {
        text += smooth ? "patch {" : "triangle {";
        for (int k = 0; k < 3; ++k) {
            text += " vertex " + vec(tent.positions[corners[t + k]] + move);
            if (smooth) text += " normal " + vec(tent.normals[corners[t + k]]);
        }
        text += " }\n";
    }
    return text;
}

// The model becomes the records its triangles typed out make, in the same order, with the
// current surface; smooth where the file has normals unless told flat.
TEST_F(MeshBlock, MakesTheRecordsOfTheTrianglesTypedOut) {
    const TestMesh tent = tentMesh();
    write("tent.ply", plyFile(tent, "binary_big_endian"));
    write("tent.stl", stlFile(tent, true));
    const struct {
        std::string block;
        std::string typed;
        const char* line;
    } cases[] = {
        {"mesh { file \"tent.ply\" }", typedTent(true),
         "\n Mesh tent.ply: 0 triangle(s), 6 patch(es), 0 face(s) skipped, from <0 0 0> to <2 1.5 1.25>"},
        {"mesh { flat file \"tent.ply\" move <1 -2 0.5> }", typedTent(false, {1, -2, 0.5}),
         "\n Mesh tent.ply: 6 triangle(s), 0 patch(es), 0 face(s) skipped, from <1 -2 0.5> to <3 -0.5 1.75>"},
        {"mesh { file \"tent.stl\" }", typedTent(false),
         "\n Mesh tent.stl: 6 triangle(s), 0 patch(es), 0 face(s) skipped, from <0 0 0> to <2 1.5 1.25>"},
    };
    for (const auto& c : cases) {
        const std::string surface = "surface { color 0.5 0.25 1 ambient 0.125 diffuse 0.75 reflection 0.5 }\n";
        const std::string out = run(std::string(sceneBase) + surface + "sphere { center <0 0 9> radius 1 }\n" + c.block);
        EXPECT_NE(out.find(std::string(c.line) + " Warning"), std::string::npos) << out;
        const std::vector<Object> fromModel = records();
        EXPECT_EQ(object, myObjectList);  // the last record made
        releaseScene();
        run(std::string(sceneBase) + surface + "sphere { center <0 0 9> radius 1 }\n" + c.typed);
        const std::vector<Object> typed = records();
        releaseScene();
        ASSERT_EQ(fromModel.size(), typed.size()) << c.block;
        for (std::size_t k = 1; k < typed.size(); ++k)
            EXPECT_TRUE(sameRecord(fromModel[k], typed[k])) << c.block << " record " << k;
    }
    // Faces of fewer than three distinct corners, or on one line, count as skipped; the
    // statistics count what was made.
    write("flat.obj", "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 0 1 0\nf 1 2 4\nf 1 2 3\nf 1 1 4\nf 1 2\n");
    const std::string out = run(std::string(sceneBase) + "mesh { file \"flat.obj\" smooth }");
    EXPECT_NE(out.find("\n Mesh flat.obj: 0 triangle(s), 1 patch(es), 3 face(s) skipped, from <0 0 0> to <1 1 0> Warning"),
              std::string::npos);
    EXPECT_NE(out.find(" Number of triangle(s):\t\t0\n Number of patch(es):\t\t1\n"), std::string::npos);
    EXPECT_EQ(nPrims, 1);
}

// A relative name is looked for from the working directory, then beside the file holding the
// block; it may hold blanks, slashes and dashes.
TEST_F(MeshBlock, FindsTheFileAsIncludesAreFound) {
    std::filesystem::create_directories("scenes/my models");
    write("scenes/my models/tent-1.obj", objFile(tentMesh()));
    write("scenes/tent.obj", objFile(tentMesh()));
    write("tent.obj", objFile(tentMesh()));  // the working directory's comes first
    write("scenes/s.orv", std::string(sceneBase) + "mesh { file \"my models/tent-1.obj\" }\nmesh { file \"tent.obj\" }");
    testing::internal::CaptureStdout();
    EXPECT_EQ(parseFile("scenes/s.orv"), 0);
    EXPECT_NE(
        testing::internal::GetCapturedStdout().find("\n Mesh scenes/my models/tent-1.obj: 0 triangle(s), 6 patch(es), "
                                                    "0 face(s) skipped, from <0 0 0> to <2 1.5 1.25>\n Mesh tent.obj:"),
        std::string::npos);
}

TEST_F(MeshBlock, RefusesWhatItCannotRead) {
    write("tent.obj", objFile(tentMesh()));
    write("bad.obj", "v 0 0 0\nf 1 0 1\n");
    write("notes.txt", "a shopping list\n");
    std::filesystem::create_directory("models");
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"mesh { }", parseError(4, " mesh file must be given exactly once")},
        {"mesh { file \"tent.obj\"\nfile \"tent.obj\" }", parseError(5, " mesh file must be given exactly once")},
        {"mesh { file \"tent.obj\" modify }", parseError(4, " Unkown parameter in mesh structure")},
        {"mesh { file \"tent.obj\" scale <1 0 1> }", parseError(4, " mesh scale cannot be 0")},
        {"mesh { file \"tent.obj\" scale \"2\" }", parseError(4, " mesh scale expects a number or a vector <x y z>")},
        {"mesh { file \"tent.obj\" scale <1 1> }", parseError(4, " z componente expected")},
        {"mesh { file \"\" }", parseError(4, " mesh file name cannot be empty")},
        {"mesh { file \"missing.obj\" }",
         parseError(4, " mesh file missing.obj: cannot be opened (No such file or directory)")},
        {"mesh { file \"models\" }", parseError(4, " mesh file models: is a directory")},
        {"mesh { file \"notes.txt\" }", parseError(4,
                                                   " mesh file notes.txt: not an OBJ, PLY, STL or glTF file (neither its "
                                                   "contents nor its name's extension say which)")},
        {"mesh {\nfile \"bad.obj\"\n}",
         parseError(5, " mesh file bad.obj: line 2: face 0: a vertex index of 0 (indices count from 1)")},
        {"mesh { file \"tent.obj\" scale 1e308 }",
         parseError(4, " mesh file tent.obj: a vertex is no longer a finite number once scaled, rotated and moved")},
        // The words the block takes mean nothing elsewhere, as before.
        {"sphere { center <0 0 0> radius 1 smooth }", parseError(4, " Unkown parameter in sphere structure")},
        {"sphere { center <0 0 0> radius 1 move <1 0 0> }", parseError(4, " Unkown parameter in sphere structure")},
    };
    for (const auto& c : cases) EXPECT_EQ(error(std::string(sceneBase) + c.text), c.error) << c.text;
    EXPECT_NE(run("flat").find("\n Scene parser returned error: 0 'flat'\n"), std::string::npos);
}

}  // namespace
