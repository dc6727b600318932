// What every image writer holds between open and close: the picture in memory (the frame, row y
// at byte y * width * 3) and the file it goes to. The file is written without a name in the
// picture's directory (or, where the file system offers no such files, under a hidden temporary
// name beside the picture) and takes the picture's name only once it is complete and on disk, so
// an earlier picture of that name stays as it was until then; a file that is dropped, or fails on
// the way, is removed, so no half-written image is ever left behind. A file without a name
// vanishes with the process however it ends, kill -9 included.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

// The picture: height rows of width pixels, three bytes each, zeroed when allocated.
class Frame {
public:
    // False, with errno set, when the size is not positive (EINVAL), when width * height * 3
    // exceeds frameMemoryLimit() or the memory is not there (ENOMEM).
    bool allocate(int width, int height);
    void release();
    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t rowBytes() const { return std::size_t(width_) * 3; }
    // Row y, or nullptr when no frame is allocated or y lies outside it.
    unsigned char* row(int y) const;

private:
    struct Free {
        void operator()(unsigned char* bytes) const { std::free(bytes); }
    };
    std::unique_ptr<unsigned char, Free> bytes_;
    int width_ = 0;
    int height_ = 0;
};

// The most bytes a frame may take: half the machine's physical memory, so that a picture is
// refused at once rather than rendered until the system runs out of memory.
std::size_t frameMemoryLimit();

// The byte order of the pixels a writer keeps in its frame.
enum class PixelOrder { RGB, BGR };

// The frame and the file of one writer.
struct PictureFile {
    Frame frame;
    OutputFile out;

    // Drops whatever was open, allocates the frame, then creates the file, so a frame that
    // cannot be had leaves no file. False, with errno set, on failure (nothing is left open).
    bool open(const char* name, int width, int height);
    bool isOpen() const { return out.stream() != nullptr; }
    // Copies row (3 * width bytes, red, green, blue) into frame row y. For BGR the caller's row
    // is first turned into blue, green, red in place. -1, row untouched, when there is no row y.
    // Distinct rows may be stored from several threads at once.
    int storeRow(unsigned char* row, int y, PixelOrder order) const;
    // Releases the frame and closes the file (see OutputFile::close).
    bool close(bool written);
    void discard();
};

// Header integers, least significant byte first.
void storeLE16(unsigned char* at, std::uint32_t value);
void storeLE32(unsigned char* at, std::uint32_t value);
