// The file a picture goes to, replaced in one step. The file is written without a name in the
// picture's directory (or, where the file system offers no such files, under a hidden temporary
// name beside the picture) and takes the picture's name only once it is complete and on disk, so
// an earlier picture of that name stays as it was until then; a file that is dropped, or fails on
// the way, is removed, so no half-written image is ever left behind. A file without a name
// vanishes with the process however it ends, kill -9 included.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

// The output file being written. Destroying it before a successful close removes it.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() { discard(); }

    // Opens the file for binary writing; false, with errno set, when fopen could not create or
    // truncate it (a directory, a file without write permission, a missing or unwritable
    // directory). A regular file, or a new one, is written as a file without a name (or under a
    // temporary name) in its directory, with the permissions fopen would give it; anything else
    // (a device, a pipe, a file in a directory where no other file can be made) is written in
    // place, as fopen does.
    bool create(const char* name);
    FILE* stream() const { return file_.get(); }
    // Closes the file. True when `written` holds and neither the stream, the flush to disk, the
    // close nor the rename to its name failed; otherwise the file is removed (an earlier file of
    // the name stays) and errno tells why, when the system said.
    bool close(bool written);
    // Closes and removes the file, if one is open.
    void discard();

private:
    struct Closer {
        void operator()(FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<FILE, Closer> file_;
    std::string name_;    // the file being written; empty while it has no name
    std::string target_;  // the name it takes when complete; empty when written in place
};

// Whether a picture is written as a file without a name where the file system offers them (the
// default); otherwise always under the hidden temporary name, as on a file system without them.
void allowUnnamedFiles(bool allowed);
