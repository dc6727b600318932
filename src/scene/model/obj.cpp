#include "scene/model/obj.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <cstring>
#include <istream>
#include <limits>
#include <streambuf>
#include <string_view>

#include "base/tasks.h"
#include "scene/model/text.h"

namespace {

// Files smaller than this are read in one piece.
constexpr std::size_t pieceBytes = std::size_t{1} << 20;
// An index the face does not give (its normal).
constexpr std::int64_t absent = std::numeric_limits<std::int64_t>::min();

// An input stream over bytes in memory, which it does not copy.
class MemoryStream : private std::streambuf, public std::istream {
public:
    explicit MemoryStream(std::string_view text) : std::istream(this) {
        char* begin = const_cast<char*>(text.data());
        setg(begin, begin, begin + text.size());
    }
};

// A piece of the file, lines whole, as one thread reads it. Indices are made 0-based; those
// given relative to the latest vertex are counted from the piece's start until the pieces before
// it are known.
struct ObjPiece {
    std::vector<Vector> positions;
    std::vector<Vector> normals;
    // Each triangle's corners: position and normal indices.
    std::vector<std::int64_t> v;
    std::vector<std::int64_t> n;
    // The entries of v and n counted from the piece's start.
    std::vector<std::size_t> relativeV;
    std::vector<std::size_t> relativeN;
    // The triangles made once each face of the piece is read.
    std::vector<std::uint64_t> faceEnds;
    std::uint64_t dropped = 0;
    // The first face that gives a vertex index of 0, counted in the piece; -1 for none.
    std::int64_t zeroIndexFace = -1;
    // One face's corners, resolved, and whether each is relative.
    std::vector<std::int64_t> faceV, faceN;
    std::vector<char> faceRelV, faceRelN;
};

void addVertex(void* piece, tinyobj::real_t x, tinyobj::real_t y, tinyobj::real_t z, tinyobj::real_t) {
    static_cast<ObjPiece*>(piece)->positions.push_back({x, y, z});
}

void addNormal(void* piece, tinyobj::real_t x, tinyobj::real_t y, tinyobj::real_t z) {
    static_cast<ObjPiece*>(piece)->normals.push_back({x, y, z});
}

void addObjFace(void* data, tinyobj::index_t* indices, int count) {
    ObjPiece& piece = *static_cast<ObjPiece*>(data);
    const std::uint64_t triangles = piece.v.size() / 3;
    if (count < 3) {
        ++piece.dropped;
        piece.faceEnds.push_back(triangles);
        return;
    }
    piece.faceV.clear();
    piece.faceN.clear();
    piece.faceRelV.clear();
    piece.faceRelN.clear();
    for (int k = 0; k < count; ++k) {
        const int v = indices[k].vertex_index;
        if (v == 0 && piece.zeroIndexFace < 0)
            piece.zeroIndexFace = static_cast<std::int64_t>(piece.faceEnds.size());
        piece.faceV.push_back(v > 0 ? v - 1 : static_cast<std::int64_t>(piece.positions.size()) + v);
        piece.faceRelV.push_back(v < 0);
        const int n = indices[k].normal_index;
        piece.faceN.push_back(n > 0   ? n - 1
                              : n < 0 ? static_cast<std::int64_t>(piece.normals.size()) + n
                                      : absent);
        piece.faceRelN.push_back(n < 0);
    }
    for (int k = 1; k + 1 < count; ++k) {
        for (const int c : {0, k, k + 1}) {
            if (piece.faceRelV[c]) piece.relativeV.push_back(piece.v.size());
            if (piece.faceRelN[c]) piece.relativeN.push_back(piece.n.size());
            piece.v.push_back(piece.faceV[c]);
            piece.n.push_back(piece.faceN[c]);
        }
    }
    piece.faceEnds.push_back(piece.v.size() / 3);
}

bool isSpace(char ch) { return ch == ' ' || ch == '\t'; }

// Where the line from `at` on ends: at its line feed or carriage return, or at the end.
std::size_t lineEnd(std::string_view text, std::size_t at) {
    const char* const start = text.data() + at;
    const std::size_t left = text.size() - at;
    const void* feed = std::memchr(start, '\n', left);
    const std::size_t length = feed ? static_cast<const char*>(feed) - start : left;
    const void* carriage = std::memchr(start, '\r', length);
    return at + (carriage ? static_cast<const char*>(carriage) - start : length);
}

// Calls statement(line number, text after the keyword) for each line whose statement is
// `keyword`, with lines as tinyobjloader sees them: ended by a line feed, a carriage return or
// both, cut at a NUL, blanks before the keyword skipped. Stops when statement returns false.
template <class Statement>
void forStatements(std::string_view text, std::string_view keyword, const Statement& statement) {
    std::int64_t line = 0;
    for (std::size_t at = 0; at < text.size();) {
        ++line;
        const std::size_t end = lineEnd(text, at);
        std::size_t start = at;
        at = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
        while (start < end && isSpace(text[start])) ++start;
        if (end - start <= keyword.size() || text.compare(start, keyword.size(), keyword) != 0 ||
            !isSpace(text[start + keyword.size()])) {
            continue;
        }
        std::string_view rest = text.substr(start + keyword.size(), end - start - keyword.size());
        rest = rest.substr(0, rest.find('\0'));
        if (!statement(line, rest)) return;
    }
}

// tinyobjloader sums a number's digits one by one (0.75 comes out as 0.75000000000000011) and
// reads what it cannot convert (nan, inf) as 0. Every coordinate that is a whole decimal number
// is converted again here to the double nearest to it, as the scene's own numbers are.
void convertExactly(std::string_view text, std::string_view keyword, std::vector<Vector>& values) {
    std::size_t k = 0;
    forStatements(text, keyword, [&](std::int64_t, std::string_view rest) {
        if (k == values.size()) return false;
        double* const components[] = {&values[k].x, &values[k].y, &values[k].z};
        const char* p = rest.data();
        const char* const end = p + rest.size();
        for (double* component : components) {
            while (p != end && isSpace(*p)) ++p;
            if (p == end) break;
            const char* const word = p;
            while (p != end && !isSpace(*p) && *p != '\r') ++p;
            double value = 0.0;
            if (parseDecimal({word, static_cast<std::size_t>(p - word)}, &value)) *component = value;
        }
        ++k;
        return true;
    });
}

void readPiece(std::string_view text, ObjPiece* piece) {
    tinyobj::callback_t callbacks;
    callbacks.vertex_cb = addVertex;
    callbacks.normal_cb = addNormal;
    callbacks.index_cb = addObjFace;
    MemoryStream in(text);
    std::string warnings, errors;
    tinyobj::LoadObjWithCallback(in, callbacks, piece, nullptr, &warnings, &errors);
    convertExactly(text, "v", piece->positions);
    convertExactly(text, "vn", piece->normals);
}

// The pieces' starts: after line ends near equal shares of the text.
std::vector<std::size_t> pieceStarts(std::string_view text, int threads) {
    std::vector<std::size_t> starts{0};
    const std::size_t pieces =
        text.size() < 2 * pieceBytes
            ? 1
            : std::min<std::size_t>({std::size_t(std::max(threads, 1)), 8, text.size() / pieceBytes});
    for (std::size_t k = 1; k < pieces; ++k) {
        const std::size_t end = text.find('\n', std::max(starts.back(), text.size() / pieces * k));
        if (end == std::string_view::npos) break;
        starts.push_back(end + 1);
    }
    return starts;
}

// The line of the statement with this keyword numbered `ordinal` (from 0); face statements count
// only when they give a corner, as tinyobjloader counts them.
std::int64_t lineOf(std::string_view text, std::string_view keyword, std::uint64_t ordinal) {
    std::int64_t found = 0;
    forStatements(text, keyword, [&](std::int64_t line, std::string_view rest) {
        if (keyword == "f" && rest.find_first_not_of(" \t") == std::string_view::npos) return true;
        if (ordinal-- != 0) return true;
        found = line;
        return false;
    });
    return found;
}

// Puts the pieces together into one mesh: relative indices made absolute, every index checked.
class ObjAssembly {
public:
    ObjAssembly(std::string_view text, std::vector<ObjPiece>& pieces) : text_(text), pieces_(pieces) {}

    ModelRead assemble() {
        std::uint64_t faces = 0, positions = 0, normals = 0;
        for (ObjPiece& piece : pieces_) {
            if (piece.zeroIndexFace >= 0) {
                return faceError(faces + piece.zeroIndexFace, "a vertex index of 0 (indices count from 1)");
            }
            faces += piece.faceEnds.size();
            positions += piece.positions.size();
            normals += piece.normals.size();
        }
        if (positions > maxModelPositions || normals > maxModelPositions) {
            return modelError("more than 4294967294 vertices or normals");
        }
        ModelRead read;
        ModelMesh& mesh = read.mesh;
        bool anyNormal = false;
        std::uint64_t positionBase = 0, normalBase = 0, faceBase = 0, triangles = 0;
        for (ObjPiece& piece : pieces_) {
            for (const std::size_t k : piece.relativeV) piece.v[k] += static_cast<std::int64_t>(positionBase);
            for (const std::size_t k : piece.relativeN) piece.n[k] += static_cast<std::int64_t>(normalBase);
            for (std::size_t k = 0; k < piece.v.size(); ++k) {
                const auto face = [&] {
                    const auto end = std::upper_bound(piece.faceEnds.begin(), piece.faceEnds.end(), k / 3);
                    return faceBase + static_cast<std::uint64_t>(end - piece.faceEnds.begin());
                };
                if (piece.v[k] < 0 || static_cast<std::uint64_t>(piece.v[k]) >= positions) {
                    return faceError(
                        face(), "vertex index out of range (" + std::to_string(positions) + " vertices)");
                }
                if (piece.n[k] != absent &&
                    (piece.n[k] < 0 || static_cast<std::uint64_t>(piece.n[k]) >= normals)) {
                    return faceError(face(),
                                     "normal index out of range (" + std::to_string(normals) + " normals)");
                }
                anyNormal |= piece.n[k] != absent;
            }
            positionBase += piece.positions.size();
            normalBase += piece.normals.size();
            faceBase += piece.faceEnds.size();
            triangles += piece.v.size() / 3;
            mesh.droppedFaces += piece.dropped;
        }
        if (faces == 0) return modelError("the model has no faces");
        mesh.corners.reserve(3 * triangles);
        if (anyNormal) mesh.cornerNormals.reserve(3 * triangles);
        for (ObjPiece& piece : pieces_) {
            mesh.positions.insert(mesh.positions.end(), piece.positions.begin(), piece.positions.end());
            if (anyNormal)
                mesh.normals.insert(mesh.normals.end(), piece.normals.begin(), piece.normals.end());
            for (const std::int64_t v : piece.v) mesh.corners.push_back(static_cast<std::uint32_t>(v));
            if (anyNormal) {
                for (const std::int64_t n : piece.n) {
                    mesh.cornerNormals.push_back(n == absent ? noNormal : static_cast<std::uint32_t>(n));
                }
            }
            piece = ObjPiece{};
        }
        return read;
    }

private:
    ModelRead faceError(std::uint64_t face, const std::string& what) const {
        return modelError("face " + std::to_string(face) + ": " + what, lineOf(text_, "f", face));
    }

    std::string_view text_;
    std::vector<ObjPiece>& pieces_;
};

}  // namespace

bool looksLikeObj(ModelBytes bytes) {
    constexpr std::string_view keywords[] = {"v", "vn", "vt", "vp", "f",      "o",
                                             "g", "s",  "l",  "p",  "usemtl", "mtllib"};
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = lineEnd(text, at);
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        while (!line.empty() && isSpace(line[0])) line.remove_prefix(1);
        if (line.empty() || line[0] == '#') continue;
        const std::string_view word = line.substr(0, std::min(line.find_first_of(" \t"), line.size()));
        return std::find(std::begin(keywords), std::end(keywords), word) != std::end(keywords) &&
               word.size() < line.size();
    }
    return false;
}

ModelRead readObj(ModelBytes bytes, int threads) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::vector<std::size_t> starts = pieceStarts(text, threads);
    std::vector<ObjPiece> pieces(starts.size());
    runTasks(threads, pieces.size(), [&](std::size_t k) {
        const std::size_t end = k + 1 < starts.size() ? starts[k + 1] : text.size();
        readPiece(text.substr(starts[k], end - starts[k]), &pieces[k]);
    });
    for (const ObjPiece& piece : pieces) {
        for (const std::vector<Vector>* values : {&piece.positions, &piece.normals}) {
            for (std::size_t k = 0; k < values->size(); ++k) {
                if (isFinite((*values)[k])) continue;
                const bool position = values == &piece.positions;
                std::uint64_t ordinal = k;
                for (const ObjPiece* before = pieces.data(); before != &piece; ++before) {
                    ordinal += (position ? before->positions : before->normals).size();
                }
                return modelError(std::string(position ? "vertex " : "normal ") + std::to_string(ordinal) +
                                      ": a coordinate is not a finite number",
                                  lineOf(text, position ? "v" : "vn", ordinal));
            }
        }
    }
    return ObjAssembly(text, pieces).assemble();
}
