#include "model_harness.h"

#include <optional>

#include "scene/model/model.h"
#include "scene/model/placement.h"

namespace {

FetchedFile noBufferFile(const std::string&) { return {{}, "cannot be opened (No such file or directory)"}; }

// What the mesh block relies on: every index names a position or normal there is.
std::string checkMesh(const ModelMesh& mesh) {
    if (mesh.corners.size() % 3 != 0) return "a corner count that is no multiple of 3";
    for (const std::uint32_t c : mesh.corners) {
        if (c >= mesh.positions.size()) return "a corner past the positions";
    }
    if (!mesh.cornerNormals.empty() && mesh.cornerNormals.size() != mesh.corners.size())
        return "corner normals amiss";
    for (const std::uint32_t n : mesh.cornerNormals) {
        if (n != noNormal && n >= mesh.normals.size()) return "a corner normal past the normals";
    }
    if (mesh.cornerNormals.empty() && !mesh.normals.empty() && mesh.normals.size() != mesh.positions.size()) {
        return "fewer normals than positions";
    }
    for (const Vector& p : mesh.positions) {
        if (!isFinite(p)) return "a position that is not finite";
    }
    return {};
}

}  // namespace

std::string runModelInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return {};
    constexpr std::optional<ModelFormat> formats[] = {std::nullopt,     ModelFormat::obj,  ModelFormat::ply,
                                                      ModelFormat::stl, ModelFormat::gltf, ModelFormat::glb};
    const ModelBytes bytes(data + 1, size - 1);
    std::optional<ModelFormat> format = formats[data[0] % 6];
    if (!format) format = detectModelFormat(bytes, "model");
    if (!format) return {};
    const int threads = data[0] / 6 % 2 + 1;
    ModelRead read = readModel(bytes, *format, "fuzz/model", noBufferFile, threads);
    if (!read.ok())
        return read.error.what.empty() || describeModelError(read.error).empty() ? "an empty message" : "";
    if (std::string fault = checkMesh(read.mesh); !fault.empty()) return fault;
    Placement placement;
    placement.scale = {2, -1, 0.5};
    placement.rotate = {90, 30, 0};
    placement.move = {1, 2, 3};
    placement.scaled = placement.moved = true;
    if (!placeMesh(read.mesh, placement, threads)) return {};
    const MeshPlan plan = planMesh(read.mesh, Shading::smooth, threads);
    for (std::size_t t = 0; t < plan.pieces.size(); ++t) {
        if (plan.pieces[t] != Piece::patch) continue;
        Vector normals[3];
        patchNormals(read.mesh, plan, t, normals);
        for (const Vector& n : normals) {
            if (!isFinite(n) || isZero(n)) return "a patch corner normal that is zero or not finite";
        }
    }
    return {};
}
