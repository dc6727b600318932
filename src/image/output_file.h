// The file a picture goes to. Where the picture's name may be replaced, the file is written without
// a name in the picture's directory (or, where the file system offers no such files, under a hidden
// temporary name beside the picture) and takes the picture's name only once it is complete and on
// disk, so an earlier picture of that name stays as it was until then; a file that is dropped, or
// fails on the way, is removed, so no half-written image is ever left behind. A file without a
// name vanishes with the process however it ends, kill -9 included.
//
// Where the name cannot be replaced (a device, a pipe, a picture the user may write in a directory
// the user may not, or another user's picture in a sticky directory), the picture is written in
// place, through the name as fopen would, but only once it is complete: the earlier picture stays
// whole until then. A name the program did not create is never removed.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

// A file that the next picture makes unnecessary once it is in place (the journal of its rows):
// removed as soon as the picture has taken its name, before a signal held meanwhile ends the
// process; forgotten when that picture fails or is dropped.
void removeWithNextPicture(std::string path);

// The output file being written. Destroying it before a successful close removes what it made.
class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() { discard(); }

    // Prepares the file for binary writing; false, with errno set, when it could not be created or
    // opened for writing (a directory, a file without write permission, a missing or unwritable
    // directory). Symbolic links are followed as fopen follows them, to a file not there yet too.
    // Nothing of an earlier file of the name is changed yet.
    bool create(const char* name);
    // Whether a file is open.
    bool isOpen() const { return file_ != nullptr; }
    // The stream to write the complete picture to, once it is complete: a picture written in place
    // is emptied now, and from now until close a signal that ends the process waits for the picture
    // to be complete. Null, with errno set, when the file cannot be emptied.
    FILE* begin();
    // Closes the file. True when `written` holds and neither the stream, the flush to disk, the
    // close nor the rename to its name failed; otherwise what the file made is removed (an earlier
    // file of the name stays, unless it was being written in place) and errno tells why, when the
    // system said.
    bool close(bool written);
    // Closes the file, if one is open, and removes what it made.
    void discard();

private:
    struct Closer {
        void operator()(FILE* file) const { std::fclose(file); }
    };
    bool openInPlace(const std::string& target);
    void clear();

    std::unique_ptr<FILE, Closer> file_;
    std::string name_;           // the name the program made for the file, removed on failure; else empty
    std::string target_;         // the name it takes when complete; empty when written in place
    bool holdsPicture_ = false;  // written in place into a regular file: emptied by begin()
};
