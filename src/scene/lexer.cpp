#include "scene/lexer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
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

// The rows of liste_motcle ordered by word, so that a lookup is a binary search rather than a
// walk through every row. No word occurs twice, so the row found is the one a walk would find.
constexpr std::array<unsigned char, keywordCount> sortedRows = [] {
    std::array<unsigned char, keywordCount> rows{};
    for (int i = 0; i < keywordCount; ++i) rows[i] = static_cast<unsigned char>(i);
    std::sort(rows.begin(), rows.end(), [](unsigned char a, unsigned char b) {
        return std::string_view(liste_motcle[a].mot) < std::string_view(liste_motcle[b].mot);
    });
    return rows;
}();

static_assert(std::adjacent_find(sortedRows.begin(), sortedRows.end(), [](unsigned char a, unsigned char b) {
                  return std::string_view(liste_motcle[a].mot) == std::string_view(liste_motcle[b].mot);
              }) == sortedRows.end(),
              "a keyword occurs twice");

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

// Converts chaine as far as the conversion accepts it; the rest of the text is ignored.
void convertNumber() {
    errno = 0;
    if (type_motcle == decimalMode) {
        val_DBL = std::strtod(chaine, nullptr);
        numberInRange = std::isfinite(val_DBL);
    } else {
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
    const auto row = std::lower_bound(sortedRows.begin(), sortedRows.end(), word,
                                      [](unsigned char r, std::string_view w) { return liste_motcle[r].mot < w; });
    mot_cle = (row != sortedRows.end() && liste_motcle[*row].mot == word) ? liste_motcle[*row].code : 0;
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
