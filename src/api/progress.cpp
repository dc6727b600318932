#include "api/progress.h"

#include "api/call.h"
#include "render/bands.h"
#include "render/rows.h"

namespace {

void rowDone(void* owner, const unsigned char*, int) {
    markRenderThread();
    RenderProgress& progress = *static_cast<RenderProgress*>(owner);
    if (!progress.callback) return;
    const std::lock_guard<std::mutex> lock(progress.lock);
    ++progress.rowsDone;
    if (progress.cancelled) return;
    if (progress.callback(progress.user, progress.rowsDone, progress.rowsTotal) != 0) {
        progress.cancelled = true;
        recordBandFailure(bandsCancelled);
        stopAllBands();
    }
}

}  // namespace

WatchedRender::WatchedRender(RenderProgress* progress) { rowWatcher = {rowDone, progress}; }

WatchedRender::~WatchedRender() { rowWatcher = {nullptr, nullptr}; }
