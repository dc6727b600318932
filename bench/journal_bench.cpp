// What the render journal costs at 1920 x 1080: one scene built in code (spheres over a plane, two
// lights, a mirror sphere) rendered in the calling thread with and without a journal, in turns,
// and the journal's own work (every row handed to its writing thread, which adds a crc32 and writes
// it) timed alone. Prints wall-clock and processor times (every thread) side by side with the
// number of runs, and the journal's share of the render. Arguments: the number of runs of each (5), the
// directory the pictures and journals go to (/tmp), the anti-aliasing mode (0 none, 1 quick, 2 adaptive).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "app/settings.h"
#include "base/console.h"
#include "bench_scene.h"
#include "image/image.h"
#include "objects/hierarchy/bound.h"
#include "objects/primitives/plane.h"
#include "objects/primitives/sphere.h"
#include "render/camera.h"
#include "render/driver.h"
#include "render/journal.h"
#include "render/render_settings.h"
#include "render/resume.h"
#include "shading/light.h"
#include "shading/surface.h"

namespace {

constexpr int width = 1920;
constexpr int height = 1080;

double processorSeconds() { return double(std::clock()) / CLOCKS_PER_SEC; }

struct Times {
    std::vector<double> wall;
    std::vector<double> processor;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void timedRender(const std::string& name, Times* times) {
    buildBenchScene();
    std::snprintf(myDisplay.outputName, sizeof myDisplay.outputName, "%s", name.c_str());
    const double cpu = processorSeconds();
    const auto start = std::chrono::steady_clock::now();
    doTrace(RenderDriver::callingThread);
    times->wall.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    times->processor.push_back(processorSeconds() - cpu);
}

// The journal's work for one picture, alone, in every thread it uses: a journal made, every row
// handed over and written, the journal removed.
void journalWork(const std::string& directory, Times* times) {
    std::vector<unsigned char> row(3 * width);
    const JournalHeader header{"bench", width, height, 2, {}, {}, false, 0};
    const double cpu = processorSeconds();
    const auto start = std::chrono::steady_clock::now();
    JournalFile file;
    JournalWriter writer;
    if (file.open(directory + "/.bench.ppm.journal") != JournalFile::Opened::ok ||
        !JournalWriter::writeHeader(file.fd(), header) ||
        !writer.start(file.fd(), journalHeaderBytes, row.size()))
        std::exit(1);
    for (int y = 0; y < height; ++y) {
        row[y % row.size()] = static_cast<unsigned char>(y);
        writer.append(y, row.data());
    }
    writer.stop();  // every row written
    file.remove();
    times->wall.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    times->processor.push_back(processorSeconds() - cpu);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string directory = argc > 2 ? argv[2] : "/tmp";
    setStartupDefaults();
    iAntialias = argc > 3 ? std::atoi(argv[3]) : 0;
    iImageType = 2;
    myDisplay.width = width;
    myDisplay.height = height;
    myViewPoint = {};
    myViewPoint.position = {0, -10, 3};
    myViewPoint.lookAt = {0, 0, 1};
    myViewPoint.up = {0, 0, 1};
    myViewPoint.fov = 0.39269908169872414;
    myViewPoint.ratio = 16.0 / 9.0;
    myViewPoint.samples = 1;
    const std::string name = directory + "/orvel_journal_bench";

    Times without, with, work;
    {
        setConsoleOn(false);  // the render's messages go nowhere while it is timed
        for (int run = 0; run < runs; ++run) {
            resetRenderJournals();
            timedRender(name, &without);
            keepRenderJournals("journal_bench");
            timedRender(name, &with);
            journalWork(directory, &work);
        }
        resetRenderJournals();
        std::remove((name + ".ppm").c_str());
        setConsoleOn(true);
    }

    const double wall = median(without.wall), cpu = median(without.processor);
    std::printf("1920 x 1080, anti-aliasing %d, %d runs of each, medians in seconds:\n", iAntialias, runs);
    std::printf("  %-24s %8s %10s\n", "", "wall", "processor");
    std::printf("  %-24s %8.4f %10.4f\n", "render without journal", wall, cpu);
    std::printf("  %-24s %8.4f %10.4f\n", "render with journal", median(with.wall), median(with.processor));
    std::printf("  %-24s %8.4f %10.4f\n", "journal work alone", median(work.wall), median(work.processor));
    std::printf(
        "Journal: %+.2f %% wall, %+.2f %% processor time with it; its own work %.2f %% of the render's "
        "processor time\n",
        100.0 * (median(with.wall) - wall) / wall, 100.0 * (median(with.processor) - cpu) / cpu,
        100.0 * median(work.processor) / cpu);
}
