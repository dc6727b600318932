#include "app/settings.h"

Display myDisplay{};
char inputFileName[512]{};
bool widthOnCommandLine = false;
bool heightOnCommandLine = false;

int iImageType = 0;
int iAntialias = 0;
int adapt_dist = 0;
int jitter = 0;
int jpeg_quality = 0;
int numThreads = 2;
int iPQSize = 128;
int iBounds[8][2]{};
bool resumeRender = false;
std::optional<std::uint64_t> randomSeed;
Vector Slab[3]{};
int bunching = 0;

void resetSettings() {
    myDisplay = {};
    inputFileName[0] = '\0';
    widthOnCommandLine = heightOnCommandLine = false;
    jitter = 0;
    jpeg_quality = 0;
    numThreads = 2;
    iPQSize = 128;
    for (auto& band : iBounds) band[0] = band[1] = 0;
    resumeRender = false;
    randomSeed.reset();
    setStartupDefaults();
}

void setStartupDefaults() {
    iAntialias = 0;
    adapt_dist = 20;
    iImageType = 1;
    Slab[0] = {1.0, 0.0, 0.0};
    Slab[1] = {0.0, 1.0, 0.0};
    Slab[2] = {0.0, 0.0, 1.0};
    bunching = 4;
}
