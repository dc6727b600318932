#include "scene/numbers.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "scene/char_classes.h"

namespace {

constexpr double exactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// mantissa (below 2^53) times ten to the power `power`, with a single exact multiplication or
// division: one rounding, so exactly the value strtod gives for the same digits. False when the
// power is more than 22 from zero and the mantissa is not zero.
bool scaleExactly(std::uint64_t mantissa, int power, bool negative, double* value) {
    double result = 0.0;
    if (mantissa != 0) {
        if (power < -22 || power > 22) return false;
        const auto exact = static_cast<double>(mantissa);
        result = power >= 0 ? exact * exactPowersOfTen[power] : exact / exactPowersOfTen[-power];
    }
    *value = negative ? -result : result;
    return true;
}

}  // namespace

bool quickDecimal(std::string_view text, double* value) {
    constexpr int maxDigits = 15;
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    std::uint64_t mantissa = 0;
    const char* const digitsStart = p;
    for (; p != end && isDigit(*p); ++p) mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
    int digits = static_cast<int>(p - digitsStart);
    int fractionDigits = 0;
    if (p != end && *p == '.') {
        const char* const fractionStart = ++p;
        for (; p != end && isDigit(*p); ++p) mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
        fractionDigits = static_cast<int>(p - fractionStart);
        digits += fractionDigits;
    }
    if (digits == 0 || digits > maxDigits) return false;
    int exponent = 0;
    if (p != end && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool negativeExponent = p != end && *p == '-';
        if (p != end && (*p == '-' || *p == '+')) ++p;
        if (p == end || !isDigit(*p)) return false;
        for (; p != end && isDigit(*p); ++p) {
            if (exponent > 1000) return false;
            exponent = exponent * 10 + (*p - '0');
        }
        if (negativeExponent) exponent = -exponent;
    }
    if (p != end) return false;
    return scaleExactly(mantissa, exponent - fractionDigits, negative, value);
}

namespace {

// Eight characters of text side by side, the first in the lowest byte.
class EightCharacters {
public:
    static constexpr bool available = std::endian::native == std::endian::little;

    explicit EightCharacters(const char* text) { std::memcpy(&bits_, text, sizeof bits_); }

    // How many of them, from the first, are decimal digits.
    int leadingDigits() const {
        constexpr std::uint64_t highNibbles = 0xF0F0F0F0F0F0F0F0;
        constexpr std::uint64_t threes = 0x3030303030303030;
        // Nonzero where a character lies outside 0x30 to 0x3F, or (six more) beyond 0x39. A carry
        // out of a character in the addition comes only from one above 0xF9, which already ends
        // the digits before the character it carries into.
        const std::uint64_t notDigit =
            ((bits_ & highNibbles) ^ threes) | (((bits_ + 0x0606060606060606) & highNibbles) ^ threes);
        return notDigit == 0 ? 8 : std::countr_zero(notDigit) / 8;
    }

    // The value of the first `count` characters (0 to 8 of them), which are digits.
    std::uint64_t value(int count) const {
        // The digits' values, moved to the high bytes behind leading zeros (in two steps: for no
        // digits, the move takes out all eight); the subtraction borrows only upwards, out of the
        // characters after the digits, which the move drops.
        const int half = 4 * (8 - count);
        std::uint64_t v = (bits_ - 0x3030303030303030) << half << half;
        v = v * 10 + (v >> 8);  // pairs of digits, in every other byte
        constexpr std::uint64_t pairs = 0x000000FF000000FF;
        return ((v & pairs) * (100 + (std::uint64_t{1000000} << 32)) +
                ((v >> 16 & pairs) * (1 + (std::uint64_t{10000} << 32)))) >>
               32;
    }

private:
    std::uint64_t bits_ = 0;
};

constexpr std::uint64_t powersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

}  // namespace

const char* plainNumber(const char* p, const char* end, double* value) {
    if constexpr (!EightCharacters::available) {
        return nullptr;
    } else {
        if (end - p < lookAhead) return nullptr;
        const bool negative = *p == '-';
        p += negative || *p == '+' ? 1 : 0;
        const EightCharacters whole(p);
        const int wholeDigits = whole.leadingDigits();
        if (wholeDigits == 8) return nullptr;
        std::uint64_t mantissa = whole.value(wholeDigits);
        p += wholeDigits;
        int fractionDigits = 0;
        if (*p == '.') {
            const EightCharacters fraction(++p);
            fractionDigits = fraction.leadingDigits();
            if (fractionDigits == 8) return nullptr;
            mantissa = mantissa * powersOfTen[fractionDigits] + fraction.value(fractionDigits);
            p += fractionDigits;
        }
        if (wholeDigits + fractionDigits == 0 || is(*p, numberPart)) return nullptr;
        scaleExactly(mantissa, -fractionDigits, negative, value);
        return p;
    }
}
