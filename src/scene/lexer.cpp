#include "scene/lexer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/fatal.h"
#include "scene/colors.h"

int comptligne = 1;
int mot_cle = 0;
char type_motcle = 0;
char chaine[256]{};
char strTemp[256]{};
double val_DBL = 0.0;
int val_INT = 0;
Vector vect_tmp{};
Color rvb_tmp{};

namespace {

constexpr int decimalMode = 2;
constexpr int integerMode = 3;

constexpr int keywordCount = static_cast<int>(std::size(liste_motcle));
static_assert(keywordCount == 83);

struct Keyword {
    std::string_view word;
    int code;
};

// The keywords ordered by word, so that the words of one first letter stand together. No word
// occurs twice, so a lookup finds the row a walk through liste_motcle would find.
constexpr std::array<Keyword, keywordCount> sortedKeywords = [] {
    std::array<Keyword, keywordCount> rows{};
    for (int i = 0; i < keywordCount; ++i) rows[i] = {liste_motcle[i].mot, liste_motcle[i].code};
    std::sort(rows.begin(), rows.end(), [](const Keyword& a, const Keyword& b) { return a.word < b.word; });
    return rows;
}();

static_assert(std::adjacent_find(sortedKeywords.begin(), sortedKeywords.end(),
                                 [](const Keyword& a, const Keyword& b) { return a.word == b.word; }) ==
                  sortedKeywords.end(),
              "a keyword occurs twice");
static_assert(std::all_of(sortedKeywords.begin(), sortedKeywords.end(),
                          [](const Keyword& k) { return k.word[0] >= 'a' && k.word[0] <= 'z'; }),
              "keywords begin with a small letter");

// For each small letter, the first row of sortedKeywords that begins with it or a later letter.
constexpr std::array<unsigned char, 27> letterStart = [] {
    std::array<unsigned char, 27> start{};
    int row = 0;
    for (int letter = 0; letter < 26; ++letter) {
        while (row < keywordCount && sortedKeywords[row].word[0] < 'a' + letter) ++row;
        start[letter] = static_cast<unsigned char>(row);
    }
    start[26] = keywordCount;
    return start;
}();

// Whether the last number token fits its destination: a finite double, or an int.
bool numberInRange = true;

// Character classes, one bit each, looked up in one table.
constexpr unsigned char blank = 1;        // space, tab, newline, vertical tab, form feed, return
constexpr unsigned char letter = 2;       // starts a word
constexpr unsigned char wordPart = 4;     // letters, digits, _ . \ :
constexpr unsigned char numberStart = 8;  // digits, + - .
constexpr unsigned char numberPart = 16;  // digits, + - . E e

constexpr std::array<unsigned char, 256> charClasses = [] {
    std::array<unsigned char, 256> classes{};
    for (unsigned char ch : {' ', '\t', '\n', '\v', '\f', '\r'}) classes[ch] |= blank;
    for (int ch = 'A'; ch <= 'Z'; ++ch) classes[ch] |= letter | wordPart;
    for (int ch = 'a'; ch <= 'z'; ++ch) classes[ch] |= letter | wordPart;
    for (int ch = '0'; ch <= '9'; ++ch) classes[ch] |= wordPart | numberStart | numberPart;
    for (unsigned char ch : {'_', '.', '\\', ':'}) classes[ch] |= wordPart;
    for (unsigned char ch : {'+', '-', '.'}) classes[ch] |= numberStart | numberPart;
    for (unsigned char ch : {'E', 'e'}) classes[ch] |= numberPart;
    return classes;
}();

constexpr bool is(char ch, unsigned char kind) {
    return (charClasses[static_cast<unsigned char>(ch)] & kind) != 0;
}
constexpr bool isDigit(char ch) { return ch >= '0' && ch <= '9'; }

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

// Skips a comment up to and including its closing character; a comment still open at the end
// of the file ends there.
void skipComment(StreamWindow& in, char closing) {
    do {
        const char* p = in.begin();
        const char* const end = in.end();
        for (; p != end; ++p) {
            if (*p == '\n') ++comptligne;
            if (*p == closing) {
                in.take(p + 1);
                return;
            }
        }
        in.take(p);
    } while (in.refill());
}

// Takes the blanks and comments before a token, counting lines; returns the token's first
// character (taken), or EOF.
int firstCharacter(StreamWindow& in) {
    for (;;) {
        const char* p = in.begin();
        const char* const end = in.end();
        while (p != end && is(*p, blank)) {
            if (*p == '\n') ++comptligne;
            ++p;
        }
        if (p == end) {
            in.take(p);
            if (!in.refill()) return EOF;
            continue;
        }
        const char ch = *p;
        in.take(p + 1);
        if (ch == '[') {
            skipComment(in, ']');
        } else if (ch == ';') {
            skipComment(in, '\n');
        } else {
            return static_cast<unsigned char>(ch);
        }
    }
}

// Collects the rest of a word or number into chaine, after its first character; the first
// character that does not belong stays unread. Returns the token's length.
int collect(StreamWindow& in, int first, unsigned char kind, const char* tooLong) {
    char* out = chaine;
    *out++ = static_cast<char>(first);
    for (;;) {
        const char* p = in.begin();
        const char* const end = in.end();
        // Room for the rest of the longest token, and one character more to tell it is too long.
        const char* const limit = p + std::min<std::ptrdiff_t>(end - p, chaine + maxTokenLength + 1 - out);
        while (p != limit && is(*p, kind)) *out++ = *p++;
        in.take(p);
        if (out == chaine + maxTokenLength + 1) {
            chaine[maxTokenLength] = '\0';
            yyerror(tooLong);
        }
        if (p != end || !in.refill()) break;
    }
    *out = '\0';
    return static_cast<int>(out - chaine);
}

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

// Decimal text of the plain form [sign] digits [. digits] [e [sign] digits] with at most 15
// digits (so that they make an integer exactly, below 2^53) and a power of ten within 22 of
// zero is converted by scaleExactly. Anything else (longer mantissas, far exponents, text that
// strtod reads only in part) returns false.
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

// What plainNumber needs left in the window before it reads a number.
constexpr std::ptrdiff_t lookAhead = 24;

// A number of the form [sign] digits [. digits], at most seven digits on each side of the point
// and at least one in all, read from `p` on, eight characters at a time: the position after it,
// with its value in *value (exactly quickDecimal's). Null, with nothing read, for any other form
// or a character after it that would continue the number (an exponent, a second point or sign),
// and when fewer than `lookAhead` characters are left before `end`.
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

// Converts chaine (length characters) as far as the conversion accepts it; the rest of the text
// is ignored.
void convertNumber(int length) {
    if (type_motcle == decimalMode) {
        if (!quickDecimal({chaine, static_cast<size_t>(length)}, &val_DBL))
            val_DBL = std::strtod(chaine, nullptr);
        numberInRange = std::isfinite(val_DBL);
    } else {
        errno = 0;
        const long value = std::strtol(chaine, nullptr, 10);
        numberInRange = errno != ERANGE && value >= INT_MIN && value <= INT_MAX;
        val_INT = static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
    }
}

// The code of the keyword equal to word, or 0.
int keywordCode(std::string_view word) {
    if (word.empty() || word[0] < 'a' || word[0] > 'z') return 0;
    const int first = word[0] - 'a';
    for (int row = letterStart[first]; row < letterStart[first + 1]; ++row) {
        const std::string_view keyword = sortedKeywords[row].word;
        if (keyword.size() != word.size()) continue;
        size_t k = 1;  // the first letters are equal within a bucket
        while (k < word.size() && keyword[k] == word[k]) ++k;
        if (k == word.size()) return sortedKeywords[row].code;
    }
    return 0;
}

// A vector written plainly, "<x y z>" with blanks (newlines too) between the tokens and three
// numbers quickDecimal converts, read straight from the stream's window; the tokens are taken
// and the globals left as reading them one by one leaves them. False, with nothing taken, for
// anything else (a comment, a number in another form, a window that ends first): the caller
// then reads the tokens one by one.
bool quickVector(FILE* file) {
    StreamWindow in(file);
    const char* p = in.begin();
    const char* const end = in.end();
    int lines = 0;
    auto skipBlanks = [&] {
        for (; p != end && is(*p, blank); ++p) lines += *p == '\n' ? 1 : 0;
    };
    skipBlanks();
    if (p == end || *p != '<') return false;
    ++p;
    double value[3];
    for (double& v : value) {
        skipBlanks();
        if (const char* const after = plainNumber(p, end, &v)) {
            p = after;
            continue;
        }
        const char* const start = p;
        if (p == end || !is(*p, numberStart)) return false;
        while (p != end && is(*p, numberPart)) ++p;
        if (p == end || !quickDecimal({start, static_cast<size_t>(p - start)}, &v)) return false;
    }
    skipBlanks();
    if (p == end || *p != '>') return false;
    in.take(p + 1);
    comptligne += lines;
    vect_tmp = {value[0], value[1], value[2]};
    val_DBL = value[2];
    numberInRange = true;
    chaine[0] = '\0';
    mot_cle = tokCloseAngle;
    return true;
}

[[noreturn]] void outOfRange() {
    char message[320];
    std::snprintf(message, sizeof message, " number out of range: %s", chaine);
    yyerror(message);
}

// Reads a token that must be a number, ending the parse with `message` when it is not.
void expectNumber(FILE* file, const char* message) {
    if (Lire_MotCle(file) != tokNumber) yyerror(message);
    if (!numberInRange) outOfRange();
}

}  // namespace

int Trouve_MotCle() { return mot_cle = keywordCode(chaine); }

int Lire_MotCle(FILE* file) {
    chaine[0] = '\0';
    StreamWindow in(file);
    const int ch = firstCharacter(in);
    switch (ch) {
        case EOF: return mot_cle = tokEnd;
        case '{': return mot_cle = tokOpenBrace;
        case '}': return mot_cle = tokCloseBrace;
        case '"': return mot_cle = tokQuote;
        case '<': return mot_cle = tokOpenAngle;
        case '>': return mot_cle = tokCloseAngle;
        case '#': return mot_cle = tokHash;
        default: break;
    }
    if (is(static_cast<char>(ch), letter)) {
        const int length = collect(in, ch, wordPart, " word longer than 255 characters");
        return mot_cle = keywordCode({chaine, static_cast<size_t>(length)});
    }
    if (is(static_cast<char>(ch), numberStart)) {
        convertNumber(collect(in, ch, numberPart, " number longer than 255 characters"));
        return mot_cle = tokNumber;
    }
    std::printf("\n Syntaxic analyser stopped on character: '%c'", ch);
    std::printf("\n Please review the script");
    yyerror("");
}

void Lire_Chaine(FILE* file) {
    type_motcle = decimalMode;
    if (Lire_MotCle(file) != tokQuote) yyerror(" string expected");
    Lire_MotCle(file);
    std::strcpy(strTemp, chaine);
    if (Lire_MotCle(file) != tokQuote) yyerror(" '\"' string delimiter expected");
}

void Lire_Decimal(FILE* file) {
    type_motcle = decimalMode;
    expectNumber(file, " Decimal value expected");
}

void Lire_Entier(FILE* file) {
    type_motcle = integerMode;
    expectNumber(file, " Integer value expected");
}

void Lire_Vecteur(FILE* file) {
    type_motcle = decimalMode;
    if (quickVector(file)) return;
    if (Lire_MotCle(file) != tokOpenAngle) yyerror(" Opening backet '<' expected before x component");
    expectNumber(file, " x component expected");
    vect_tmp.x = val_DBL;
    expectNumber(file, " y component expected");
    vect_tmp.y = val_DBL;
    expectNumber(file, " z componente expected");
    vect_tmp.z = val_DBL;
    if (Lire_MotCle(file) != tokCloseAngle) yyerror(" Closing bracket '>' expected after z component");
}

void Lire_RVB(FILE* file) {
    type_motcle = decimalMode;
    const int first = Lire_MotCle(file);
    if (first == tokHash) {
        Lire_MotCle(file);
        const ColorEntry* entry = findColor(myColorList, chaine);
        if (!entry) yyerror(" Color declaration not found");
        rvb_tmp = entry->color;
        return;
    }
    if (first != tokNumber) yyerror(" Red component expected");
    if (!numberInRange) outOfRange();
    rvb_tmp.red = val_DBL;
    expectNumber(file, " Green component expected");
    rvb_tmp.green = val_DBL;
    expectNumber(file, " Blue component expeced");
    rvb_tmp.blue = val_DBL;
}

void expectOpeningBrace(FILE* file) {
    if (Lire_MotCle(file) != tokOpenBrace) yyerror(" Opening bracket '{' expected");
}

void yyerror(const char* message) { yyerrorAt(comptligne, message); }

void yyerrorAt(int line, const char* message) {
    std::printf("\n Parser Error - line: %d", line);
    if (message[0] != '\0') {
        std::printf(" - %s\n", message);
    } else {
        std::printf("\n");
    }
    abortRun(-1);
}

void resetLexer() {
    comptligne = 1;
    mot_cle = 0;
    type_motcle = 0;
    chaine[0] = '\0';
    strTemp[0] = '\0';
    val_DBL = 0.0;
    val_INT = 0;
    vect_tmp = {};
    rvb_tmp = {};
    numberInRange = true;
}
