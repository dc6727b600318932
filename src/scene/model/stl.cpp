#include "scene/model/stl.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <numeric>
#include <string_view>

#include "base/tasks.h"
#include "scene/model/text.h"

namespace {

constexpr std::size_t headerBytes = 80;
constexpr std::size_t countBytes = 4;
constexpr std::size_t triangleBytes = 50;  // normal, three corners (twelve floats), attribute

std::uint32_t littleEndian32(const unsigned char* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

float floatAt(const unsigned char* at) { return std::bit_cast<float>(littleEndian32(at)); }

std::uint64_t binaryCount(ModelBytes bytes) { return littleEndian32(bytes.data() + headerBytes); }

bool equalsIgnoringCase(std::string_view word, std::string_view keyword) {
    return word.size() == keyword.size() &&
           std::equal(word.begin(), word.end(), keyword.begin(),
                      [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b; });
}

ModelRead readBinary(ModelBytes bytes, int threads) {
    if (bytes.size() < headerBytes + countBytes) {
        return modelError("a binary STL file needs 84 bytes of header and triangle count, the file has " +
                              std::to_string(bytes.size()),
                          0, static_cast<std::int64_t>(bytes.size()));
    }
    const std::uint64_t count = binaryCount(bytes);
    const std::uint64_t needed = headerBytes + countBytes + count * triangleBytes;
    if (needed > bytes.size()) {
        return modelError("the header announces " + std::to_string(count) + " triangles (" +
                              std::to_string(needed) + " bytes) but the file has " +
                              std::to_string(bytes.size()) + " bytes",
                          0, static_cast<std::int64_t>(headerBytes));
    }
    if (count == 0)
        return modelError("the model has no triangles", 0, static_cast<std::int64_t>(headerBytes));
    if (3 * count > maxModelPositions) {
        return modelError("more than 4294967294 corners", 0, static_cast<std::int64_t>(headerBytes));
    }
    ModelRead read;
    ModelMesh& mesh = read.mesh;
    mesh.cornersApart = true;
    mesh.positions.resize(3 * count);
    mesh.corners.resize(3 * count);
    std::iota(mesh.corners.begin(), mesh.corners.end(), std::uint32_t{0});
    constexpr std::size_t piece = std::size_t{1} << 14;
    runTasks(threads, (count + piece - 1) / piece, [&](std::size_t p) {
        const std::size_t end = std::min<std::size_t>(count, (p + 1) * piece);
        for (std::size_t t = p * piece; t < end; ++t) {
            const unsigned char* corner = bytes.data() + headerBytes + countBytes + t * triangleBytes + 12;
            for (int k = 0; k < 3; ++k, corner += 12) {
                mesh.positions[3 * t + k] = {floatAt(corner), floatAt(corner + 4), floatAt(corner + 8)};
            }
        }
    });
    const std::size_t bad = firstNonFinite(mesh.positions, threads);
    if (bad < mesh.positions.size()) {
        const std::size_t triangle = bad / 3;
        return modelError("triangle " + std::to_string(triangle) + ": a coordinate is not a finite number", 0,
                          static_cast<std::int64_t>(headerBytes + countBytes + triangle * triangleBytes + 12 +
                                                    (bad % 3) * 12));
    }
    return read;
}

class AsciiStl {
public:
    explicit AsciiStl(ModelBytes bytes) : words_(bytes, 0, 1) {}

    ModelRead read() {
        std::string_view word = words_.word();
        while (!word.empty()) {
            if (!equalsIgnoringCase(word, "solid")) return expected("solid", word);
            words_.skipLine();  // the solid's name
            for (word = words_.word(); equalsIgnoringCase(word, "facet"); word = words_.word()) {
                if (ModelError error = facet(); !error.what.empty()) return {{}, error};
            }
            if (equalsIgnoringCase(word, "endsolid")) {
                words_.skipLine();
                word = words_.word();
            } else if (!word.empty()) {
                return expected("facet or endsolid", word);
            }
        }
        if (read_.mesh.triangleCount() == 0 && read_.mesh.droppedFaces == 0) {
            return modelError("the model has no facets");
        }
        read_.mesh.cornersApart = true;
        return std::move(read_);
    }

private:
    ModelRead expected(const char* what, std::string_view found) const {
        std::string text(what);
        text += " expected, found ";
        if (found.empty()) {
            text += "the end of the file";
        } else {
            text.append(1, '"').append(found).append(1, '"');
        }
        return modelError(std::move(text), words_.lineNumber());
    }

    ModelError facet() {
        // "facet normal x y z": the normal is read past.
        std::string_view word = words_.word();
        if (!equalsIgnoringCase(word, "normal")) return expected("normal", word).error;
        for (int k = 0; k < 3; ++k) {
            double ignored = 0.0;
            word = words_.word();
            if (!parseDecimal(word, &ignored)) return expected("a number", word).error;
        }
        word = words_.word();
        if (!equalsIgnoringCase(word, "outer")) return expected("outer loop", word).error;
        word = words_.word();
        if (!equalsIgnoringCase(word, "loop")) return expected("loop", word).error;
        face_.clear();
        for (word = words_.word(); equalsIgnoringCase(word, "vertex"); word = words_.word()) {
            Vector v{};
            for (double* c : {&v.x, &v.y, &v.z}) {
                word = words_.word();
                if (!parseDecimal(word, c)) return expected("a number", word).error;
            }
            if (!isFinite(v)) return {"a vertex coordinate is not a finite number", words_.lineNumber()};
            if (read_.mesh.positions.size() == maxModelPositions) return {"more than 4294967294 corners"};
            face_.push_back(static_cast<std::uint32_t>(read_.mesh.positions.size()));
            read_.mesh.positions.push_back(v);
        }
        if (!equalsIgnoringCase(word, "endloop")) return expected("vertex or endloop", word).error;
        word = words_.word();
        if (!equalsIgnoringCase(word, "endfacet")) return expected("endfacet", word).error;
        addFace(read_.mesh, face_.data(), nullptr, face_.size());
        return {};
    }

    WordReader words_;
    ModelRead read_;
    std::vector<std::uint32_t> face_;
};

}  // namespace

bool looksLikeBinaryStl(ModelBytes bytes) {
    return bytes.size() >= headerBytes + countBytes &&
           headerBytes + countBytes + binaryCount(bytes) * triangleBytes == bytes.size();
}

bool looksLikeAsciiStl(ModelBytes bytes) {
    std::size_t at = 0;
    while (at < bytes.size() &&
           (bytes[at] == ' ' || bytes[at] == '\t' || bytes[at] == '\r' || bytes[at] == '\n'))
        ++at;
    const std::string_view rest(reinterpret_cast<const char*>(bytes.data()) + at,
                                std::min<std::size_t>(bytes.size() - at, 5));
    return equalsIgnoringCase(rest, "solid");
}

ModelRead readStl(ModelBytes bytes, int threads) {
    if (looksLikeAsciiStl(bytes) && !looksLikeBinaryStl(bytes)) return AsciiStl(bytes).read();
    return readBinary(bytes, threads);
}
