// A model renders to the very bytes of its triangles typed into the scene: in every format, flat,
// smooth and as the file says, placed by transforms whose arithmetic is exact; and within rounding
// when it is turned by other angles. orvel-mt gives the bytes of orvel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/model_files.h"

namespace {

// A hill on a 4 x 4 grid of quads, heights and normals in eighths: every value exact in a float.
TestMesh hill() {
    TestMesh mesh;
    const auto height = [](int i, int j) { return ((i * j + i) % 5) / 8.0; };
    for (int j = 0; j <= 4; ++j) {
        for (int i = 0; i <= 4; ++i) {
            mesh.positions.push_back({i * 0.5 - 1, j * 0.5 - 1, height(i, j)});
            const double dx = height(std::min(i + 1, 4), j) - height(std::max(i - 1, 0), j);
            const double dy = height(i, std::min(j + 1, 4)) - height(i, std::max(j - 1, 0));
            mesh.normals.push_back({-dx, -dy, 1});
        }
    }
    for (std::uint32_t j = 0; j < 4; ++j) {
        for (std::uint32_t i = 0; i < 4; ++i) mesh.faces.push_back({j * 5 + i, j * 5 + i + 1, j * 5 + i + 6, j * 5 + i + 5});
    }
    return mesh;
}

// Where the model goes: a scale, quarter turns about x, y and z, a move; `text` says it in the
// block's words.
struct Place {
    std::string text;
    Vector scale{1, 1, 1};
    int turns[3] = {0, 0, 0};
    Vector move{};
};

Vector quarterTurns(Vector v, const int turns[3]) {
    for (int k = 0; k < (turns[0] % 4 + 4) % 4; ++k) v = {v.x, -v.z, v.y};
    for (int k = 0; k < (turns[1] % 4 + 4) % 4; ++k) v = {v.z, v.y, -v.x};
    for (int k = 0; k < (turns[2] % 4 + 4) % 4; ++k) v = {-v.y, v.x, v.z};
    return v;
}

Vector placed(Vector p, const Place& place) {
    return quarterTurns({p.x * place.scale.x, p.y * place.scale.y, p.z * place.scale.z}, place.turns) + place.move;
}

// Normals as normals: divided by an uneven scale, reversed by an even negative one.
Vector placedNormal(Vector n, const Place& place) {
    const Vector s = place.scale;
    if (s.x != s.y || s.y != s.z) n = {n.x / s.x, n.y / s.y, n.z / s.z};
    if (s.x == s.y && s.y == s.z && s.x < 0) n = -n;
    return quarterTurns(n, place.turns);
}

std::string value(double v) { return number(v == 0 ? 0.0 : v); }
std::string vec(Vector v) { return "<" + value(v.x) + " " + value(v.y) + " " + value(v.z) + ">"; }

// The mesh's triangles typed out, placed: flat, or smooth with the given normals or, when there
// are none, the sums of the face normals around each position.
std::string typedTriangles(const TestMesh& mesh, const Place& place, bool smooth, bool fileNormals) {
    std::vector<Vector> positions;
    for (const Vector& p : mesh.positions) positions.push_back(placed(p, place));
    const std::vector<std::uint32_t> corners = fanTriangles(mesh);
    std::vector<Vector> normals;
    if (fileNormals) {
        for (const Vector& n : mesh.normals) normals.push_back(placedNormal(n, place));
    } else {
        normals.assign(positions.size(), Vector{0, 0, 0});
        for (std::size_t t = 0; t < corners.size(); t += 3) {
            const Vector v0 = positions[corners[t]];
            const Vector face = cross(positions[corners[t + 1]] - v0, positions[corners[t + 2]] - v0);
            for (int k = 0; k < 3; ++k) normals[corners[t + k]] = normals[corners[t + k]] + face;
        }
    }
    std::string text;
    for (std::size_t t = 0; t < corners.size(); t += 3) {
        text += smooth ? "smooth_triangle {" : "triangle {";
        for (int k = 0; k < 3; ++k) {
            text += " vertex " + vec(positions[corners[t + k]]);
            if (smooth) text += " normal " + vec(normals[corners[t + k]]);
        }
        text += " }\n";
    }
    return text;
}

const std::string sceneHead =
    "camera { position <1 -3 2.5> look_at <0.2 -0.2 0.3> fov 60 }\n"
    "settings { resolution 40 30 output_type \"ppm\" output_name \"picture\" }\n"
    "light { position <-3 -5 6> color 1 1 1 attenuation_type \"none\" }\n"
    "light { position <4 -1 2> color 0.4 0.3 0.2 attenuation_type \"none\" }\n"
    "surface { color 0.9 0.7 0.4 ambient 0.1 diffuse 0.7 specular 0.6 roughness 40 }\n";

class ModelExactness : public testing::Test {
protected:
    // The picture of the scene with these objects, rendered by orvel or orvel-mt.
    std::string picture(const std::string& objects, bool multiThreaded = false) {
        write("scene.orv", sceneHead + objects);
        std::filesystem::remove(dir_.path("picture.ppm"));
        const ProgramRun run = runProgram(orvelProgram(multiThreaded), {"-i", "scene.orv"}, dir_.path());
        EXPECT_EQ(run.status, 0) << run.out;
        return readWholeFile(dir_.path("picture.ppm"));
    }

    void write(const std::string& name, const std::string& bytes) { std::ofstream(dir_.path(name)) << bytes; }

    TempDir dir_;
};

TEST_F(ModelExactness, EveryFormatRendersAsItsTrianglesTyped) {
    const TestMesh mesh = hill();
    const GltfParts parts = gltfParts(mesh, "hill.bin");
    write("hill.ply", plyFile(mesh, "binary_little_endian"));
    write("ascii.ply", plyFile(mesh, "ascii"));
    write("hill.stl", stlFile(mesh, true));
    write("ascii.stl", stlFile(mesh, false));
    write("hill.obj", objFile(mesh));
    write("hill.gltf", parts.json);
    write("hill.bin", parts.buffer);
    write("hill.glb", glbFile(mesh));
    const Place places[] = {
        {""},
        {"move <1 -1 0.5>", {1, 1, 1}, {0, 0, 0}, {1, -1, 0.5}},
        {"scale 2", {2, 2, 2}},
        {"rotate <-90 90 0>", {1, 1, 1}, {-1, 1, 0}},
        {"move <-1 0 0.5> rotate <0 180 90> scale <2 -1 0.5>", {2, -1, 0.5}, {0, 2, 1}, {-1, 0, 0.5}},
    };
    std::map<std::string, std::string> typedPictures;
    for (const Place& place : places) {
        for (const char* shading : {"", "smooth", "flat"}) {
            for (const char* file :
                 {"hill.ply", "ascii.ply", "hill.stl", "ascii.stl", "hill.obj", "hill.gltf", "hill.glb"}) {
                const bool normals = std::string(file).find(".stl") == std::string::npos;
                const bool smooth = shading == std::string("smooth") || (normals && !*shading);
                const std::string typed = typedTriangles(mesh, place, smooth, normals);
                if (!typedPictures.count(typed)) {
                    typedPictures[typed] = picture(typed);
                    // The model is in sight: a good part of the picture is not the black background.
                    EXPECT_GT(std::count_if(typedPictures[typed].begin() + 15, typedPictures[typed].end(),
                                            [](char c) { return c != 0; }),
                              400)
                        << place.text;
                }
                const std::string block = std::string("mesh { file \"") + file + "\" " + shading + " " + place.text + " }\n";
                EXPECT_TRUE(picture(block) == typedPictures[typed]) << block;
                if (place.text.size() > 20) {
                    EXPECT_TRUE(picture(block, true) == typedPictures[typed]) << "orvel-mt: " << block;
                }
            }
        }
    }
}

// Other angles turn by sines and cosines; typed from the same triangles turned at once by one
// matrix, the picture may differ in a few pixels along edges.
TEST_F(ModelExactness, OtherAnglesMatchWithinRounding) {
    const TestMesh mesh = hill();
    write("hill.glb", glbFile(mesh));
    const double a = 30 * std::numbers::pi / 180, b = 20 * std::numbers::pi / 180, c = 10 * std::numbers::pi / 180;
    const auto turn = [&](Vector v) {
        v = {v.x, v.y * std::cos(a) - v.z * std::sin(a), v.y * std::sin(a) + v.z * std::cos(a)};
        v = {v.x * std::cos(b) + v.z * std::sin(b), v.y, v.z * std::cos(b) - v.x * std::sin(b)};
        return Vector{v.x * std::cos(c) - v.y * std::sin(c), v.x * std::sin(c) + v.y * std::cos(c), v.z};
    };
    TestMesh turned = mesh;
    for (Vector& p : turned.positions) p = turn(p);
    for (Vector& n : turned.normals) n = turn(n);
    const std::string typed = picture(typedTriangles(turned, {""}, true, true));
    const std::string model = picture("mesh { file \"hill.glb\" rotate <30 20 10> }\n");
    ASSERT_EQ(typed.size(), model.size());
    int differing = 0;
    for (std::size_t k = 0; k < typed.size(); ++k) differing += typed[k] != model[k];
    EXPECT_LE(differing, 40);  // of 3600 bytes
}

}  // namespace
