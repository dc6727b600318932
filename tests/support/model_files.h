// Model files written by the tests: a small mesh in every format and encoding the readers take,
// as bytes. Coordinates should be exact in 32-bit floats (the binary formats store floats), so
// that every file holds the very same mesh.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "math/vector.h"

struct TestMesh {
    std::vector<Vector> positions;
    std::vector<Vector> normals;  // one a position, or none
    std::vector<std::vector<std::uint32_t>> faces;
};

// A tent: a 2 x 1.5 rectangle (one quad) under four triangles meeting at a top corner, with normals.
inline TestMesh tentMesh() {
    return {{{0, 0, 0}, {2, 0, 0}, {2, 1.5, 0}, {0, 1.5, 0}, {1, 0.75, 1.25}},
            {{-0.5, -0.5, 0.5}, {0.5, -0.5, 0.5}, {0.5, 0.5, 0.5}, {-0.5, 0.5, 0.5}, {0, 0, 1}},
            {{0, 3, 2, 1}, {0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}}};
}

inline std::string number(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

template <class T>
void appendValue(std::string& out, T value, bool bigEndian = false) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    if (bigEndian) std::reverse(bytes, bytes + sizeof(T));
    out.append(bytes, sizeof(T));
}

// PLY: encoding "ascii", "binary_little_endian" or "binary_big_endian"; the vertex values as
// floats or doubles, the face lists as uchar counts and int indices.
inline std::string plyFile(const TestMesh& mesh, const std::string& encoding, bool doubles = false) {
    const bool normals = !mesh.normals.empty();
    std::string out =
        "ply\nformat " + encoding + " 1.0\ncomment a test\nelement vertex " + std::to_string(mesh.positions.size()) + "\n";
    for (const char* name : {"x", "y", "z", "nx", "ny", "nz"}) {
        if (name[0] == 'n' && !normals) break;
        out += std::string("property ") + (doubles ? "double " : "float ") + name + "\n";
    }
    out += "element face " + std::to_string(mesh.faces.size()) + "\nproperty list uchar int vertex_indices\nend_header\n";
    const bool big = encoding == "binary_big_endian";
    for (std::size_t k = 0; k < mesh.positions.size(); ++k) {
        std::vector<double> values{mesh.positions[k].x, mesh.positions[k].y, mesh.positions[k].z};
        if (normals) values.insert(values.end(), {mesh.normals[k].x, mesh.normals[k].y, mesh.normals[k].z});
        for (const double v : values) {
            if (encoding == "ascii") {
                out += number(v) + " ";
            } else if (doubles) {
                appendValue(out, v, big);
            } else {
                appendValue(out, static_cast<float>(v), big);
            }
        }
        if (encoding == "ascii") out.back() = '\n';
    }
    for (const auto& face : mesh.faces) {
        if (encoding == "ascii") {
            out += std::to_string(face.size());
            for (const std::uint32_t i : face) out.append(" ").append(std::to_string(i));
            out += "\n";
            continue;
        }
        out += static_cast<char>(face.size());
        for (const std::uint32_t i : face) appendValue(out, static_cast<std::int32_t>(i), big);
    }
    return out;
}

// The faces split into the fans of triangles from their first corners.
inline std::vector<std::uint32_t> fanTriangles(const TestMesh& mesh) {
    std::vector<std::uint32_t> corners;
    for (const auto& face : mesh.faces) {
        for (std::size_t k = 1; k + 1 < face.size(); ++k) corners.insert(corners.end(), {face[0], face[k], face[k + 1]});
    }
    return corners;
}

inline std::string stlFile(const TestMesh& mesh, bool binary) {
    const std::vector<std::uint32_t> corners = fanTriangles(mesh);
    std::string out;
    if (binary) {
        out = std::string(80, ' ');
        appendValue(out, static_cast<std::uint32_t>(corners.size() / 3));
        for (std::size_t t = 0; t < corners.size(); t += 3) {
            for (int k = 0; k < 3; ++k) appendValue(out, 0.0f);
            for (int k = 0; k < 3; ++k) {
                const Vector v = mesh.positions[corners[t + k]];
                for (const double c : {v.x, v.y, v.z}) appendValue(out, static_cast<float>(c));
            }
            out += std::string(2, '\0');
        }
        return out;
    }
    out = "solid test\n";
    for (std::size_t t = 0; t < corners.size(); t += 3) {
        out += " facet normal 0 0 1\n  outer loop\n";
        for (int k = 0; k < 3; ++k) {
            const Vector v = mesh.positions[corners[t + k]];
            out += "   vertex " + number(v.x) + " " + number(v.y) + " " + number(v.z) + "\n";
        }
        out += "  endloop\n endfacet\n";
    }
    return out + "endsolid test\n";
}

// OBJ, with faces indexed from the end (negative) when `relative`.
inline std::string objFile(const TestMesh& mesh, bool relative = false) {
    std::string out = "# a test\nmtllib none.mtl\no tent\n";
    for (const Vector& v : mesh.positions) out += "v " + number(v.x) + " " + number(v.y) + " " + number(v.z) + "\n";
    for (const Vector& n : mesh.normals) out += "vn " + number(n.x) + " " + number(n.y) + " " + number(n.z) + "\n";
    const long count = static_cast<long>(mesh.positions.size());
    for (const auto& face : mesh.faces) {
        out += "f";
        for (const std::uint32_t i : face) {
            const std::string index = std::to_string(relative ? static_cast<long>(i) - count : static_cast<long>(i) + 1);
            out += " " + index + (mesh.normals.empty() ? "" : "//" + index);
        }
        out += "\n";
    }
    return out;
}

inline std::string base64(const std::string& bytes) {
    constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t k = 0; k < bytes.size(); k += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - k);
        std::uint32_t group = 0;
        for (std::size_t j = 0; j < 3; ++j) group = group << 8 | (j < n ? std::uint8_t(bytes[k + j]) : 0u);
        for (std::size_t j = 0; j < 4; ++j) out += j <= n ? digits[group >> (18 - 6 * j) & 63] : '=';
    }
    return out;
}

// The buffer of a glTF file holding the mesh (indices, then positions, then normals), and the
// JSON that describes it, its buffer given by `uri`, with the given nodes and scenes (JSON arrays).
struct GltfParts {
    std::string json;
    std::string buffer;
};

inline constexpr const char* oneNode = R"([{"mesh":0}])";
inline constexpr const char* oneScene = R"([{"nodes":[0]}])";

inline GltfParts gltfParts(const TestMesh& mesh, const std::string& uri, const std::string& nodes = oneNode,
                           const std::string& scenes = oneScene) {
    const std::vector<std::uint32_t> corners = fanTriangles(mesh);
    std::string buffer;
    for (const std::uint32_t c : corners) appendValue(buffer, c);
    const std::size_t positionsAt = buffer.size();
    for (const Vector& v : mesh.positions) {
        for (const double c : {v.x, v.y, v.z}) appendValue(buffer, static_cast<float>(c));
    }
    const std::size_t normalsAt = buffer.size();
    for (const Vector& n : mesh.normals) {
        for (const double c : {n.x, n.y, n.z}) appendValue(buffer, static_cast<float>(c));
    }
    const std::string count = std::to_string(mesh.positions.size());
    std::string json =
        R"({"asset":{"version":"2.0"},"scene":0,"scenes":)" + scenes + R"(,"nodes":)" + nodes +
        R"(,"meshes":[{"primitives":[{"attributes":{"POSITION":1)" + (mesh.normals.empty() ? "" : R"(,"NORMAL":2)") +
        R"(},"indices":0}]}],"buffers":[{"byteLength":)" + std::to_string(buffer.size()) +
        (uri.empty() ? "" : R"(,"uri":")" + uri + "\"") + R"(}],"bufferViews":[{"buffer":0,"byteLength":)" +
        std::to_string(positionsAt) + R"(},{"buffer":0,"byteOffset":)" + std::to_string(positionsAt) + R"(,"byteLength":)" +
        std::to_string(normalsAt - positionsAt) + "}" +
        (mesh.normals.empty() ? ""
                              : R"(,{"buffer":0,"byteOffset":)" + std::to_string(normalsAt) + R"(,"byteLength":)" +
                                    std::to_string(buffer.size() - normalsAt) + "}") +
        R"(],"accessors":[{"bufferView":0,"componentType":5125,"count":)" + std::to_string(corners.size()) +
        R"(,"type":"SCALAR"},{"bufferView":1,"componentType":5126,"count":)" + count + R"(,"type":"VEC3"})" +
        (mesh.normals.empty() ? "" : R"(,{"bufferView":2,"componentType":5126,"count":)" + count + R"(,"type":"VEC3"})") +
        "]}";
    return {json, buffer};
}

// A .gltf file whose buffer is a data URI.
inline std::string gltfFile(const TestMesh& mesh, const std::string& nodes = oneNode, const std::string& scenes = oneScene) {
    const GltfParts parts = gltfParts(mesh, "");
    return gltfParts(mesh, "data:application/octet-stream;base64," + base64(parts.buffer), nodes, scenes).json;
}

inline std::string glbFile(const TestMesh& mesh) {
    GltfParts parts = gltfParts(mesh, "");
    parts.json.append(-parts.json.size() % 4, ' ');
    parts.buffer.append(-parts.buffer.size() % 4, '\0');
    std::string out = "glTF";
    appendValue(out, std::uint32_t{2});
    appendValue(out, static_cast<std::uint32_t>(28 + parts.json.size() + parts.buffer.size()));
    appendValue(out, static_cast<std::uint32_t>(parts.json.size()));
    out += "JSON" + parts.json;
    appendValue(out, static_cast<std::uint32_t>(parts.buffer.size()));
    out += std::string("BIN\0", 4) + parts.buffer;
    return out;
}
