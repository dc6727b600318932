// A model as its file gives it, in the one neutral form every model reader returns whatever the
// format: positions, normals and triangles by index, or what is wrong with the file's bytes and
// where. The readers take bytes and know nothing of the scene; placing the model and making
// records of it is the mesh block's work.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "math/vector.h"

using ModelBytes = std::span<const unsigned char>;

// A corner whose face the file gives no normal for.
inline constexpr std::uint32_t noNormal = 0xFFFFFFFF;
// Indices are 32 bits wide and one value means "none": a model holds fewer positions.
inline constexpr std::uint64_t maxModelPositions = 0xFFFFFFFE;

struct ModelMesh {
    std::vector<Vector> positions;
    std::vector<Vector> normals;
    // Three position indices a triangle, in the order of the file; faces of more corners are
    // split into the fan of triangles from their first corner.
    std::vector<std::uint32_t> corners;
    // Empty: normals[k] belongs to positions[k], or the file has no normals (normals empty).
    // Otherwise one normal index (or noNormal) for each entry of corners.
    std::vector<std::uint32_t> cornerNormals;
    // Faces of fewer than three corners, left out by the reader.
    std::uint64_t droppedFaces = 0;
    // Every corner has a position of its own (STL): equal positions are one vertex.
    bool cornersApart = false;

    std::size_t triangleCount() const { return corners.size() / 3; }
};

// What is wrong with a model file, and where: a line of a text file or a byte of a binary one.
struct ModelError {
    std::string what;
    std::int64_t line = 0;     // counted from 1; 0 when there is none
    std::int64_t offset = -1;  // from the start of the file; -1 when there is none
};

// What a reader gives: the mesh, or an error (its text not empty).
struct ModelRead {
    ModelMesh mesh;
    ModelError error;
    bool ok() const { return error.what.empty(); }
};

inline ModelRead modelError(std::string what, std::int64_t line = 0, std::int64_t offset = -1) {
    ModelRead read;
    read.error = {std::move(what), line, offset};
    return read;
}

// The error with its place in front: "line 12: ...", "byte 84: ..." or the text alone.
std::string describeModelError(const ModelError& error);

// Appends the fan of triangles of a face with `count` corners, each triangle made of the first
// corner and two neighbours, or counts the face as dropped when it has fewer than three corners.
// `faceNormals` (one normal index a corner) goes to cornerNormals; null when the mesh has none
// there.
void addFace(ModelMesh& mesh, const std::uint32_t* faceCorners, const std::uint32_t* faceNormals,
             std::size_t count);

// The first of the positions that is not finite, or positions.size() when all are; `threads`
// threads may share the search.
std::size_t firstNonFinite(const std::vector<Vector>& positions, int threads);

inline bool isFinite(Vector v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
