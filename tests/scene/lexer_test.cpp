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
#include <tuple>
#include <vector>

namespace {

// Scene text in an anonymous temporary file, open for reading from its start through a stream
// buffer of `buffer` bytes (0: the C library's choice; 1: unbuffered).
struct SceneText {
    explicit SceneText(const std::string& text, size_t buffer = 0) : file(std::tmpfile()), space(buffer + 1) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::rewind(file);
        if (buffer > 0) std::setvbuf(file, buffer > 1 ? space.data() : nullptr, buffer > 1 ? _IOFBF : _IONBF, buffer);
    }
    ~SceneText() { std::fclose(file); }
    operator FILE*() const { return file; }
    FILE* file;
    std::vector<char> space;
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
// lengths the lexer converts itself, in one piece or eight characters at a time), signs,
// exponents, and now and then characters that continue the number but not strtod's reading of it
// ("1-2" is one number). Read alone, and as vector components with blanks, line ends and comments
// between them and buffer ends anywhere, each is strtod's value to the bit; and a vector leaves
// the line count and the globals of its last token as reading its tokens one by one does.
TEST_F(Lexer, NumbersConvertExactlyAsStrtodDoes) {
    Draw draw{std::mt19937(1234)};
    const char* signs[] = {"", "", "-", "+"};
    const char* tails[] = {"-", "+1", ".3", "e", "e+", "-2.5"};
    const char* gaps[] = {"", " ", " ", "\n", "\t", "\r\n", " [ a\ncomment ] ", " ; line\n"};
    auto gap = [&](bool mayBeEmpty) { return std::string(gaps[draw.below(std::size(gaps) - 1) + (mayBeEmpty ? 0 : 1)]); };
    std::vector<std::string> numbers;
    std::vector<int> lines;  // the line of each vector's closing bracket
    std::string alone, vectors;
    int line = 1;
    auto add = [&](const std::string& piece) {
        vectors += piece;
        line += static_cast<int>(std::count(piece.begin(), piece.end(), '\n'));
    };
    for (int k = 0; k < 45000; ++k) {
        std::string number = draw.pick(signs);
        number += draw.digits(draw.below(11));
        if (draw.below(4) != 0) number.append(1, '.').append(draw.digits(draw.below(11)));
        if (number.find_first_of("0123456789") == std::string::npos) number += '0';
        if (draw.below(5) == 0) number.append(1, 'e').append(std::to_string(static_cast<int>(draw.below(61)) - 30));
        if (draw.below(40) == 0) number += draw.pick(tails);
        numbers.push_back(number);
        alone += number + " ";
        if (k % 3 == 0) add(gap(true) + "<" + gap(true));
        add(number + gap(k % 3 == 2));  // no gap between two numbers would join them
        if (k % 3 == 2) {
            add(">");
            lines.push_back(line);
        }
    }
    SceneText aloneFile(alone);
    for (const std::string& number : numbers) {
        Lire_Decimal(aloneFile);
        ASSERT_EQ(bits(val_DBL), bits(std::strtod(number.c_str(), nullptr))) << number;
    }
    for (size_t size : {13, 1 << 16}) {
        resetLexer();
        SceneText vectorFile(vectors, size);
        for (size_t k = 0; k < numbers.size(); k += 3) {
            const std::string at =
                "<" + numbers[k] + " " + numbers[k + 1] + " " + numbers[k + 2] + ">, buffer of " + std::to_string(size);
            Lire_Vecteur(vectorFile);
            const double read[] = {vect_tmp.x, vect_tmp.y, vect_tmp.z};
            for (size_t c = 0; c < 3; ++c)
                ASSERT_EQ(bits(read[c]), bits(std::strtod(numbers[k + c].c_str(), nullptr))) << at;
            ASSERT_EQ(std::tuple(comptligne, mot_cle, std::string(chaine), bits(val_DBL)),
                      std::tuple(lines[k / 3], static_cast<int>(tokCloseAngle), "", bits(read[2])))
                << at;
        }
    }
}

// The lexer read the plain way, one fgetc at a time with ungetc for the character after a word
// or number and a walk through the keyword table: the reference for the buffered lexer.
struct ReferenceToken {
    int code = 0;
    std::string text;
    int line = 1, integer = 0;
    double decimal = 0.0;
};

struct ReferenceLexer {
    FILE* file;
    int line = 1;

    ReferenceToken next() {
        int ch;
        while ((ch = std::fgetc(file)) != EOF && std::strchr(" \t\n\v\f\r[;", ch)) {
            line += ch == '\n';
            for (int c = ch; (ch == '[' || ch == ';') && (c = std::fgetc(file)) != EOF;) {  // a comment
                line += c == '\n';
                if (c == (ch == '[' ? ']' : '\n')) break;
            }
        }
        ReferenceToken token{0, "", line};
        const std::string punctuation = "{}<>#\"";
        const int codes[] = {tokOpenBrace, tokCloseBrace, tokOpenAngle, tokCloseAngle, tokHash, tokQuote};
        if (ch == EOF) {
            token.code = tokEnd;
        } else if (punctuation.find(static_cast<char>(ch)) != std::string::npos) {
            token.code = codes[punctuation.find(static_cast<char>(ch))];
        } else if (std::isalpha(ch)) {
            token.text = collect(ch, "_.\\:", true);
            for (const MotCle& row : liste_motcle) token.code = token.text == row.mot ? row.code : token.code;
        } else {
            token.code = tokNumber;
            token.text = collect(ch, "+-.Ee", false);
            token.decimal = std::strtod(token.text.c_str(), nullptr);
            token.integer =
                static_cast<int>(std::clamp<long>(std::strtol(token.text.c_str(), nullptr, 10), INT_MIN, INT_MAX));
        }
        return token;
    }

    std::string collect(int first, const char* others, bool letters) {
        std::string text(1, static_cast<char>(first));
        int ch;
        while ((ch = std::fgetc(file)) != EOF &&
               (std::isdigit(ch) || (letters && std::isalpha(ch)) || std::strchr(others, ch)))
            text += static_cast<char>(ch);
        std::ungetc(ch, file);
        return text;
    }
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
        ReferenceLexer reference{referenceFile};
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
                const int code = Lire_MotCle(file);
                ASSERT_EQ(std::tuple(code, std::string(chaine), comptligne), std::tuple(want.code, want.text, want.line))
                    << token;
                ASSERT_TRUE(code != tokNumber || (decimal ? bits(val_DBL) == bits(want.decimal) : val_INT == want.integer))
                    << token << ": " << val_DBL << " " << val_INT;
            }
            EXPECT_EQ(Lire_MotCle(file), tokEnd);  // and it stays the end
            EXPECT_EQ(std::fgetc(file), EOF);      // what the lexer left unread is the stream's
        }
    }
}

}  // namespace
