#include "scene/lexer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "app/fatal.h"
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
static_assert(keywordCount == 82);

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

constexpr bool isBlank(int ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}
constexpr bool isLetter(int ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }
constexpr bool isDigit(int ch) { return ch >= '0' && ch <= '9'; }
constexpr bool continuesWord(int ch) {
    return isLetter(ch) || isDigit(ch) || ch == '_' || ch == '.' || ch == '\\' || ch == ':';
}
constexpr bool startsNumber(int ch) { return isDigit(ch) || ch == '+' || ch == '-' || ch == '.'; }
constexpr bool continuesNumber(int ch) { return startsNumber(ch) || ch == 'E' || ch == 'e'; }

// Skips a comment up to and including its closing character; a comment still open at the end
// of the file ends there.
void skipComment(FILE* file, int closing) {
    int ch;
    while ((ch = getc_unlocked(file)) != EOF) {
        if (ch == '\n') ++comptligne;
        if (ch == closing) return;
    }
}

// Collects the rest of a word or number into chaine; the first character that does not belong
// goes back to the file.
template <class Belongs>
void collect(FILE* file, int first, Belongs belongs, const char* tooLong) {
    int length = 0;
    chaine[length++] = static_cast<char>(first);
    int ch;
    while (belongs(ch = getc_unlocked(file))) {
        if (length == maxTokenLength) {
            chaine[length] = '\0';
            yyerror(tooLong);
        }
        chaine[length++] = static_cast<char>(ch);
    }
    chaine[length] = '\0';
    ungetc(ch, file);
}

constexpr double exactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Decimal text of the plain form [sign] digits [. digits] [e [sign] digits], whose digits make an
// integer below 2^53 and whose power of ten lies within 22 of zero, is converted with a single
// exact multiplication or division: one rounding, so exactly the value strtod gives. Anything
// else (longer mantissas, far exponents, text that strtod reads only in part) returns false.
bool quickDecimal(const char* text, double* value) {
    constexpr std::uint64_t mantissaLimit = ((std::uint64_t{1} << 53) - 9) / 10;
    const char* p = text;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    std::uint64_t mantissa = 0;
    int digits = 0;
    int fractionDigits = 0;
    for (bool fraction = false;; ++p) {
        if (*p == '.' && !fraction) {
            fraction = true;
            continue;
        }
        if (!isDigit(*p)) break;
        if (mantissa > mantissaLimit) return false;
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
        ++digits;
        if (fraction) ++fractionDigits;
    }
    if (digits == 0) return false;
    int exponent = 0;
    if (*p == 'e' || *p == 'E') {
        ++p;
        const bool negativeExponent = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        if (!isDigit(*p)) return false;
        for (; isDigit(*p); ++p) {
            if (exponent > 1000) return false;
            exponent = exponent * 10 + (*p - '0');
        }
        if (negativeExponent) exponent = -exponent;
    }
    if (*p != '\0') return false;

    const int power = exponent - fractionDigits;
    double result = 0.0;
    if (mantissa != 0) {
        if (power < -22 || power > 22) return false;
        const auto exact = static_cast<double>(mantissa);
        result = power >= 0 ? exact * exactPowersOfTen[power] : exact / exactPowersOfTen[-power];
    }
    *value = negative ? -result : result;
    return true;
}

// Converts chaine as far as the conversion accepts it; the rest of the text is ignored.
void convertNumber() {
    if (type_motcle == decimalMode) {
        if (!quickDecimal(chaine, &val_DBL)) val_DBL = std::strtod(chaine, nullptr);
        numberInRange = std::isfinite(val_DBL);
    } else {
        errno = 0;
        const long value = std::strtol(chaine, nullptr, 10);
        numberInRange = errno != ERANGE && value >= INT_MIN && value <= INT_MAX;
        val_INT = static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
    }
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

int Trouve_MotCle() {
    const std::string_view word(chaine);
    mot_cle = 0;
    if (!word.empty() && word[0] >= 'a' && word[0] <= 'z') {
        const int letter = word[0] - 'a';
        for (int row = letterStart[letter]; row < letterStart[letter + 1]; ++row) {
            if (sortedKeywords[row].word == word) {
                mot_cle = sortedKeywords[row].code;
                break;
            }
        }
    }
    return mot_cle;
}

int Lire_MotCle(FILE* file) {
    chaine[0] = '\0';
    int ch;
    for (;;) {
        ch = getc_unlocked(file);
        if (ch == '\n') {
            ++comptligne;
        } else if (ch == '[') {
            skipComment(file, ']');
        } else if (ch == ';') {
            skipComment(file, '\n');
        } else if (!isBlank(ch)) {
            break;
        }
    }

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
    if (isLetter(ch)) {
        collect(file, ch, continuesWord, " word longer than 255 characters");
        return Trouve_MotCle();
    }
    if (startsNumber(ch)) {
        collect(file, ch, continuesNumber, " number longer than 255 characters");
        convertNumber();
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

void yyerror(const char* message) {
    std::printf("\n Parser Error - line: %d", comptligne);
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
