#include "scene_harness.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/run.h"
#include "app/settings.h"
#include "base/fatal.h"
#include "image/image.h"
#include "objects/data.h"
#include "objects/hierarchy/pqueue.h"
#include "render/camera.h"
#include "render/render_settings.h"
#include "scene/parser.h"
#include "shading/light.h"

namespace fs = std::filesystem;

namespace {

// The directory the pictures go to, made on first use and removed when the process ends.
class OutputDirectory {
public:
    OutputDirectory() {
        std::string pattern = (fs::temp_directory_path() / "orvel-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("orvel fuzz: mkdtemp");
            std::abort();
        }
        path_ = pattern;
    }
    ~OutputDirectory() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    OutputDirectory(const OutputDirectory&) = delete;
    OutputDirectory& operator=(const OutputDirectory&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

const fs::path& outputDirectory() {
    static const OutputDirectory directory;
    return directory.path();
}

// Where the scene's name lies: an include that the working directory cannot serve is looked for
// beside the including file, and there is nothing else here.
const fs::path& sceneDirectory() {
    static const OutputDirectory directory;
    return directory.path();
}

// The scene bytes as a file the parser can open by name: a link to an in-memory file.
class SceneFile {
public:
    SceneFile(const std::uint8_t* data, std::size_t size) : fd_(memfd_create("scene", MFD_CLOEXEC)) {
        if (fd_ < 0) {
            std::perror("orvel fuzz: memfd_create");
            std::abort();
        }
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = write(fd_, data + done, size - done);
            if (n <= 0) {
                std::perror("orvel fuzz: write");
                std::abort();
            }
            done += static_cast<std::size_t>(n);
        }
        name_ = (sceneDirectory() / "scene.orv").string();
        if (symlink(("/proc/self/fd/" + std::to_string(fd_)).c_str(), name_.c_str()) != 0) {
            std::perror("orvel fuzz: symlink");
            std::abort();
        }
    }
    ~SceneFile() {
        unlink(name_.c_str());
        close(fd_);
    }
    SceneFile(const SceneFile&) = delete;
    SceneFile& operator=(const SceneFile&) = delete;

    const char* name() const { return name_.c_str(); }

private:
    int fd_;
    std::string name_;
};

// The caps that keep one input fast, applied where the command line would override the scene.
void capWork(const fs::path& output) {
    myDisplay.width = std::min(myDisplay.width, fuzzMaxSide);
    myDisplay.height = std::min(myDisplay.height, fuzzMaxSide);
    myViewPoint.samples = std::min(myViewPoint.samples, fuzzMaxSamples);

    Light* kept = myLightList;
    for (int n = 1; kept && n < fuzzMaxLights; ++n) kept = kept->next;
    if (kept) freeList(&kept->next);
    for (Light* light = myLightList; light; light = light->next) {
        light->light.samples = std::min(light->light.samples, fuzzMaxSamples);
    }
    for (Object* obj = myObjectList; obj; obj = obj->next) {
        obj->surface.reflectionSamples = std::min(obj->surface.reflectionSamples, fuzzMaxSamples);
    }

    std::snprintf(myDisplay.outputName, sizeof myDisplay.outputName, "%s", (output / "out").c_str());
}

// The run of the program after its first command-line pass.
int renderScene(const char* sceneName, const fs::path& output) {
    try {
        if (parseFile(sceneName) != 0) return -1;
        capWork(output);
        renderParsedScene(RenderDriver::callingThread);
    } catch (const RunAbort& abort) {
        return abort.status;
    }
    return 0;
}

}  // namespace

std::string SceneRunOutcome::describe() const {
    return "status " + std::to_string(status) + (imageWritten ? ", image written" : ", no image") +
           (strayFiles ? ", stray files left" : "");
}

SceneRunOutcome runSceneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path& output = outputDirectory();
    const SceneFile scene(data, size);
    resetRunState();
    SceneRunOutcome outcome{renderScene(scene.name(), output), false, false};
    resetRunState();
    std::fflush(stdout);

    for (const fs::directory_entry& entry : fs::directory_iterator(output)) {
        if (entry.path().stem() == "out" && !outcome.imageWritten) {
            outcome.imageWritten = true;
        } else {
            outcome.strayFiles = true;
        }
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(output)) fs::remove_all(entry.path());
    return outcome;
}
