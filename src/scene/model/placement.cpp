#include "scene/model/placement.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <numbers>

#include "base/tasks.h"

namespace {

constexpr std::size_t pieceSize = std::size_t{1} << 15;

// Runs work(begin, end) over pieces of [0, count) on up to `threads` threads.
template <class Work>
void inPieces(int threads, std::size_t count, const Work& work) {
    runTasks(threads, (count + pieceSize - 1) / pieceSize,
             [&](std::size_t p) { work(p * pieceSize, std::min(count, (p + 1) * pieceSize)); });
}

struct Turn {
    bool active = false;
    double sine = 0.0;
    double cosine = 1.0;
};

// A turn by an angle in degrees; a multiple of 90 degrees turns exactly.
Turn turnOf(double degrees) {
    Turn turn;
    turn.active = degrees != 0.0;
    const double quarters = degrees / 90.0;
    if (quarters == std::nearbyint(quarters) && std::fabs(quarters) < 1e15) {
        constexpr double sines[] = {0.0, 1.0, 0.0, -1.0};
        const auto q = static_cast<std::size_t>((static_cast<long long>(quarters) % 4 + 4) % 4);
        turn.sine = sines[q];
        turn.cosine = sines[(q + 1) % 4];
        return turn;
    }
    const double radians = degrees * (std::numbers::pi / 180.0);
    turn.sine = std::sin(radians);
    turn.cosine = std::cos(radians);
    return turn;
}

Vector turned(Vector v, const Turn turns[3]) {
    if (const Turn& t = turns[0]; t.active)
        v = {v.x, v.y * t.cosine - v.z * t.sine, v.y * t.sine + v.z * t.cosine};
    if (const Turn& t = turns[1]; t.active)
        v = {v.x * t.cosine + v.z * t.sine, v.y, v.z * t.cosine - v.x * t.sine};
    if (const Turn& t = turns[2]; t.active)
        v = {v.x * t.cosine - v.y * t.sine, v.x * t.sine + v.y * t.cosine, v.z};
    return v;
}

// The corners of triangle t.
void cornersOf(const ModelMesh& mesh, std::size_t t, Vector v[3]) {
    for (int k = 0; k < 3; ++k) v[k] = mesh.positions[mesh.corners[3 * t + k]];
}

// The face normal a patch takes: (V1 - V0) x (V2 - V0).
Vector faceNormal(const Vector v[3]) { return cross(v[1] - v[0], v[2] - v[0]); }

// A normal the records can be made with: finite and not zero.
bool usable(Vector n) { return isFinite(n) && !isZero(n) && std::isfinite(dot(n, n)); }

// The file's normal of corner k of triangle t, if it gives one.
bool fileNormal(const ModelMesh& mesh, std::size_t t, int k, Vector* normal) {
    if (mesh.normals.empty()) return false;
    if (mesh.cornerNormals.empty()) {
        *normal = mesh.normals[mesh.corners[3 * t + k]];
        return true;
    }
    const std::uint32_t index = mesh.cornerNormals[3 * t + k];
    if (index == noNormal) return false;
    *normal = mesh.normals[index];
    return true;
}

std::uint64_t positionHash(Vector v) {
    std::uint64_t hash = 0;
    for (const double c : {v.x, v.y, v.z}) {
        hash = (hash ^ std::bit_cast<std::uint64_t>(c == 0.0 ? 0.0 : c)) * 0x9E3779B97F4A7C15u;
        hash ^= hash >> 29;
    }
    return hash;
}

// Numbers the distinct positions of a mesh whose corners stand apart, in order of appearance.
std::size_t joinEqualPositions(const std::vector<Vector>& positions, std::vector<std::uint32_t>* vertexOf) {
    constexpr std::uint32_t empty = 0xFFFFFFFF;
    const std::size_t capacity = std::bit_ceil(2 * positions.size() + 1);
    std::vector<std::uint32_t> table(capacity, empty);  // the first position of each vertex
    vertexOf->resize(positions.size());
    std::size_t vertices = 0;
    for (std::size_t p = 0; p < positions.size(); ++p) {
        const Vector v = positions[p];
        std::size_t slot = positionHash(v) & (capacity - 1);
        while (table[slot] != empty) {
            const Vector w = positions[table[slot]];
            if (w.x == v.x && w.y == v.y && w.z == v.z) break;
            slot = (slot + 1) & (capacity - 1);
        }
        if (table[slot] == empty) {
            table[slot] = static_cast<std::uint32_t>(p);
            (*vertexOf)[p] = static_cast<std::uint32_t>(vertices++);
        } else {
            (*vertexOf)[p] = (*vertexOf)[table[slot]];
        }
    }
    return vertices;
}

std::uint32_t vertexOf(const MeshPlan& plan, std::uint32_t position) {
    return plan.vertexOf.empty() ? position : plan.vertexOf[position];
}

// The sum of the face normals (twice their areas long) of the triangles kept around each vertex.
void addVertexNormals(const ModelMesh& mesh, MeshPlan* plan) {
    std::size_t vertices = mesh.positions.size();
    if (mesh.cornersApart) vertices = joinEqualPositions(mesh.positions, &plan->vertexOf);
    plan->vertexNormals.assign(vertices, Vector{0.0, 0.0, 0.0});
    for (std::size_t t = 0; t < plan->pieces.size(); ++t) {
        if (plan->pieces[t] == Piece::skipped) continue;
        Vector v[3];
        cornersOf(mesh, t, v);
        const Vector face = faceNormal(v);
        for (int k = 0; k < 3; ++k) {
            Vector& sum = plan->vertexNormals[vertexOf(*plan, mesh.corners[3 * t + k])];
            sum = sum + face;
        }
    }
}

}  // namespace

bool placeMesh(ModelMesh& mesh, const Placement& placement, int threads) {
    const Turn turns[3] = {turnOf(placement.rotate.x), turnOf(placement.rotate.y),
                           turnOf(placement.rotate.z)};
    const bool turning = turns[0].active || turns[1].active || turns[2].active;
    const Vector s = placement.scale;
    std::atomic<bool> finite{true};
    if (placement.scaled || turning || placement.moved) {
        inPieces(threads, mesh.positions.size(), [&](std::size_t begin, std::size_t end) {
            for (std::size_t k = begin; k < end; ++k) {
                Vector v = mesh.positions[k];
                if (placement.scaled) v = {v.x * s.x, v.y * s.y, v.z * s.z};
                if (turning) v = turned(v, turns);
                if (placement.moved) v = v + placement.move;
                if (!isFinite(v)) finite = false;
                mesh.positions[k] = v;
            }
        });
    }
    // A scale the same along every axis does not turn normals; a negative one reverses them.
    const bool uniform = s.x == s.y && s.y == s.z;
    if ((placement.scaled && !(uniform && s.x > 0.0)) || turning) {
        inPieces(threads, mesh.normals.size(), [&](std::size_t begin, std::size_t end) {
            for (std::size_t k = begin; k < end; ++k) {
                Vector n = mesh.normals[k];
                if (placement.scaled && uniform && s.x < 0.0) n = -n;
                if (placement.scaled && !uniform) n = {n.x / s.x, n.y / s.y, n.z / s.z};
                if (turning) n = turned(n, turns);
                mesh.normals[k] = n;
            }
        });
    }
    return finite;
}

MeshPlan planMesh(const ModelMesh& mesh, Shading shading, int threads) {
    MeshPlan plan;
    const std::size_t count = mesh.triangleCount();
    plan.pieces.resize(count);
    std::atomic<bool> needVertexNormals{false};
    inPieces(threads, count, [&](std::size_t begin, std::size_t end) {
        bool need = false;
        for (std::size_t t = begin; t < end; ++t) {
            Vector v[3];
            cornersOf(mesh, t, v);
            // Both normals the records take: the flat triangle's (V0 - V1) x (V2 - V1), the patch's.
            if (!usable(cross(v[0] - v[1], v[2] - v[1])) || !usable(faceNormal(v))) {
                plan.pieces[t] = Piece::skipped;
                continue;
            }
            bool given[3];
            Vector n[3];
            for (int k = 0; k < 3; ++k) given[k] = fileNormal(mesh, t, k, &n[k]);
            const bool patch = shading == Shading::smooth ||
                               (shading == Shading::asFile && given[0] && given[1] && given[2]);
            plan.pieces[t] = patch ? Piece::patch : Piece::triangle;
            for (int k = 0; patch && k < 3; ++k) need |= !given[k] || !usable(n[k]);
        }
        if (need) needVertexNormals = true;
    });
    for (const Piece p : plan.pieces) {
        plan.skipped += p == Piece::skipped;
        plan.triangles += p == Piece::triangle;
        plan.patches += p == Piece::patch;
    }
    if (needVertexNormals) addVertexNormals(mesh, &plan);
    return plan;
}

void patchNormals(const ModelMesh& mesh, const MeshPlan& plan, std::size_t t, Vector normals[3]) {
    Vector v[3];
    cornersOf(mesh, t, v);
    for (int k = 0; k < 3; ++k) {
        if (fileNormal(mesh, t, k, &normals[k]) && usable(normals[k])) continue;
        if (!plan.vertexNormals.empty()) {
            normals[k] = plan.vertexNormals[vertexOf(plan, mesh.corners[3 * t + k])];
            if (usable(normals[k])) continue;
        }
        normals[k] = faceNormal(v);
    }
}
