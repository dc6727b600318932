// The progress of a library call's render: every finished row is counted and reported to the host's
// progress callback (from the render threads, one call at a time), whose non-zero answer stops the
// render before its next row: the render then ends as a failure of status bandsCancelled.
#pragma once

#include <mutex>

using ProgressCallback = int (*)(void* user, int rowsDone, int rowsTotal);

struct RenderProgress {
    ProgressCallback callback = nullptr;
    void* user = nullptr;
    int rowsTotal = 0;

    std::mutex lock;  // the host's callback is called by one thread at a time
    int rowsDone = 0;
    bool cancelled = false;
};

// While it lives, the rows of the render go past `progress` (the render's row watcher).
class WatchedRender {
public:
    explicit WatchedRender(RenderProgress* progress);
    ~WatchedRender();
    WatchedRender(const WatchedRender&) = delete;
    WatchedRender& operator=(const WatchedRender&) = delete;
};
