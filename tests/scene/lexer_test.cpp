#include "scene/lexer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "base/fatal.h"

namespace {

// Scene text in an anonymous temporary file, open for reading from its start through a stream
// buffer of `buffer` bytes (0: the C library's choice; 1: unbuffered).
class SceneText {
public:
    explicit SceneText(const std::string& text, size_t buffer = 0) : file_(std::tmpfile()), buffer_(buffer + 1) {
        std::fwrite(text.data(), 1, text.size(), file_);
        std::rewind(file_);
        if (buffer > 0) std::setvbuf(file_, buffer > 1 ? buffer_.data() : nullptr, buffer > 1 ? _IOFBF : _IONBF, buffer);
    }
    ~SceneText() { std::fclose(file_); }
    operator FILE*() const { return file_; }

private:
    FILE* file_;
    std::vector<char> buffer_;
};

// Random choices from a fixed seed.
struct Draw {
    std::mt19937 engine;
    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(engine); }
    template <class List>
    std::string pick(const List& list) {
        return list[below(std::size(list))];
    }
    std::string digits(size_t n) {
        std::string text;
        for (; n > 0; --n) text += static_cast<char>('0' + below(10));
        return text;
    }
};

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::istringstream in(text);
    for (std::string piece; std::getline(in, piece, separator);) pieces.push_back(piece);
    return pieces;
}

uint64_t bits(double value) { return std::bit_cast<uint64_t>(value); }

class Lexer : public testing::Test {
protected:
    void TearDown() override { resetLexer(); }
};

// The reference below finds keywords by walking the table; the lexer must find every one of them.
TEST_F(Lexer, EveryKeywordIsFound) {
    for (const MotCle& row : liste_motcle) {
        std::strcpy(chaine, row.mot);
        EXPECT_EQ(Trouve_MotCle(), row.code) << row.mot;
    }
}

// Numbers of 0 to 10 digits on either side of the point (up to 20 in all: on both sides of the
// lengths the lexer converts itself, in one piece or eight characters at a time), signs and
// exponents, read alone and as the components of vectors: strtod's value, to the bit.
TEST_F(Lexer, NumbersConvertExactlyAsStrtodDoes) {
    Draw draw{std::mt19937(1234)};
    const char* signs[] = {"", "", "-", "+"};
    const char* after[] = {" ", "\n", "\t", ""};  // "" only before the closing bracket
    std::vector<std::string> numbers;
    std::string alone, vectors;
    for (int k = 0; k < 45000; ++k) {
        std::string number = draw.pick(signs);
        number += draw.digits(draw.below(11));
        if (draw.below(4) != 0) number.append(1, '.').append(draw.digits(draw.below(11)));
        if (number.find_first_of("0123456789") == std::string::npos) number += '0';
        if (draw.below(5) == 0) number.append(1, 'e').append(std::to_string(static_cast<int>(draw.below(61)) - 30));
        numbers.push_back(number);
        alone += number + " ";
        vectors += (k % 3 == 0 ? "<" : "") + number + after[draw.below(k % 3 == 2 ? 4 : 3)] + (k % 3 == 2 ? "> " : "");
    }
    SceneText aloneFile(alone), vectorFile(vectors, 1 << 16);
    double vector[3];
    for (size_t k = 0; k < numbers.size(); ++k) {
        if (k % 3 == 0) {
            Lire_Vecteur(vectorFile);
            vector[0] = vect_tmp.x, vector[1] = vect_tmp.y, vector[2] = vect_tmp.z;
        }
        Lire_Decimal(aloneFile);
        const uint64_t expected = bits(std::strtod(numbers[k].c_str(), nullptr));
        ASSERT_EQ(bits(val_DBL), expected) << numbers[k];
        ASSERT_EQ(bits(vector[k % 3]), expected) << numbers[k] << " in a vector";
    }
}

// The lexer read the plain way, one fgetc at a time with ungetc for the character after a word
// or number and a walk through the keyword table: the reference for the buffered lexer.
struct ReferenceToken {
    int code;
    std::string text;
    int line;
    double decimal;
    int integer;
};

class ReferenceLexer {
public:
    explicit ReferenceLexer(FILE* file) : file_(file) {}

    ReferenceToken next() {
        int ch;
        while ((ch = std::fgetc(file_)) != EOF && (std::strchr(" \t\n\v\f\r[;", ch))) {
            if (ch == '\n') ++line_;
            if (ch == '[' || ch == ';') {  // a comment, up to its closing character or the end
                for (int c; (c = std::fgetc(file_)) != EOF;) {
                    if (c == '\n') ++line_;
                    if (c == (ch == '[' ? ']' : '\n')) break;
                }
            }
        }
        ReferenceToken token{0, "", line_, 0.0, 0};
        const std::string punctuation = "{}<>#\"";
        const int codes[] = {tokOpenBrace, tokCloseBrace, tokOpenAngle, tokCloseAngle, tokHash, tokQuote};
        if (ch == EOF) {
            token.code = tokEnd;
        } else if (punctuation.find(static_cast<char>(ch)) != std::string::npos) {
            token.code = codes[punctuation.find(static_cast<char>(ch))];
        } else if (std::isalpha(ch)) {
            token.text = collect(ch, "_.\\:", true);
            for (const MotCle& row : liste_motcle) {
                if (token.text == row.mot) token.code = row.code;
            }
        } else {
            token.code = tokNumber;
            token.text = collect(ch, "+-.Ee", false);
            token.decimal = std::strtod(token.text.c_str(), nullptr);
            token.integer =
                static_cast<int>(std::clamp<long>(std::strtol(token.text.c_str(), nullptr, 10), INT_MIN, INT_MAX));
        }
        return token;
    }

private:
    std::string collect(int first, const char* others, bool letters) {
        std::string text(1, static_cast<char>(first));
        int ch;
        while ((ch = std::fgetc(file_)) != EOF &&
               (std::isdigit(ch) || (letters && std::isalpha(ch)) || std::strchr(others, ch))) {
            text += static_cast<char>(ch);
        }
        std::ungetc(ch, file_);
        return text;
    }

    FILE* file_;
    int line_ = 1;
};

// Scene-like text from random pieces: keywords and other words, numbers of every form (those the
// lexer converts itself and those it leaves to strtod), the single-character tokens, blanks of
// every kind with Windows line ends, both comments (one left open at the very end now and then).
// Words and numbers get a blank after them to stay apart.
std::string randomText(Draw& draw) {
    static const std::vector<std::string> pieces = split(
        "triangle|vertex|smooth_triangle|camera|CAMERA|Vertex|a.b:c\\e_2|x|out.tga|reflection_samples|"
        "abcdefghijklmnopq|abcdefghijklmnop|triangle2|look_at<|0|-0.727006|39.7468|1e3|-.5|+|-|.|1-2|2.5.3|1.5e+3|"
        "1E-22|7e22|1e23|7e-23|0.1|4.35|5.|--1|9007199254740993|2.2250738585072014e-308|3.14159265358979323846|"
        "123456789012345678|0000000000000000000000001.5|1e400|2147483648|-2147483649|1e|1e+|{|}|<|>|#|\"| |  |\t|"
        "\n|\r\n|\v|\f|\n\n|[ a comment\nover two lines ]|[ [ nested ] word|[]|; to the end of the line\n|;\r\n|[ ; ]|; [ "
        "\n",
        '|');
    const char* endings[] = {"", "[ never closed\n", "; no line end", "vertex", "12.5", "\n"};
    std::string text;
    for (size_t n = draw.below(401); n > 0; --n) text += draw.pick(pieces) + ' ';
    return text + draw.pick(endings);
}

TEST_F(Lexer, BufferedReadingMatchesCharacterByCharacterReading) {
    Draw draw{std::mt19937(97)};
    for (int round = 0; round < 60; ++round) {
        const std::string text = randomText(draw);
        SceneText referenceFile(text);
        ReferenceLexer reference(referenceFile);
        std::vector<ReferenceToken> expected{reference.next()};
        while (expected.back().code != tokEnd) expected.push_back(reference.next());
        // Buffers of 1 (unbuffered), 2, 3 and 7 bytes put token and line ends across every refill.
        for (size_t size : {0, 1, 2, 3, 7, 4096}) {
            SCOPED_TRACE("round " + std::to_string(round) + ", buffer of " + std::to_string(size));
            resetLexer();
            SceneText file(text, size);
            for (size_t k = 0; k < expected.size(); ++k) {
                const ReferenceToken& want = expected[k];
                const std::string token = "token " + std::to_string(k) + " '" + want.text + "'";
                const bool decimal = draw.below(10) < 7;
                type_motcle = decimal ? 2 : 3;
                ASSERT_EQ(Lire_MotCle(file), want.code) << token;
                ASSERT_EQ(chaine, want.text) << token;
                ASSERT_EQ(comptligne, want.line) << token;
                if (want.code != tokNumber) continue;
                if (decimal) {
                    ASSERT_EQ(bits(val_DBL), bits(want.decimal)) << token;
                } else {
                    ASSERT_EQ(val_INT, want.integer) << token;
                }
            }
            EXPECT_EQ(Lire_MotCle(file), tokEnd);  // and it stays the end
            EXPECT_EQ(std::fgetc(file), EOF);      // what the lexer left unread is the stream's
        }
    }
}

// Vectors read by Lire_Vecteur, which takes a plainly written "<x y z>" from the stream's buffer in
// one go, leave every global as reading their five tokens one by one does: across buffer ends,
// with newlines and comments between the tokens, numbers in every form, and malformed vectors
// (which end the parse at the same line; in one with two components, "1-2" is one number).
TEST_F(Lexer, VectorsReadAtOnceMatchTheirTokensReadOneByOne) {
    Draw draw{std::mt19937(5)};
    const std::vector<std::string> numbers = split(
        "0 -0 1 -49.9 0.0541661 +3 -.5 5. 1e3 1E-22 7e22 1e23 1-2 2.5.3 - 123456789012345678 -1234567 12345678 "
        "0.1234567 -0.12345678 9999999.9999999 1234567.12345678 +.5 -0.0000000 1.5e 3.25- 7.5+1 2.E1",
        ' ');
    const std::vector<std::string> gaps = {" ", "", "  ", "\n", "\r\n", "\t", " [ comment ] ", " ; line\n"};
    auto read = [](FILE* file, bool atOnce) {
        resetLexer();
        std::string states;
        testing::internal::CaptureStdout();
        try {
            for (int v = 0; v < 6; ++v) {
                if (atOnce) {
                    Lire_Vecteur(file);
                } else {  // the tokens one by one, as the reader checks them
                    type_motcle = 2;
                    double xyz[3];
                    if (Lire_MotCle(file) != tokOpenAngle) yyerror("");
                    for (double& c : xyz) {
                        if (Lire_MotCle(file) != tokNumber) yyerror("");
                        c = val_DBL;
                    }
                    if (Lire_MotCle(file) != tokCloseAngle) yyerror("");
                    vect_tmp = {xyz[0], xyz[1], xyz[2]};
                }
                char state[400];
                std::snprintf(state, sizeof state, "%a %a %a %a %d %d [%s]\n", vect_tmp.x, vect_tmp.y, vect_tmp.z, val_DBL,
                              mot_cle, comptligne, chaine);
                states += state;
            }
        } catch (const RunAbort&) {
            states += "ended at line " + std::to_string(comptligne);
        }
        const std::string printed = testing::internal::GetCapturedStdout();
        return states + printed.substr(0, printed.find("\n Parser Error"));  // not the message itself
    };
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (int v = 0; v < 6; ++v) {
            const int broken = v == 2 ? round % 10 : 0;  // 9: a comma; 4: no third component
            for (const std::string& piece :
                 {draw.pick(gaps), std::string("<"), draw.pick(gaps), draw.pick(numbers), draw.pick(gaps),
                  std::string(broken == 9 ? "," : " "), draw.pick(numbers), std::string(" "),
                  broken == 4 ? std::string() : draw.pick(numbers), draw.pick(gaps), std::string(">")}) {
                text += piece;
            }
        }
        for (size_t size : {2, 13, 4096}) {
            SCOPED_TRACE("round " + std::to_string(round) + ", buffer of " + std::to_string(size) + ": " + text);
            SceneText fast(text, size), slow(text, size);
            EXPECT_EQ(read(fast, true), read(slow, false));
        }
    }
}

}  // namespace
