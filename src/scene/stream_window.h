// Reading a scene file's characters where the stream buffers them, without a call per character.
#pragma once

#include <cstdio>

// The characters the stream holds in its buffer from its read position on: the lexer scans this
// window in place and takes what it uses; a character it looks at and does not take stays unread,
// as if it had been pushed back. refill() is called only on an empty window.
#if defined(__GLIBC__) && !defined(ORVEL_PORTABLE_STREAM)
// glibc keeps the bounds of its buffer in the FILE itself (its getc macro reads them), so the
// window is the stream's own buffer and taking moves its read position.
class StreamWindow {
public:
    explicit StreamWindow(FILE* file) : file_(file) {}
    StreamWindow(const StreamWindow&) = delete;
    StreamWindow& operator=(const StreamWindow&) = delete;

    const char* begin() const { return file_->_IO_read_ptr; }
    const char* end() const { return file_->_IO_read_end; }
    // Takes the characters up to `to`, a position in the window.
    void take(const char* to) { file_->_IO_read_ptr = const_cast<char*>(to); }
    // Refills an empty window: false at the end of the input.
    bool refill() {
        if (getc_unlocked(file_) == EOF) return false;
        --file_->_IO_read_ptr;  // the character just read stays in the buffer
        return true;
    }

private:
    FILE* file_;
};
#else
// Other C libraries keep their buffer to themselves: the window holds one character read with
// getc_unlocked, and one left untaken goes back to the stream with ungetc when the window closes.
class StreamWindow {
public:
    explicit StreamWindow(FILE* file) : file_(file) {}
    StreamWindow(const StreamWindow&) = delete;
    StreamWindow& operator=(const StreamWindow&) = delete;
    ~StreamWindow() {
        if (next_ != end_) std::ungetc(static_cast<unsigned char>(held_), file_);
    }

    const char* begin() const { return next_; }
    const char* end() const { return end_; }
    void take(const char* to) { next_ = to; }
    bool refill() {
        const int ch = getc_unlocked(file_);
        if (ch == EOF) return false;
        held_ = static_cast<char>(ch);
        next_ = &held_;
        end_ = &held_ + 1;
        return true;
    }

private:
    FILE* file_;
    char held_ = '\0';
    const char* next_ = &held_;
    const char* end_ = &held_;
};
#endif
