#include "scene/model/ply.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <optional>
#include <string_view>

#include "base/tasks.h"
#include "scene/model/text.h"

namespace {

enum class PlyType { int8, uint8, int16, uint16, int32, uint32, float32, float64 };

struct TypeName {
    std::string_view name;
    PlyType type;
};

constexpr TypeName typeNames[] = {
    {"char", PlyType::int8},       {"int8", PlyType::int8},       {"uchar", PlyType::uint8},
    {"uint8", PlyType::uint8},     {"short", PlyType::int16},     {"int16", PlyType::int16},
    {"ushort", PlyType::uint16},   {"uint16", PlyType::uint16},   {"int", PlyType::int32},
    {"int32", PlyType::int32},     {"uint", PlyType::uint32},     {"uint32", PlyType::uint32},
    {"float", PlyType::float32},   {"float32", PlyType::float32}, {"double", PlyType::float64},
    {"float64", PlyType::float64},
};

constexpr std::size_t sizeOf(PlyType type) {
    switch (type) {
        case PlyType::int8:
        case PlyType::uint8: return 1;
        case PlyType::int16:
        case PlyType::uint16: return 2;
        case PlyType::int32:
        case PlyType::uint32:
        case PlyType::float32: return 4;
        case PlyType::float64: return 8;
    }
    return 0;
}

struct Property {
    std::string name;
    PlyType type;  // of the value, or of a list's items
    bool list;
    PlyType countType;  // of a list's count
};

struct Element {
    std::string name;
    std::uint64_t count;
    std::vector<Property> properties;

    // The fewest bytes one record takes in a binary file: every list empty.
    std::uint64_t leastBytes() const {
        std::uint64_t bytes = 0;
        for (const Property& p : properties) bytes += sizeOf(p.list ? p.countType : p.type);
        return bytes;
    }
    bool fixedSize() const {
        return std::none_of(properties.begin(), properties.end(), [](const Property& p) { return p.list; });
    }
    int find(std::string_view wanted) const {
        for (std::size_t k = 0; k < properties.size(); ++k) {
            if (properties[k].name == wanted) return static_cast<int>(k);
        }
        return -1;
    }
};

enum class Encoding { ascii, littleEndian, bigEndian };

struct Header {
    Encoding encoding = Encoding::ascii;
    std::vector<Element> elements;
    std::size_t dataStart = 0;  // the first byte after the end_header line
    std::int64_t dataLine = 0;  // its line
};

// The header's own errors are errors of a line.
struct HeaderRead {
    Header header;
    ModelError error;
};

HeaderRead headerError(std::string what, std::int64_t line) { return {{}, {std::move(what), line, -1}}; }

std::optional<PlyType> typeNamed(std::string_view name) {
    for (const TypeName& t : typeNames) {
        if (t.name == name) return t.type;
    }
    return std::nullopt;
}

HeaderRead readHeader(ModelBytes bytes) {
    LineReader lines(bytes);
    std::string_view line = lines.next();
    if (line != "ply") return headerError("not a PLY file: the first line is not \"ply\"", 1);
    HeaderRead read;
    Header& header = read.header;
    bool formatSeen = false;
    for (;;) {
        if (lines.atEnd()) return headerError("the header has no end_header line", lines.lineNumber());
        line = lines.next();
        const std::int64_t at = lines.lineNumber();
        const std::vector<std::string_view> words = splitWords(line);
        if (words.empty()) continue;
        const std::string_view keyword = words[0];
        if (keyword == "end_header") {
            header.dataStart = lines.position();
            header.dataLine = at + 1;
            break;
        }
        if (keyword == "format") {
            if (words.size() != 3) return headerError("format line expected as: format ENCODING 1.0", at);
            if (words[1] == "ascii") {
                header.encoding = Encoding::ascii;
            } else if (words[1] == "binary_little_endian") {
                header.encoding = Encoding::littleEndian;
            } else if (words[1] == "binary_big_endian") {
                header.encoding = Encoding::bigEndian;
            } else {
                return headerError("unknown format \"" + std::string(words[1]) + "\"", at);
            }
            formatSeen = true;
        } else if (keyword == "element") {
            std::uint64_t count = 0;
            if (words.size() != 3 || !wholeNumber(words[2], &count)) {
                return headerError("element line expected as: element NAME COUNT", at);
            }
            header.elements.push_back({std::string(words[1]), count, {}});
        } else if (keyword == "property") {
            if (header.elements.empty()) return headerError("a property before any element", at);
            Property property{};
            const bool list = words.size() == 5 && words[1] == "list";
            if (!list && words.size() != 3) {
                return headerError(
                    "property line expected as: property TYPE NAME, or property list TYPE TYPE NAME", at);
            }
            const std::string_view typeWord = list ? words[3] : words[1];
            const std::optional<PlyType> type = typeNamed(typeWord);
            if (!type) return headerError("unknown property type \"" + std::string(typeWord) + "\"", at);
            property.type = *type;
            property.list = list;
            if (list) {
                const std::optional<PlyType> countType = typeNamed(words[2]);
                if (!countType)
                    return headerError("unknown property type \"" + std::string(words[2]) + "\"", at);
                property.countType = *countType;
            }
            property.name = std::string(words.back());
            header.elements.back().properties.push_back(std::move(property));
        }
        // Any other line (some programs write a line of their own) is read past, as a comment.
    }
    if (!formatSeen) return headerError("the header has no format line", header.dataLine - 1);
    return read;
}

// Values of a binary file, in the file's byte order.
class BinaryValues {
public:
    explicit BinaryValues(bool bigEndian) : swap_(bigEndian != (std::endian::native == std::endian::big)) {}

    double value(PlyType type, const unsigned char* at) const {
        switch (type) {
            case PlyType::int8: return static_cast<std::int8_t>(at[0]);
            case PlyType::uint8: return at[0];
            case PlyType::int16: return std::bit_cast<std::int16_t>(load<std::uint16_t>(at));
            case PlyType::uint16: return load<std::uint16_t>(at);
            case PlyType::int32: return std::bit_cast<std::int32_t>(load<std::uint32_t>(at));
            case PlyType::uint32: return load<std::uint32_t>(at);
            case PlyType::float32: return std::bit_cast<float>(load<std::uint32_t>(at));
            case PlyType::float64: return std::bit_cast<double>(load<std::uint64_t>(at));
        }
        return 0.0;
    }

private:
    template <class U>
    U load(const unsigned char* at) const {
        U u;
        std::memcpy(&u, at, sizeof u);
        if (!swap_) return u;
        if constexpr (sizeof(U) == 2) return static_cast<U>(__builtin_bswap16(u));
        if constexpr (sizeof(U) == 4) return __builtin_bswap32(u);
        if constexpr (sizeof(U) == 8) return __builtin_bswap64(u);
    }

    bool swap_;
};

// A count or an index: a whole number of at most 2^32 - 1, whatever its type.
bool wholeValue(double value, std::uint64_t* out) {
    if (!(value >= 0.0 && value <= 4294967295.0) ||
        value != static_cast<double>(static_cast<std::uint64_t>(value))) {
        return false;
    }
    *out = static_cast<std::uint64_t>(value);
    return true;
}

// Where the vertex and face data are found, and what the model will hold.
struct Layout {
    int vertexElement = -1;
    int faceElement = -1;
    int x = -1, y = -1, z = -1;  // properties of the vertex element
    int nx = -1, ny = -1, nz = -1;
    int indices = -1;  // the face element's index list
    bool normals() const { return nx >= 0 && ny >= 0 && nz >= 0; }
    // Puts the value of vertex property `property` where it belongs, if anywhere.
    void store(int property, double value, Vector* position, Vector* normal) const {
        if (property == x) position->x = value;
        if (property == y) position->y = value;
        if (property == z) position->z = value;
        if (property == nx) normal->x = value;
        if (property == ny) normal->y = value;
        if (property == nz) normal->z = value;
    }
};

ModelError findLayout(const Header& header, Layout* layout) {
    for (std::size_t k = 0; k < header.elements.size(); ++k) {
        const Element& element = header.elements[k];
        if (element.name == "vertex" && layout->vertexElement < 0)
            layout->vertexElement = static_cast<int>(k);
        if (element.name == "face" && layout->faceElement < 0) layout->faceElement = static_cast<int>(k);
    }
    if (layout->vertexElement < 0) return {"the header has no vertex element"};
    if (layout->faceElement < 0)
        return {"the header has no face element (a point cloud has no faces to render)"};
    const Element& vertex = header.elements[layout->vertexElement];
    int* const slots[] = {&layout->x, &layout->y, &layout->z, &layout->nx, &layout->ny, &layout->nz};
    const char* const names[] = {"x", "y", "z", "nx", "ny", "nz"};
    for (int k = 0; k < 6; ++k) {
        *slots[k] = vertex.find(names[k]);
        if (*slots[k] >= 0 && vertex.properties[*slots[k]].list) {
            return {"the vertex property " + std::string(names[k]) + " is a list"};
        }
    }
    if (layout->x < 0 || layout->y < 0 || layout->z < 0) return {"the vertex element has no x, y and z"};
    if (vertex.count > maxModelPositions) return {"more than 4294967294 vertices"};
    const Element& face = header.elements[layout->faceElement];
    layout->indices = face.find("vertex_indices");
    if (layout->indices < 0) layout->indices = face.find("vertex_index");
    if (layout->indices < 0 || !face.properties[layout->indices].list) {
        return {"the face element has no vertex_indices list"};
    }
    return {};
}

// The data of a binary file, element after element.
class BinaryReader {
public:
    BinaryReader(ModelBytes bytes, const Header& header, const Layout& layout, int threads)
        : bytes_(bytes),
          at_(header.dataStart),
          header_(header),
          layout_(layout),
          values_(header.encoding == Encoding::bigEndian),
          threads_(threads) {}

    ModelRead read() {
        if (ModelError error = checkSizes(); !error.what.empty()) return {{}, error};
        const Element& vertex = header_.elements[layout_.vertexElement];
        mesh_.positions.resize(vertex.count);
        if (layout_.normals()) mesh_.normals.resize(vertex.count);
        for (std::size_t k = 0; k < header_.elements.size(); ++k) {
            const Element& element = header_.elements[k];
            ModelError error;
            if (static_cast<int>(k) == layout_.vertexElement) {
                error = element.fixedSize() ? readFixedVertices(element) : walk(element, Role::vertices);
            } else {
                error = walk(element, static_cast<int>(k) == layout_.faceElement ? Role::faces : Role::other);
            }
            if (!error.what.empty()) return {{}, error};
        }
        return {std::move(mesh_), {}};
    }

private:
    enum class Role { vertices, faces, other };

    // Every element needs at least its records' fixed bytes: counts that the rest of the file
    // cannot hold are refused before anything is allocated for them.
    ModelError checkSizes() const {
        std::uint64_t left = bytes_.size() - at_;
        for (const Element& element : header_.elements) {
            const std::uint64_t least = element.leastBytes();
            if (least != 0 && element.count > left / least) {
                return {"the header announces " + std::to_string(element.count) + " " + element.name +
                            " records of at least " + std::to_string(least) + " bytes, but only " +
                            std::to_string(bytes_.size() - header_.dataStart) + " bytes follow it",
                        0, static_cast<std::int64_t>(header_.dataStart)};
            }
            left -= element.count * least;
        }
        return {};
    }

    ModelError endsInside(const Element& element, std::uint64_t record) const {
        return {"the file ends inside " + element.name + " " + std::to_string(record) + " of " +
                    std::to_string(element.count),
                0, static_cast<std::int64_t>(bytes_.size())};
    }

    // Vertices of scalar properties only: records of one size, decoded in pieces side by side.
    ModelError readFixedVertices(const Element& element) {
        std::vector<std::size_t> offsets;
        std::size_t stride = 0;
        for (const Property& p : element.properties) {
            offsets.push_back(stride);
            stride += sizeOf(p.type);
        }
        // Lists of elements before this one may have taken more than their least size.
        if (stride != 0 && element.count > (bytes_.size() - at_) / stride) {
            return endsInside(element, (bytes_.size() - at_) / stride);
        }
        const std::size_t start = at_;
        at_ += element.count * stride;
        struct Field {
            PlyType type;
            std::size_t offset;
        };
        const auto field = [&](int property) {
            return Field{element.properties[property].type, offsets[property]};
        };
        const auto vector = [&](const unsigned char* record, const Field(&f)[3]) {
            return Vector{values_.value(f[0].type, record + f[0].offset),
                          values_.value(f[1].type, record + f[1].offset),
                          values_.value(f[2].type, record + f[2].offset)};
        };
        const Field position[3] = {field(layout_.x), field(layout_.y), field(layout_.z)};
        const bool normals = layout_.normals();
        const Field normal[3] = {field(normals ? layout_.nx : layout_.x),
                                 field(normals ? layout_.ny : layout_.y),
                                 field(normals ? layout_.nz : layout_.z)};
        constexpr std::size_t piece = std::size_t{1} << 15;
        runTasks(threads_, (element.count + piece - 1) / piece, [&](std::size_t p) {
            const std::size_t end = std::min<std::size_t>(element.count, (p + 1) * piece);
            for (std::size_t k = p * piece; k < end; ++k) {
                const unsigned char* record = bytes_.data() + start + k * stride;
                mesh_.positions[k] = vector(record, position);
                if (normals) mesh_.normals[k] = vector(record, normal);
            }
        });
        for (const std::vector<Vector>* values : {&mesh_.positions, &mesh_.normals}) {
            const std::size_t bad = firstNonFinite(*values, threads_);
            if (bad < values->size()) {
                return {std::string("vertex ") + std::to_string(bad) +
                            (values == &mesh_.positions ? ": a coordinate" : ": a normal component") +
                            " is not a finite number",
                        0, static_cast<std::int64_t>(start + bad * stride)};
            }
        }
        return {};
    }

    // Any element, record by record and property by property.
    ModelError walk(const Element& element, Role role) {
        if (element.properties.empty()) return {};  // records of nothing, however many
        const std::size_t size = bytes_.size();
        std::vector<std::uint32_t> face;
        for (std::uint64_t record = 0; record < element.count; ++record) {
            const std::size_t recordStart = at_;
            Vector position{}, normal{};
            for (std::size_t k = 0; k < element.properties.size(); ++k) {
                const Property& p = element.properties[k];
                if (!p.list) {
                    if (size - at_ < sizeOf(p.type)) return endsInside(element, record);
                    if (role == Role::vertices)
                        layout_.store(static_cast<int>(k), values_.value(p.type, bytes_.data() + at_),
                                      &position, &normal);
                    at_ += sizeOf(p.type);
                    continue;
                }
                if (size - at_ < sizeOf(p.countType)) return endsInside(element, record);
                std::uint64_t count = 0;
                if (!wholeValue(values_.value(p.countType, bytes_.data() + at_), &count)) {
                    return {
                        element.name + " " + std::to_string(record) + ": the list size is not a whole number",
                        0, static_cast<std::int64_t>(at_)};
                }
                at_ += sizeOf(p.countType);
                const std::size_t itemSize = sizeOf(p.type);
                if (count > (size - at_) / itemSize) return endsInside(element, record);
                if (role == Role::faces && static_cast<int>(k) == layout_.indices) {
                    face.clear();
                    for (std::uint64_t c = 0; c < count; ++c, at_ += itemSize) {
                        std::uint64_t index = 0;
                        if (!wholeValue(values_.value(p.type, bytes_.data() + at_), &index) ||
                            index >= mesh_.positions.size()) {
                            return {"face " + std::to_string(record) + ": vertex index " +
                                        formatNumber(values_.value(p.type, bytes_.data() + at_)) +
                                        " out of range (" + std::to_string(mesh_.positions.size()) +
                                        " vertices)",
                                    0, static_cast<std::int64_t>(at_)};
                        }
                        face.push_back(static_cast<std::uint32_t>(index));
                    }
                    addFace(mesh_, face.data(), nullptr, face.size());
                } else {
                    at_ += count * itemSize;
                }
            }
            if (role == Role::vertices) {
                if (!isFinite(position) || !isFinite(normal)) {
                    return {"vertex " + std::to_string(record) + ": a value is not a finite number", 0,
                            static_cast<std::int64_t>(recordStart)};
                }
                mesh_.positions[record] = position;
                if (layout_.normals()) mesh_.normals[record] = normal;
            }
        }
        return {};
    }

    ModelBytes bytes_;
    std::size_t at_;
    const Header& header_;
    const Layout& layout_;
    BinaryValues values_;
    int threads_;
    ModelMesh mesh_;
};

// The data of an ASCII file: one record a line, values separated by blanks.
class AsciiReader {
public:
    AsciiReader(ModelBytes bytes, const Header& header, const Layout& layout)
        : text_(bytes, header.dataStart, header.dataLine), header_(header), layout_(layout) {}

    ModelRead read() {
        if (ModelError error = checkSizes(); !error.what.empty()) return {{}, error};
        const Element& vertex = header_.elements[layout_.vertexElement];
        mesh_.positions.resize(vertex.count);
        if (layout_.normals()) mesh_.normals.resize(vertex.count);
        std::vector<std::uint32_t> face;
        for (std::size_t e = 0; e < header_.elements.size(); ++e) {
            const Element& element = header_.elements[e];
            const bool vertices = static_cast<int>(e) == layout_.vertexElement;
            const bool faces = static_cast<int>(e) == layout_.faceElement;
            for (std::uint64_t record = 0; record < element.count; ++record) {
                text_.skipBlankLines();
                if (text_.atEnd()) {
                    return modelError("the file ends before " + element.name + " " + std::to_string(record) +
                                          " of " + std::to_string(element.count),
                                      text_.lineNumber());
                }
                Vector position{}, normal{};
                for (std::size_t k = 0; k < element.properties.size(); ++k) {
                    const Property& p = element.properties[k];
                    if (!p.list) {
                        double value = 0.0;
                        if (ModelError error = number(element, record, &value); !error.what.empty()) {
                            return {{}, error};
                        }
                        if (vertices) layout_.store(static_cast<int>(k), value, &position, &normal);
                        continue;
                    }
                    std::uint64_t count = 0;
                    if (ModelError error = whole(element, record, "a list size", &count);
                        !error.what.empty()) {
                        return {{}, error};
                    }
                    const bool indices = faces && static_cast<int>(k) == layout_.indices;
                    face.clear();
                    for (std::uint64_t c = 0; c < count; ++c) {
                        std::uint64_t index = 0;
                        if (!indices) {
                            double ignored = 0.0;
                            if (ModelError error = number(element, record, &ignored); !error.what.empty()) {
                                return {{}, error};
                            }
                            continue;
                        }
                        if (ModelError error = whole(element, record, "a vertex index", &index);
                            !error.what.empty()) {
                            return {{}, error};
                        }
                        if (index >= mesh_.positions.size()) {
                            return modelError("face " + std::to_string(record) + ": vertex index " +
                                                  std::to_string(index) + " out of range (" +
                                                  std::to_string(mesh_.positions.size()) + " vertices)",
                                              text_.lineNumber());
                        }
                        face.push_back(static_cast<std::uint32_t>(index));
                    }
                    if (indices) addFace(mesh_, face.data(), nullptr, face.size());
                }
                if (vertices) {
                    if (!isFinite(position) || !isFinite(normal)) {
                        return modelError(
                            "vertex " + std::to_string(record) + ": a value is not a finite number",
                            text_.lineNumber());
                    }
                    mesh_.positions[record] = position;
                    if (layout_.normals()) mesh_.normals[record] = normal;
                }
                if (!text_.endOfLine()) {
                    return modelError(element.name + " " + std::to_string(record) +
                                          ": more values on the line than the header gives it",
                                      text_.lineNumber());
                }
            }
        }
        return {std::move(mesh_), {}};
    }

private:
    // Each value takes at least two characters (a digit and a blank or line end).
    ModelError checkSizes() const {
        const std::uint64_t bytes = text_.bytesLeft() + 1;
        std::uint64_t values = 0;
        for (const Element& element : header_.elements) {
            const std::uint64_t perRecord = element.properties.size();
            if (perRecord != 0 && element.count > (bytes / 2 - values) / perRecord) {
                return {"the header announces " + std::to_string(element.count) + " " + element.name +
                            " records, more than the " + std::to_string(bytes - 1) +
                            " bytes after it can hold",
                        header_.dataLine - 1};
            }
            values += element.count * perRecord;
        }
        return {};
    }

    ModelError number(const Element& element, std::uint64_t record, double* value) {
        const std::string_view word = text_.wordInLine();
        if (word.empty()) return tooFew(element, record);
        if (!parseDecimal(word, value)) {
            return {element.name + " " + std::to_string(record) + ": a number expected, found \"" +
                        std::string(word) + "\"",
                    text_.lineNumber()};
        }
        return {};
    }

    ModelError whole(const Element& element, std::uint64_t record, const char* what, std::uint64_t* value) {
        const std::string_view word = text_.wordInLine();
        if (word.empty()) return tooFew(element, record);
        if (!wholeNumber(word, value) || *value > 4294967295u) {
            return {element.name + " " + std::to_string(record) + ": " + what + " expected, found \"" +
                        std::string(word) + "\"",
                    text_.lineNumber()};
        }
        return {};
    }

    ModelError tooFew(const Element& element, std::uint64_t record) const {
        return {element.name + " " + std::to_string(record) +
                    ": fewer values on the line than the header gives it",
                text_.lineNumber()};
    }

    WordReader text_;
    const Header& header_;
    const Layout& layout_;
    ModelMesh mesh_;
};

}  // namespace

bool looksLikePly(ModelBytes bytes) {
    const std::string_view start(reinterpret_cast<const char*>(bytes.data()),
                                 std::min<std::size_t>(bytes.size(), 5));
    return start.starts_with("ply\n") || start.starts_with("ply\r\n");
}

ModelRead readPly(ModelBytes bytes, int threads) {
    const HeaderRead header = readHeader(bytes);
    if (!header.error.what.empty()) return {{}, header.error};
    Layout layout;
    if (ModelError error = findLayout(header.header, &layout); !error.what.empty()) {
        error.line = header.header.dataLine - 1;
        return {{}, error};
    }
    ModelRead read = header.header.encoding == Encoding::ascii
                         ? AsciiReader(bytes, header.header, layout).read()
                         : BinaryReader(bytes, header.header, layout, threads).read();
    if (read.ok() && read.mesh.triangleCount() == 0 && read.mesh.droppedFaces == 0) {
        return modelError("the model has no faces");
    }
    return read;
}
