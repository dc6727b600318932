#include "scene/model/gltf.h"

#include <tiny_gltf.h>

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>
#include <map>
#include <string_view>

namespace {

// JSON nested deeper than this is refused before tinygltf reads it: it walks nested values
// recursively.
constexpr int maxJsonDepth = 256;

std::uint32_t littleEndian32(const unsigned char* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

bool nestsTooDeep(std::string_view json) {
    int depth = 0;
    bool inString = false;
    for (std::size_t k = 0; k < json.size(); ++k) {
        const char ch = json[k];
        if (inString) {
            if (ch == '\\') {
                ++k;
            } else if (ch == '"') {
                inString = false;
            }
        } else if (ch == '"') {
            inString = true;
        } else if (ch == '[' || ch == '{') {
            if (++depth > maxJsonDepth) return true;
        } else if (ch == ']' || ch == '}') {
            --depth;
        }
    }
    return false;
}

// The parts of a .glb file, checked before tinygltf reads it (it trusts the BIN chunk's length).
ModelError checkGlb(ModelBytes bytes, std::string_view* json) {
    if (!looksLikeGlb(bytes)) return {"not a binary glTF file: it does not begin with \"glTF\"", 0, 0};
    if (bytes.size() < 20)
        return {"a binary glTF file needs at least 20 bytes", 0, std::int64_t(bytes.size())};
    const std::uint32_t version = littleEndian32(bytes.data() + 4);
    if (version != 2) return {"glTF version " + std::to_string(version) + " (only 2 is read)", 0, 4};
    const std::uint64_t length = littleEndian32(bytes.data() + 8);
    if (length > bytes.size()) {
        return {"the header gives a length of " + std::to_string(length) + " bytes, the file has " +
                    std::to_string(bytes.size()),
                0, 8};
    }
    const std::uint64_t jsonLength = littleEndian32(bytes.data() + 12);
    if (20 + jsonLength > length) return {"the JSON chunk runs past the end of the file", 0, 12};
    *json = {reinterpret_cast<const char*>(bytes.data()) + 20, jsonLength};
    const std::uint64_t binStart = 20 + jsonLength;
    if (binStart + 8 <= length) {
        const std::uint64_t binLength = littleEndian32(bytes.data() + binStart);
        if (binStart + 8 + binLength > length) {
            return {"the BIN chunk runs past the end of the file", 0, static_cast<std::int64_t>(binStart)};
        }
    }
    return {};
}

bool isImageName(const std::string& path) {
    constexpr std::string_view endings[] = {".png", ".jpg", ".jpeg", ".ktx", ".ktx2", ".webp",
                                            ".dds", ".bmp", ".gif",  ".tga", ".hdr",  ".basis"};
    std::string lower(path);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; });
    return std::any_of(std::begin(endings), std::end(endings),
                       [&](std::string_view ending) { return std::string_view(lower).ends_with(ending); });
}

// What tinygltf's file callbacks work with: each file is fetched once, when tinygltf asks
// whether it is there, and handed over when it asks for its bytes. Images are never read.
struct FileAccess {
    const FileFetcher* fetch;
    std::map<std::string, FetchedFile> files;
    std::string firstFailure;  // the first file that could not be read, and why
};

bool fileExists(const std::string& path, void* access) {
    if (isImageName(path)) return false;
    FileAccess& files = *static_cast<FileAccess*>(access);
    auto [entry, fresh] = files.files.try_emplace(path);
    if (fresh) entry->second = (*files.fetch)(path);
    if (!entry->second.error.empty() && files.firstFailure.empty()) {
        files.firstFailure = path + " " + entry->second.error;
    }
    return entry->second.error.empty();
}

std::string expandFilePath(const std::string& path, void*) { return path; }

bool readWholeFile(std::vector<unsigned char>* out, std::string* error, const std::string& path,
                   void* access) {
    FileAccess& files = *static_cast<FileAccess*>(access);
    const auto entry = files.files.find(path);
    if (entry == files.files.end() || !entry->second.error.empty()) {
        *error = "cannot be read";
        return false;
    }
    *out = std::move(entry->second.bytes);
    files.files.erase(entry);
    return true;
}

bool ignoreImage(tinygltf::Image*, const int, std::string*, std::string*, int, int, const unsigned char*, int,
                 void*) {
    return true;
}

// tinygltf's first error line.
std::string firstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '.'))
        line.pop_back();
    return line.empty() ? "tinygltf cannot read the file" : line;
}

// An affine transform, 4 x 4 column by column as glTF writes it.
using Matrix = std::array<double, 16>;
constexpr Matrix identity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix product{};
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[column * 4 + k];
            product[column * 4 + row] = sum;
        }
    }
    return product;
}

Matrix nodeMatrix(const tinygltf::Node& node) {
    if (node.matrix.size() == 16) {
        Matrix m;
        std::copy(node.matrix.begin(), node.matrix.end(), m.begin());
        return m;
    }
    const auto value = [](const std::vector<double>& values, std::size_t k, double otherwise) {
        return values.size() > k ? values[k] : otherwise;
    };
    double x = value(node.rotation, 0, 0.0), y = value(node.rotation, 1, 0.0);
    double z = value(node.rotation, 2, 0.0), w = value(node.rotation, 3, 1.0);
    const double norm = std::sqrt(x * x + y * y + z * z + w * w);
    if (norm > 0.0 && norm != 1.0) {
        x /= norm;
        y /= norm;
        z /= norm;
        w /= norm;
    }
    const double r[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)},
                            {2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)},
                            {2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)}};
    Matrix m = identity;
    for (int column = 0; column < 3; ++column) {
        const double s = value(node.scale, column, 1.0);
        for (int row = 0; row < 3; ++row) m[column * 4 + row] = r[row][column] * s;
        m[12 + column] = value(node.translation, column, 0.0);
    }
    return m;
}

Vector transformPoint(const Matrix& m, Vector p) {
    return {m[0] * p.x + m[4] * p.y + m[8] * p.z + m[12], m[1] * p.x + m[5] * p.y + m[9] * p.z + m[13],
            m[2] * p.x + m[6] * p.y + m[10] * p.z + m[14]};
}

// The inverse of the transposed upper 3 x 3 part, which carries normals; zero for a flat transform.
Matrix normalMatrix(const Matrix& m) {
    const auto a = [&](int row, int column) { return m[column * 4 + row]; };
    Matrix n{};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const int r0 = (row + 1) % 3, r1 = (row + 2) % 3, c0 = (column + 1) % 3, c1 = (column + 2) % 3;
            n[column * 4 + row] = a(r0, c0) * a(r1, c1) - a(r0, c1) * a(r1, c0);  // the cofactor
        }
    }
    const double det = a(0, 0) * n[0] + a(0, 1) * n[4] + a(0, 2) * n[8];
    for (double& v : n) v = det != 0.0 ? v / det : 0.0;
    return n;
}

Vector transformNormal(const Matrix& n, Vector v) {
    return {n[0] * v.x + n[4] * v.y + n[8] * v.z, n[1] * v.x + n[5] * v.y + n[9] * v.z,
            n[2] * v.x + n[6] * v.y + n[10] * v.z};
}

// One mesh placed by a node.
struct Instance {
    int mesh;
    Matrix world;
    bool moved;  // the world transform is not the identity
};

constexpr int componentSize(int type) {
    switch (type) {
        case TINYGLTF_COMPONENT_TYPE_BYTE:
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: return 1;
        case TINYGLTF_COMPONENT_TYPE_SHORT:
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: return 2;
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
        case TINYGLTF_COMPONENT_TYPE_FLOAT: return 4;
        default: return 0;
    }
}

double component(int type, bool normalized, const unsigned char* at) {
    switch (type) {
        case TINYGLTF_COMPONENT_TYPE_BYTE: {
            const double c = static_cast<std::int8_t>(at[0]);
            return normalized ? std::max(c / 127.0, -1.0) : c;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: return normalized ? at[0] / 255.0 : at[0];
        case TINYGLTF_COMPONENT_TYPE_SHORT: {
            const double c = static_cast<std::int16_t>(at[0] | at[1] << 8);
            return normalized ? std::max(c / 32767.0, -1.0) : c;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
            const double c = at[0] | at[1] << 8;
            return normalized ? c / 65535.0 : c;
        }
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT: return littleEndian32(at);
        case TINYGLTF_COMPONENT_TYPE_FLOAT: return std::bit_cast<float>(littleEndian32(at));
        default: return 0.0;
    }
}

class GltfMeshes {
public:
    explicit GltfMeshes(const tinygltf::Model& model) : model_(model) {
        for (const tinygltf::Buffer& buffer : model.buffers) bufferBytes_ += buffer.data.size();
    }

    ModelRead read() {
        if (!model_.asset.version.starts_with("2.")) {
            return modelError("glTF version " + model_.asset.version + " (only 2.0 is read)");
        }
        for (const std::string& extension : model_.extensionsRequired) {
            if (extension == "KHR_draco_mesh_compression" || extension == "EXT_meshopt_compression") {
                return modelError("the file needs " + extension + ", which is not supported");
            }
        }
        std::vector<Instance> instances;
        if (ModelError error = placeMeshes(&instances); !error.what.empty()) return {{}, error};
        for (const Instance& instance : instances) {
            for (std::size_t p = 0; p < model_.meshes[instance.mesh].primitives.size(); ++p) {
                if (ModelError error = addPrimitive(instance, static_cast<int>(p)); !error.what.empty()) {
                    return {{}, error};
                }
            }
        }
        if (mesh_.triangleCount() == 0 && mesh_.droppedFaces == 0) {
            return modelError("the scene has no triangles");
        }
        if (!mixedNormals_ && !anyNormals_) mesh_.normals.clear();
        if (!mixedNormals_) mesh_.cornerNormals.clear();
        return {std::move(mesh_), {}};
    }

private:
    // The meshes of the default scene, each with its node's world transform.
    ModelError placeMeshes(std::vector<Instance>* instances) {
        const int nodeCount = static_cast<int>(model_.nodes.size());
        std::vector<int> roots;
        const int scene = model_.defaultScene >= 0 ? model_.defaultScene : model_.scenes.empty() ? -1 : 0;
        if (scene >= static_cast<int>(model_.scenes.size())) return {"the default scene does not exist"};
        std::vector<char> hasParent(nodeCount, 0);
        for (const tinygltf::Node& node : model_.nodes) {
            for (const int child : node.children) {
                if (child < 0 || child >= nodeCount) return {"a node has a child that does not exist"};
                hasParent[child] = 1;
            }
        }
        if (scene >= 0) {
            roots = model_.scenes[scene].nodes;
        } else {
            for (int k = 0; k < nodeCount; ++k) {
                if (!hasParent[k]) roots.push_back(k);
            }
        }
        std::vector<char> visited(nodeCount, 0);
        struct Step {
            int node;
            Matrix parent;
            bool moved;
        };
        std::vector<Step> stack;
        for (auto root = roots.rbegin(); root != roots.rend(); ++root)
            stack.push_back({*root, identity, false});
        while (!stack.empty()) {
            const Step step = stack.back();
            stack.pop_back();
            if (step.node < 0 || step.node >= nodeCount)
                return {"the scene names a node that does not exist"};
            if (visited[step.node]) {
                return {"node " + std::to_string(step.node) + " stands twice in the scene's node tree"};
            }
            visited[step.node] = 1;
            const tinygltf::Node& node = model_.nodes[step.node];
            const bool local = node.matrix.size() == 16 || !node.rotation.empty() || !node.scale.empty() ||
                               !node.translation.empty();
            const Matrix own = nodeMatrix(node);
            const bool moved = step.moved || (local && own != identity);
            const Matrix world = !local ? step.parent : step.moved ? multiply(step.parent, own) : own;
            if (node.mesh >= 0) {
                if (node.mesh >= static_cast<int>(model_.meshes.size())) {
                    return {"node " + std::to_string(step.node) + " names a mesh that does not exist"};
                }
                instances->push_back({node.mesh, world, moved});
            }
            for (auto child = node.children.rbegin(); child != node.children.rend(); ++child) {
                stack.push_back({*child, world, moved});
            }
        }
        for (const Instance& instance : *instances) {
            for (const tinygltf::Primitive& primitive : model_.meshes[instance.mesh].primitives) {
                if (!isTriangles(primitive) || !primitive.attributes.count("POSITION")) continue;
                const bool normals = primitive.attributes.count("NORMAL") != 0;
                anyNormals_ |= normals;
                allNormals_ &= normals;
            }
        }
        mixedNormals_ = anyNormals_ && !allNormals_;
        return {};
    }

    static int mode(const tinygltf::Primitive& primitive) {
        return primitive.mode < 0 ? TINYGLTF_MODE_TRIANGLES : primitive.mode;
    }
    static bool isTriangles(const tinygltf::Primitive& primitive) {
        const int m = mode(primitive);
        return m == TINYGLTF_MODE_TRIANGLES || m == TINYGLTF_MODE_TRIANGLE_STRIP ||
               m == TINYGLTF_MODE_TRIANGLE_FAN;
    }

    // Where an accessor's elements lie, checked against its buffer view and buffer.
    struct View {
        const unsigned char* data = nullptr;  // null: every value 0
        std::size_t stride = 0;
    };

    ModelError view(int bufferViewIndex, std::size_t byteOffset, std::size_t count, std::size_t elementSize,
                    std::size_t strideGiven, const std::string& what, View* out) const {
        if (bufferViewIndex >= static_cast<int>(model_.bufferViews.size())) {
            return {what + " names a buffer view that does not exist"};
        }
        const tinygltf::BufferView& bv = model_.bufferViews[bufferViewIndex];
        if (bv.buffer < 0 || bv.buffer >= static_cast<int>(model_.buffers.size())) {
            return {what + ": its buffer view names a buffer that does not exist"};
        }
        const std::vector<unsigned char>& buffer = model_.buffers[bv.buffer].data;
        if (bv.byteOffset > buffer.size() || bv.byteLength > buffer.size() - bv.byteOffset) {
            return {what + ": its buffer view runs past the end of its buffer"};
        }
        const std::size_t stride = strideGiven != 0 ? strideGiven : elementSize;
        if (stride < elementSize) return {what + ": the buffer view's stride is smaller than an element"};
        if (byteOffset > bv.byteLength || elementSize > bv.byteLength - byteOffset ||
            count - 1 > (bv.byteLength - byteOffset - elementSize) / stride) {
            return {what + ": its elements run past the end of its buffer view"};
        }
        out->data = buffer.data() + bv.byteOffset + byteOffset;
        out->stride = stride;
        return {};
    }

    // The accessor's values, `components` a element, with sparse substitutions applied.
    ModelError values(int index, int type, int components, const std::string& what,
                      std::vector<double>* out) const {
        if (index < 0 || index >= static_cast<int>(model_.accessors.size())) {
            return {what + " names an accessor that does not exist"};
        }
        const tinygltf::Accessor& a = model_.accessors[index];
        const int size = componentSize(a.componentType);
        if (a.type != type || size == 0 ||
            (a.normalized && a.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT)) {
            return {what + ": accessor " + std::to_string(index) + " has the wrong element type"};
        }
        // Every element takes at least one byte of some buffer.
        if (a.count > bufferBytes_ + 1)
            return {what + ": accessor " + std::to_string(index) + " has too many elements"};
        out->assign(a.count * components, 0.0);
        if (a.count == 0) return {};
        const std::size_t elementSize = static_cast<std::size_t>(size) * components;
        if (a.bufferView >= 0) {
            View v;
            const std::size_t stride = model_.bufferViews.size() > std::size_t(a.bufferView)
                                           ? model_.bufferViews[a.bufferView].byteStride
                                           : 0;
            if (ModelError error = view(a.bufferView, a.byteOffset, a.count, elementSize, stride, what, &v);
                !error.what.empty()) {
                return error;
            }
            for (std::size_t e = 0; e < a.count; ++e) {
                for (int c = 0; c < components; ++c) {
                    (*out)[e * components + c] =
                        component(a.componentType, a.normalized, v.data + e * v.stride + c * size);
                }
            }
        }
        if (!a.sparse.isSparse) return {};
        const std::size_t sparseCount = static_cast<std::size_t>(std::max(a.sparse.count, 0));
        if (sparseCount == 0 || sparseCount > a.count)
            return {what + ": a sparse accessor with a wrong count"};
        const int indexType = a.sparse.indices.componentType;
        const int indexSize = componentSize(indexType);
        if (indexSize == 0 || indexType == TINYGLTF_COMPONENT_TYPE_FLOAT ||
            indexType == TINYGLTF_COMPONENT_TYPE_BYTE || indexType == TINYGLTF_COMPONENT_TYPE_SHORT ||
            a.sparse.indices.byteOffset < 0 || a.sparse.values.byteOffset < 0) {
            return {what + ": a sparse accessor with wrong indices"};
        }
        View indices, replacements;
        if (ModelError error = view(a.sparse.indices.bufferView, std::size_t(a.sparse.indices.byteOffset),
                                    sparseCount, indexSize, 0, what, &indices);
            !error.what.empty()) {
            return error;
        }
        if (ModelError error = view(a.sparse.values.bufferView, std::size_t(a.sparse.values.byteOffset),
                                    sparseCount, elementSize, 0, what, &replacements);
            !error.what.empty()) {
            return error;
        }
        for (std::size_t s = 0; s < sparseCount; ++s) {
            const double at = component(indexType, false, indices.data + s * indices.stride);
            if (at >= static_cast<double>(a.count)) return {what + ": a sparse index out of range"};
            const std::size_t e = static_cast<std::size_t>(at);
            for (int c = 0; c < components; ++c) {
                (*out)[e * components + c] = component(
                    a.componentType, a.normalized, replacements.data + s * replacements.stride + c * size);
            }
        }
        return {};
    }

    ModelError addPrimitive(const Instance& instance, int p) {
        const tinygltf::Primitive& primitive = model_.meshes[instance.mesh].primitives[p];
        const auto position = primitive.attributes.find("POSITION");
        if (!isTriangles(primitive) || position == primitive.attributes.end()) return {};
        const std::string what = "mesh " + std::to_string(instance.mesh) + ", primitive " + std::to_string(p);
        std::vector<double> coordinates;
        if (ModelError error =
                values(position->second, TINYGLTF_TYPE_VEC3, 3, what + ", POSITION", &coordinates);
            !error.what.empty()) {
            return error;
        }
        const std::size_t count = coordinates.size() / 3;
        const std::size_t base = mesh_.positions.size();
        // Nodes may place a mesh many times over; not without bound.
        if (base + count > placementBudget()) {
            return {"the scene places its meshes more often than read here (over " +
                    std::to_string(placementBudget()) + " vertices in all)"};
        }
        for (std::size_t k = 0; k < count; ++k) {
            Vector v{coordinates[3 * k], coordinates[3 * k + 1], coordinates[3 * k + 2]};
            if (instance.moved) v = transformPoint(instance.world, v);
            if (!isFinite(v))
                return {what + ", vertex " + std::to_string(k) + ": a coordinate is not a finite number"};
            mesh_.positions.push_back(v);
        }
        const auto normal = primitive.attributes.find("NORMAL");
        const bool normals = normal != primitive.attributes.end();
        if (anyNormals_) {
            mesh_.normals.resize(mesh_.positions.size());
            if (normals) {
                if (ModelError error =
                        values(normal->second, TINYGLTF_TYPE_VEC3, 3, what + ", NORMAL", &coordinates);
                    !error.what.empty()) {
                    return error;
                }
                if (coordinates.size() != 3 * count)
                    return {what + ": NORMAL and POSITION have different counts"};
                const Matrix turn = normalMatrix(instance.world);
                for (std::size_t k = 0; k < count; ++k) {
                    Vector n{coordinates[3 * k], coordinates[3 * k + 1], coordinates[3 * k + 2]};
                    if (instance.moved) n = transformNormal(turn, n);
                    if (!isFinite(n)) {
                        return {what + ", vertex " + std::to_string(k) +
                                ": a normal component is not a finite number"};
                    }
                    mesh_.normals[base + k] = n;
                }
            }
        }
        std::vector<std::uint32_t> order;
        if (primitive.indices >= 0) {
            if (ModelError error = indices(primitive.indices, what + ", indices", count, base, &order);
                !error.what.empty()) {
                return error;
            }
        } else {
            order.resize(count);
            for (std::size_t k = 0; k < count; ++k) order[k] = static_cast<std::uint32_t>(base + k);
        }
        if (mesh_.corners.size() + 3 * order.size() > 3 * placementBudget()) {
            return {"the scene places its meshes more often than read here (over " +
                    std::to_string(placementBudget()) + " triangles in all)"};
        }
        addTriangles(mode(primitive), order, normals);
        return {};
    }

    // A primitive's indices, each below `count`, made indices of the mesh's positions from `base` on.
    ModelError indices(int index, const std::string& what, std::size_t count, std::size_t base,
                       std::vector<std::uint32_t>* order) const {
        std::vector<double> numbers;
        if (ModelError error = values(index, TINYGLTF_TYPE_SCALAR, 1, what, &numbers); !error.what.empty()) {
            return error;
        }
        const int type = model_.accessors[index].componentType;
        if (type == TINYGLTF_COMPONENT_TYPE_FLOAT || type == TINYGLTF_COMPONENT_TYPE_BYTE ||
            type == TINYGLTF_COMPONENT_TYPE_SHORT || model_.accessors[index].normalized) {
            return {what + ": the indices are not unsigned integers"};
        }
        order->reserve(numbers.size());
        for (const double number : numbers) {
            if (number >= static_cast<double>(count)) {
                return {what + ": index " + std::to_string(static_cast<std::uint64_t>(number)) +
                        " out of range (" + std::to_string(count) + " vertices)"};
            }
            order->push_back(static_cast<std::uint32_t>(base + static_cast<std::size_t>(number)));
        }
        return {};
    }

    void addTriangles(int m, const std::vector<std::uint32_t>& order, bool normals) {
        const std::size_t n = order.size();
        const auto add = [&](std::uint32_t a, std::uint32_t b, std::uint32_t c) {
            mesh_.corners.insert(mesh_.corners.end(), {a, b, c});
            if (!mixedNormals_) return;
            if (normals) {
                mesh_.cornerNormals.insert(mesh_.cornerNormals.end(), {a, b, c});
            } else {
                mesh_.cornerNormals.insert(mesh_.cornerNormals.end(), {noNormal, noNormal, noNormal});
            }
        };
        if (m == TINYGLTF_MODE_TRIANGLES) {
            for (std::size_t k = 0; k + 2 < n; k += 3) add(order[k], order[k + 1], order[k + 2]);
            if (n % 3 != 0) ++mesh_.droppedFaces;
        } else if (m == TINYGLTF_MODE_TRIANGLE_STRIP) {
            for (std::size_t k = 0; k + 2 < n; ++k) {
                if (k % 2 == 0) {
                    add(order[k], order[k + 1], order[k + 2]);
                } else {
                    add(order[k], order[k + 2], order[k + 1]);
                }
            }
        } else {
            for (std::size_t k = 1; k + 1 < n; ++k) add(order[k], order[k + 1], order[0]);
        }
    }

    // The most vertices all placed meshes may have together: 32 for each byte of the buffers,
    // and some 16 million at least, below the indices' limit.
    std::uint64_t placementBudget() const {
        return std::min<std::uint64_t>(maxModelPositions, (std::uint64_t{1} << 24) + 32 * bufferBytes_);
    }

    const tinygltf::Model& model_;
    std::uint64_t bufferBytes_ = 0;
    bool anyNormals_ = false;
    bool allNormals_ = true;
    bool mixedNormals_ = false;
    ModelMesh mesh_;
};

}  // namespace

bool looksLikeGlb(ModelBytes bytes) { return bytes.size() >= 4 && std::memcmp(bytes.data(), "glTF", 4) == 0; }

bool looksLikeJson(ModelBytes bytes) {
    std::size_t at = 0;
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        at = 3;  // a UTF-8 mark
    while (at < bytes.size() &&
           (bytes[at] == ' ' || bytes[at] == '\t' || bytes[at] == '\r' || bytes[at] == '\n'))
        ++at;
    return at < bytes.size() && bytes[at] == '{';
}

ModelRead readGltf(ModelBytes bytes, bool binary, const std::string& directory, const FileFetcher& fetch) {
    if (bytes.size() > UINT_MAX) return modelError("a glTF file of more than 4 GiB");
    std::string_view json(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (binary) {
        if (ModelError error = checkGlb(bytes, &json); !error.what.empty()) return {{}, error};
    }
    if (nestsTooDeep(json)) return modelError("the JSON nests deeper than 256 levels");
    FileAccess access{&fetch, {}, {}};
    tinygltf::TinyGLTF loader;
    loader.SetImageLoader(ignoreImage, nullptr);
    loader.SetFsCallbacks({fileExists, expandFilePath, readWholeFile, nullptr, &access});
    tinygltf::Model model;
    std::string errors, warnings;
    bool loaded = false;
    try {
        const auto size = static_cast<unsigned int>(bytes.size());
        loaded =
            binary ? loader.LoadBinaryFromMemory(&model, &errors, &warnings, bytes.data(), size, directory)
                   : loader.LoadASCIIFromString(&model, &errors, &warnings,
                                                reinterpret_cast<const char*>(bytes.data()), size, directory);
    } catch (const std::exception& failure) {
        return modelError(std::string("tinygltf: ") + failure.what());
    }
    if (!loaded) {
        if (!access.firstFailure.empty() && errors.find("File not found") != std::string::npos) {
            return modelError("buffer file " + access.firstFailure);
        }
        return modelError(firstLine(errors));
    }
    return GltfMeshes(model).read();
}
