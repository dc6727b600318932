// Numbers as the lexer reads them: decimal text converted to exactly the double strtod gives, by a
// quick path for the plain forms scenes are written in (strtod remains for every other form).
#pragma once

#include <cstddef>
#include <string_view>

// Decimal text of the plain form [sign] digits [. digits] [e [sign] digits] with at most 15
// digits (so that they make an integer exactly, below 2^53) and a power of ten within 22 of
// zero is converted exactly. Anything else (longer mantissas, far exponents, text that strtod
// reads only in part) returns false, and the caller asks strtod.
bool quickDecimal(std::string_view text, double* value);

// What plainNumber needs left before `end` to read a number.
inline constexpr std::ptrdiff_t lookAhead = 24;

// A number of the form [sign] digits [. digits], at most seven digits on each side of the point
// and at least one in all, read from `p` on, eight characters at a time: the position after it,
// with its value in *value (exactly quickDecimal's). Null, with nothing read, for any other form
// or a character after it that would continue the number (an exponent, a second point or sign),
// and when fewer than `lookAhead` characters are left before `end`.
const char* plainNumber(const char* p, const char* end, double* value);
