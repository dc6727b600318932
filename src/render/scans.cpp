#include "render/scans.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "base/console.h"
#include "base/memory.h"
#include "math/random.h"
#include "render/bands.h"
#include "render/camera.h"
#include "render/render_settings.h"

unsigned char colorToByte(double c) {
    // The low 8 bits of the integer part, worked out in floating point so that no value (huge,
    // negative, infinite or NaN) is ever converted out of an integer type's range.
    const double scaled = c * 255.0;
    if (scaled >= 0.0 && scaled < 2147483648.0)
        return static_cast<unsigned char>(static_cast<int32_t>(scaled));
    const double whole = std::trunc(scaled);
    if (!std::isfinite(whole)) return 0;
    double low = std::fmod(whole, 256.0);
    if (low < 0) low += 256.0;
    return static_cast<unsigned char>(low);
}

namespace {

template <typename T>
using Buffer = FreeBuffer<T[]>;

// A zero-filled buffer of count elements, or null when memory is short.
template <typename T>
Buffer<T> allocate(long count) {
    if (count <= 0) count = 1;
    return Buffer<T>(static_cast<T*>(std::calloc(static_cast<size_t>(count), sizeof(T))));
}

// A band whose buffers cannot be had renders nothing; the run then fails.
void bandOutOfMemory() {
    consoleLine("Memory alloction failed.");
    recordBandFailure(1);
}

void storeColor(unsigned char* bytes, const Color& color) {
    bytes[0] = colorToByte(color.red);
    bytes[1] = colorToByte(color.green);
    bytes[2] = colorToByte(color.blue);
}

// A sample's place on the quarter-pixel grid: quarter `quarter` of pixel `pixel`, in quarter
// pixels from the image's edge. Seeded numbers are keyed by it, taken before any jitter.
int quarterGrid(double pixel, int quarter) { return 4 * static_cast<int>(pixel) + quarter; }

// The colour of the sample at (x + 0.5, y + 0.5), or at a random place in the pixel with jitter.
void samplePixel(int x, int y, Ray* ray, int* level, unsigned char* bytes) {
    startSample(quarterGrid(x, 2), quarterGrid(y, 2));
    double px = x + 0.5;
    double py = y + 0.5;
    if (jitter) {
        px = x + randomUnit();
        py = y + randomUnit();
    }
    Color color;
    initRay(px, py, ray);
    shoot(ray, &color, level);
    storeColor(bytes, color);
}

// Without jitter and lens, a sample's camera ray follows from its position alone and nothing is
// drawn before it is traced: the rays of neighbouring samples are then walked together.
bool samplesWalkTogether() { return !jitter && !lensOpen(); }

// Camera rays through the positions (x + offset, y + offset) of the image grid, x from 0 to
// columns - 1, answered a batch of neighbours at a time. The camera's term of each column is
// worked out once, that of a row once per batch.
class PreparedRays {
public:
    PreparedRays(const Ray* central, int columns, double offset)
        : origin_(central->origin), offset_(offset), columns_(allocate<ColumnTerms>(columns)) {
        if (!columns_) return;
        for (int x = 0; x < columns; ++x) columns_[x] = columnTerms(x + offset);
    }
    // False when memory is short.
    explicit operator bool() const { return columns_ != nullptr; }

    // Prepares the rays of columns first to first + count - 1 (count <= preparedBatch) in row y.
    void prepare(int first, int count, int y) {
        const RowTerms row = rowTerms(y + offset_);
        for (int k = 0; k < count; ++k) {
            rays_[k].ray.origin = origin_;
            initRayFrom(columns_[first + k], row, &rays_[k].ray);
        }
        prepareRays(rays_, count);
    }
    const PreparedRay& operator[](int k) const { return rays_[k]; }

private:
    Vector origin_;
    double offset_;
    Buffer<ColumnTerms> columns_;
    PreparedRay rays_[preparedBatch];
};

// The samples at (x + 0.5, y + 0.5) for x from 0 to count - 1, as samplePixel gives them, into
// bytes (three a sample); a batch of neighbours at a time when `batch` (made for offset 0.5)
// is given, which it is without jitter and lens.
void sampleRow(int count, int y, Ray* ray, int* level, unsigned char* bytes, PreparedRays* batch) {
    if (!batch) {
        for (int x = 0; x < count; ++x) samplePixel(x, y, ray, level, &bytes[3L * x]);
        return;
    }
    for (int first = 0; first < count; first += preparedBatch) {
        const int n = std::min(preparedBatch, count - first);
        batch->prepare(first, n, y);
        for (int k = 0; k < n; ++k) {
            const int x = first + k;
            startSample(quarterGrid(x, 2), quarterGrid(y, 2));
            Color color;
            tracePrepared((*batch)[k], &color, level);
            storeColor(&bytes[3L * x], color);
        }
    }
}

}  // namespace

void scanNone(RowFeed* feed) {
    Ray ray;
    screenInit(&ray);
    int level = 0;
    const SeededDraws draws(randomSeed);
    const int width = myDisplay.width;
    const Buffer<unsigned char> row = allocate<unsigned char>(3L * width);
    std::optional<PreparedRays> batch;
    if (samplesWalkTogether()) batch.emplace(&ray, width, 0.5);
    if (!row || (batch && !*batch)) return bandOutOfMemory();
    PreparedRays* const together = batch ? &*batch : nullptr;
    for (RowSpan span; feed->next(feed->owner, &span);) {
        for (int y = span.first; y < span.end && !bandsStopping(); ++y) {
            sampleRow(width, y, &ray, &level, row.get(), together);
            feed->done(feed->owner, row.get(), y);
        }
    }
}

void scanCorners(RowFeed* feed) {
    Ray ray;
    screenInit(&ray);
    int level = 0;
    const SeededDraws draws(randomSeed);
    const int width = myDisplay.width;
    Buffer<unsigned char> previous = allocate<unsigned char>(3L * (width + 1L));
    Buffer<unsigned char> current = allocate<unsigned char>(3L * (width + 1L));
    const Buffer<unsigned char> row = allocate<unsigned char>(3L * width);
    std::optional<PreparedRays> batch;
    if (samplesWalkTogether()) batch.emplace(&ray, width + 1, 0.5);
    if (!previous || !current || !row || (batch && !*batch)) return bandOutOfMemory();
    PreparedRays* const together = batch ? &*batch : nullptr;

    // One sample row per image row: width + 1 samples, each shared by four pixels.
    for (RowSpan span; feed->next(feed->owner, &span);) {
        sampleRow(width + 1, span.first - 1, &ray, &level, previous.get(), together);
        for (int y = span.first; y < span.end && !bandsStopping(); ++y) {
            sampleRow(width + 1, y, &ray, &level, current.get(), together);
            const unsigned char* p = previous.get();
            const unsigned char* c = current.get();
            for (long i = 0; i < 3L * width; ++i) row[i] = (p[i] + p[i + 3] + c[i] + c[i + 3]) >> 2;
            feed->done(feed->owner, row.get(), y);
            previous.swap(current);
        }
    }
}

namespace {

void copyColor(CornerSample* to, const CornerSample& from) {
    to->red = from.red;
    to->green = from.green;
    to->blue = from.blue;
}

// The bottom corners of one image row, kept for the row below: red, green, blue and done,
// each indexed x * 4 + a.
struct EdgeRows {
    unsigned char* red;
    unsigned char* green;
    unsigned char* blue;
    unsigned char* done;

    void load(long i, CornerSample* sample) const {
        sample->done = done[i];
        if (done[i]) *sample = {red[i], green[i], blue[i], done[i]};
    }
    void save(long i, const CornerSample& sample) const {
        done[i] = sample.done;
        if (sample.done) {
            red[i] = sample.red;
            green[i] = sample.green;
            blue[i] = sample.blue;
        }
    }
};

}  // namespace

void scanAdaptive(RowFeed* feed) {
    Ray ray;
    screenInit(&ray);
    int level = 0;
    const SeededDraws draws(randomSeed);
    const int width = myDisplay.width;
    const long edgeSize = 4L * width + 1;
    const Buffer<unsigned char> row = allocate<unsigned char>(3L * width);
    const Buffer<unsigned char> edgeStore = allocate<unsigned char>(4 * edgeSize);
    // Every pixel computes its bottom-right corner anew, at (x + 1, y + 1): those are known in
    // advance and walked together (when nothing is drawn before they are traced).
    std::optional<PreparedRays> corners;
    if (samplesWalkTogether()) corners.emplace(&ray, width, 4 * 0.25);
    if (!row || !edgeStore || (corners && !*corners)) return bandOutOfMemory();
    unsigned char* edge0 = edgeStore.get();
    const EdgeRows edge{edge0, edge0 + edgeSize, edge0 + 2 * edgeSize, edge0 + 3 * edgeSize};

    CornerSample grid[5][5]{};
    for (RowSpan span; feed->next(feed->owner, &span);) {
        std::fill(edge.done, edge.done + edgeSize, 0);  // a span computes its top corners anew
        for (int y = span.first; y < span.end && !bandsStopping(); ++y) {
            for (int b = 0; b <= 4; ++b) grid[0][b].done = 0;
            for (int x = 0; x < width; ++x) {
                if (corners && x % preparedBatch == 0)
                    corners->prepare(x, std::min(preparedBatch, width - x), y);
                const long base = 4L * x;
                for (int a = 1; a <= 4; ++a) edge.load(base + a, &grid[a][0]);
                for (int a = 1; a <= 4; ++a)
                    for (int b = 1; b <= 4; ++b) grid[a][b].done = 0;

                Color result;
                adapt(0, 0, x, y, &result, 4, &ray, &level, grid,
                      corners ? &(*corners)[x % preparedBatch] : nullptr);
                row[3L * x] = static_cast<unsigned char>(result.red);
                row[3L * x + 1] = static_cast<unsigned char>(result.green);
                row[3L * x + 2] = static_cast<unsigned char>(result.blue);

                for (int a = 0; a <= 4; ++a) edge.save(base + a, grid[a][4]);
                for (int b = 0; b <= 4; ++b) {
                    grid[0][b].done = grid[4][b].done;
                    if (grid[4][b].done) copyColor(&grid[0][b], grid[4][b]);
                }
            }
            feed->done(feed->owner, row.get(), y);
        }
    }
}

void adapt(int a, int b, double x, double y, Color* result, int size, Ray* ray, int* level,
           CornerSample grid[5][5], const PreparedRay* bottomRight) {
    const int corners[4][2] = {{a, b}, {a + size, b}, {a, b + size}, {a + size, b + size}};
    int sum[3] = {0, 0, 0};
    for (const auto& corner : corners) {
        CornerSample& sample = grid[corner[0]][corner[1]];
        if (!sample.done) {
            startSample(quarterGrid(x, corner[0]), quarterGrid(y, corner[1]));
            double px = x + corner[0] * 0.25;
            double py = y + corner[1] * 0.25;
            if (jitter) {
                px += randomUnit() * 0.25 - 0.125;
                py += randomUnit() * 0.25 - 0.125;
            }
            if (bottomRight && corner[0] == 4 && corner[1] == 4) {
                tracePrepared(*bottomRight, result, level);
            } else {
                initRay(px, py, ray);
                shoot(ray, result, level);
            }
            sample.red = colorToByte(result->red);
            sample.green = colorToByte(result->green);
            sample.blue = colorToByte(result->blue);
            sample.done = 1;
        }
        sum[0] += sample.red;
        sum[1] += sample.green;
        sum[2] += sample.blue;
    }
    const int mean[3] = {sum[0] / 4, sum[1] / 4, sum[2] / 4};

    bool accept = true;
    if (size != 1) {
        for (const auto& corner : corners) {
            const CornerSample& sample = grid[corner[0]][corner[1]];
            const int bytes[3] = {sample.red, sample.green, sample.blue};
            for (int k = 0; k < 3; ++k)
                if (std::abs(mean[k] - bytes[k]) >= adapt_dist) accept = false;
        }
    }
    if (accept) {
        *result = {static_cast<double>(mean[0]), static_cast<double>(mean[1]), static_cast<double>(mean[2])};
        return;
    }

    const int h = size / 2;
    const int quarters[4][2] = {{a, b}, {a + h, b}, {a, b + h}, {a + h, b + h}};
    int total[3] = {0, 0, 0};
    for (const auto& quarter : quarters) {
        adapt(quarter[0], quarter[1], x, y, result, h, ray, level, grid, bottomRight);
        total[0] += static_cast<unsigned char>(result->red);
        total[1] += static_cast<unsigned char>(result->green);
        total[2] += static_cast<unsigned char>(result->blue);
    }
    *result = {static_cast<double>(total[0] >> 2), static_cast<double>(total[1] >> 2),
               static_cast<double>(total[2] >> 2)};
}
