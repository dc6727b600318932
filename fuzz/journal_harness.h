// One untrusted journal through the journal's reader and writer, the way the journal fuzzer drives
// it: the bytes are read as the journal of a small render of another scene, then as the journal of
// the render their own header names (when it names one); a journal that matches is then cut and
// appended to as a render that resumes does, and read again. Every answer of the reader is
// checked against what the bytes can hold. The regression tests run the same function over the
// inputs that once failed and over the seed journals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What was wrong with the reader's answers, or nothing.
std::string readJournalInput(const std::uint8_t* data, std::size_t size);
