// Reading the text formats' bytes: lines, blank-separated words with their line numbers, and
// numbers converted exactly as the scene's own numbers are (the nearest double to the digits).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scene/model/mesh.h"

// Lines one after the other; a line ends at a line feed, a carriage return before it is dropped.
class LineReader {
public:
    explicit LineReader(ModelBytes bytes)
        : text_(reinterpret_cast<const char*>(bytes.data()), bytes.size()) {}

    bool atEnd() const { return at_ >= text_.size(); }
    // The next line, without its end.
    std::string_view next();
    // The line number of the line `next` returned last.
    std::int64_t lineNumber() const { return line_; }
    // Where the line after it begins.
    std::size_t position() const { return at_; }

private:
    std::string_view text_;
    std::size_t at_ = 0;
    std::int64_t line_ = 0;
};

// Words separated by blanks (spaces, tabs, carriage returns), line by line.
class WordReader {
public:
    WordReader(ModelBytes bytes, std::size_t start, std::int64_t line)
        : text_(reinterpret_cast<const char*>(bytes.data()), bytes.size()), at_(start), line_(line) {}

    bool atEnd() const { return at_ >= text_.size(); }
    std::int64_t lineNumber() const { return line_; }
    std::uint64_t bytesLeft() const { return text_.size() - at_; }

    // The next word of the current line, or an empty one at its end.
    std::string_view wordInLine();
    // The next word, on this line or a later one; empty at the end of the text.
    std::string_view word();
    // Whether the rest of the line is blank; if so, moves to the start of the next line.
    bool endOfLine();
    // Moves past the rest of the line, whatever it holds.
    void skipLine();
    // Moves past lines that hold nothing but blanks.
    void skipBlankLines();

private:
    void skipBlanks();

    std::string_view text_;
    std::size_t at_;
    std::int64_t line_;
};

// The words of a line.
std::vector<std::string_view> splitWords(std::string_view line);
// A whole number of decimal digits and nothing else.
bool wholeNumber(std::string_view word, std::uint64_t* value);
// A decimal number (a leading + allowed) and nothing else: the double nearest to it.
bool parseDecimal(std::string_view word, double* value);
// A value for a message: whole numbers without a fraction.
std::string formatNumber(double value);
