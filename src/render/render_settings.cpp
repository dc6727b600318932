#include "render/render_settings.h"

Display myDisplay{};
int iAntialias = 0;
int adapt_dist = 0;
int jitter = 0;
int numThreads = 2;
bool resumeRender = false;
std::optional<std::uint64_t> randomSeed;
