// Model files by name: read whole into memory, as the mesh block and a glTF file's buffers need
// them. The program may route the reading elsewhere: the cluster program's ranks all take the
// bytes that rank 0 read, through the scene file opener, so that a model need only exist where
// rank 0 runs.
#pragma once

#include <string>
#include <vector>

struct ModelFile {
    std::vector<unsigned char> bytes;
    // Empty, or what keeps the file from being read: "cannot be opened (No such file or
    // directory)", "is a directory", ...
    std::string error;
    // The file could not be opened at all (the block then looks for it elsewhere).
    bool unopened = false;

    bool ok() const { return error.empty(); }
};

// How a model file is read: from the disk unless the program sets another reader.
extern ModelFile (*modelFileReader)(const char* path);

// Reads the file from the disk.
ModelFile readModelFromDisk(const char* path);
// Reads the file through the scene file opener (parser.h), as the scene files are read.
ModelFile readModelThroughSceneOpener(const char* path);
