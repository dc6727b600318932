#include "scene/model/mesh.h"

#include <algorithm>
#include <atomic>

#include "base/tasks.h"

std::string describeModelError(const ModelError& error) {
    if (error.line > 0) return "line " + std::to_string(error.line) + ": " + error.what;
    if (error.offset >= 0) return "byte " + std::to_string(error.offset) + ": " + error.what;
    return error.what;
}

void addFace(ModelMesh& mesh, const std::uint32_t* faceCorners, const std::uint32_t* faceNormals,
             std::size_t count) {
    if (count < 3) {
        ++mesh.droppedFaces;
        return;
    }
    for (std::size_t k = 1; k + 1 < count; ++k) {
        mesh.corners.insert(mesh.corners.end(), {faceCorners[0], faceCorners[k], faceCorners[k + 1]});
        if (faceNormals) {
            mesh.cornerNormals.insert(mesh.cornerNormals.end(),
                                      {faceNormals[0], faceNormals[k], faceNormals[k + 1]});
        }
    }
}

std::size_t firstNonFinite(const std::vector<Vector>& positions, int threads) {
    constexpr std::size_t piece = std::size_t{1} << 16;
    const std::size_t pieces = (positions.size() + piece - 1) / piece;
    std::atomic<std::size_t> first{positions.size()};
    runTasks(threads, pieces, [&](std::size_t p) {
        const std::size_t end = std::min(positions.size(), (p + 1) * piece);
        for (std::size_t k = p * piece; k < end; ++k) {
            if (isFinite(positions[k])) continue;
            std::size_t seen = first.load();
            while (k < seen && !first.compare_exchange_weak(seen, k)) {
            }
            return;
        }
    });
    return first.load();
}
