#include "app/main.h"

#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/fatal.h"
#include "app/settings.h"
#include "image/image.h"
#include "objects/bound.h"
#include "objects/data.h"
#include "objects/tasks.h"
#include "scene/parser.h"

namespace {

constexpr const char* makerNotice = "by the ORVEL developers";
constexpr const char* bugAddress = "orvel-bugs@example.org";
constexpr const char* suggestionAddress = "orvel-ideas@example.org";

[[noreturn]] void usageError() {
    showUsage();
    abortRun(-1);
}

bool isOption(const char* arg, const char* shortForm, const char* longForm) {
    return std::strcmp(arg, shortForm) == 0 || std::strcmp(arg, longForm) == 0;
}

// The argument after the option at *i, which it consumes; a missing value is a usage error.
const char* takeValue(int argc, char** argv, int* i) {
    if (*i + 1 >= argc) usageError();
    return argv[++*i];
}

// Numbers convert like atoi: leading blanks, a sign, digits; anything else gives 0. Values
// beyond an int are held at its limits.
int toInt(const char* text) {
    return static_cast<int>(std::clamp<long>(std::strtol(text, nullptr, 10), INT_MIN, INT_MAX));
}

// An image size from the command line must be positive; the run ends before any file exists.
int takeSize(int argc, char** argv, int* i, const char* option) {
    const int value = toInt(takeValue(argc, argv, i));
    if (value <= 0) {
        std::printf("\n Invalid image size given with %s: width and height must be greater than 0\n", option);
        abortRun(-1);
    }
    return value;
}

// Copies a file name that fits its buffer, or ends the run saying how long it may be.
template <std::size_t N>
void takeName(char (&target)[N], const char* name, const char* what) {
    if (std::strlen(name) >= N) {
        std::printf("\n %s name too long (at most %zu characters)\n", what, N - 1);
        abortRun(-1);
    }
    std::strcpy(target, name);
}

// Ctrl-C, a hang-up or a kill during the render: the image being written is removed and the
// process ends by the same signal (the handler is reset to the default action on entry).
void endBySignal(int signal) {
    removeUnfinishedOutput();
    std::raise(signal);
}

void removeImageOnSignals() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = endBySignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(signal, &action, nullptr);
    }
}

}  // namespace

void showCredits() {
    const char* platform = edition == Edition::multi ? "linux-sh3-glibc2-multithreaded" : "linux-sh3-glibc2";
    std::printf("\n ORVEL v0.1 beta 14 (%s) - %s\n", platform, makerNotice);
}

void showUsage() {
    std::printf("\n Usage: orvel [options] scenefile [...]\n\n");
    std::printf(" Example: orvel -i scene.orv\n\n");
    std::printf(" Options:\n");
    std::printf("  -i/--input         filename    read filename as input\n");
    std::printf("  -o/--ouput         filename    write output to 'filename' (no extension)\n");
    std::printf("  -w/--width         integer     specify with of the output image\n");
    std::printf("  -h/--height        integer     specify height of the output image\n");
    std::printf("  -r/--resolution    int int     specify width and height of the output image\n");
    if (edition == Edition::multi) {
        std::printf("  -t/--thread        int         specify the number thread to use (2, 4 or 8)\n");
    }
    std::printf("  -j/--jitter                    activate jittering\n");
    std::printf("  -aaa/--aaadatpive  double      activate adaptive anti-aliasing\n");
    std::printf("  -aaq/--aaquick                 activate quick anti-aliasing\n");
    std::printf("  -aan/--aanone                  deactivate anti-aliasing\n");
    std::printf("  -tga/--tga                     TGA output image\n");
    std::printf("  -bmp/--bmp                     BMP output image\n");
    std::printf("  -ppm/--ppm                     PPM output image\n");
    std::printf("  -png/--png                     PNG output image\n");
    std::printf("  -jpg/--jpeg                    JPEG output image\n");
    std::printf("  -?/--help                      this help message\n\n");
    std::printf("%-26s%s\n", " Report bugs to:", bugAddress);
    std::printf("%-26s%s\n", " Send suggestions to:", suggestionAddress);
}

void parseArgs(int argc, char** argv) {
    bool inputSeen = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-?") == 0 || std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "/?") == 0) {
            usageError();
        }
        if (arg[0] != '-') continue;  // a bare word, such as a scene named without -i, is skipped

        if (isOption(arg, "-o", "--output")) {
            takeName(myDisplay.outputName, takeValue(argc, argv, &i), "Output file");
        } else if (isOption(arg, "-i", "--input")) {
            takeName(inputFileName, takeValue(argc, argv, &i), "Scene file");
            inputSeen = true;
        } else if (isOption(arg, "-aaa", "--aaadaptive")) {
            const int distance = toInt(takeValue(argc, argv, &i));
            if (distance == 0) usageError();
            iAntialias = 2;
            adapt_dist = distance;
        } else if (edition == Edition::multi && isOption(arg, "-t", "--thread")) {
            int threads = toInt(takeValue(argc, argv, &i));
            if (threads != 2 && threads != 4 && threads != 8) {
                std::printf(" Invalid number of threads: defaulting to 2 threads\n");
                threads = 2;
            }
            numThreads = threads;
        } else if (isOption(arg, "-pqs", "--pqsize")) {
            int size = toInt(takeValue(argc, argv, &i));
            if (size <= 100) {
                std::printf("\n Defaulting priority queue size to 100\n");
                size = 100;
            }
            iPQSize = size;
        } else if (isOption(arg, "-aaq", "--aaquick")) {
            iAntialias = 1;
        } else if (isOption(arg, "-aan", "--aanone")) {
            iAntialias = 0;
        } else if (isOption(arg, "-j", "--jitter")) {
            jitter = 1;
        } else if (isOption(arg, "-r", "--resolution")) {
            myDisplay.width = takeSize(argc, argv, &i, arg);
            myDisplay.height = takeSize(argc, argv, &i, arg);
        } else if (isOption(arg, "-w", "--width")) {
            myDisplay.width = takeSize(argc, argv, &i, arg);
        } else if (isOption(arg, "-h", "--height")) {
            myDisplay.height = takeSize(argc, argv, &i, arg);
        } else if (isOption(arg, "-tga", "--tga")) {
            iImageType = 0;
        } else if (isOption(arg, "-bmp", "--bmp")) {
            iImageType = 1;
        } else if (isOption(arg, "-ppm", "--ppm")) {
            iImageType = 2;
        } else if (isOption(arg, "-jpg", "--jpeg")) {
            iImageType = 4;
        } else if (isOption(arg, "-png", "--png")) {
            iImageType = 3;
        } else {
            usageError();
        }
    }
    if (!inputSeen) usageError();
}

int orvelMain(int argc, char** argv, Edition which) {
    edition = which;
    removeImageOnSignals();
    setStartupDefaults();
    showCredits();
    if (argc < 2) {
        showUsage();
        return -1;
    }
    try {
        parseArgs(argc, argv);
        if (parseFile(inputFileName) != 0) {
            releaseScene();
            return -1;
        }
        parseArgs(argc, argv);
        // The set-up uses as many threads as the bands will (at least two), one per processor at most.
        buildThreads = which == Edition::multi ? std::max(numThreads, 2) : 1;
        std::printf("\n Number of primitives:\t\t%ld\n\n", nPrims);
        buildBoundingSlabs();
        doTrace();
    } catch (const RunAbort& abort) {
        releaseScene();
        return abort.status;
    }
    releaseScene();
    return 0;
}
