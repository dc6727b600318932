#include "scene/lexer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/console.h"
#include "base/fatal.h"
#include "scene/char_classes.h"
#include "scene/colors.h"
#include "scene/numbers.h"
#include "scene/stream_window.h"

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
    consolePrint("\n Syntaxic analyser stopped on character: '%c'", ch);
    consolePrint("\n Please review the script");
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
    printParseError(line, message);
    abortRun(-1);
}

void printParseError(int line, const char* message) {
    consolePrint("\n Parser Error - line: %d", line);
    if (message[0] != '\0') {
        consolePrint(" - %s\n", message);
    } else {
        consolePrint("\n");
    }
}

void (*memoryShortHandler)() = nullptr;

void memoryShort() {
    if (memoryShortHandler) memoryShortHandler();
    yyerror(" memory allocation failed");
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
