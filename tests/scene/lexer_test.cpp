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
#include <string>
#include <vector>

#include "base/fatal.h"

namespace {

// Scene text in an anonymous temporary file, open for reading from its start.
class SceneText {
public:
    explicit SceneText(const std::string& text) : file_(std::tmpfile()) {
        std::fwrite(text.data(), 1, text.size(), file_);
        std::rewind(file_);
    }
    ~SceneText() { std::fclose(file_); }
    operator FILE*() const { return file_; }

private:
    FILE* file_;
};

class Lexer : public testing::Test {
protected:
    void TearDown() override { resetLexer(); }
    // Every token up to the end of the file as "code:text".
    static std::string tokens(const std::string& text) {
        SceneText file(text);
        std::string out;
        while (Lire_MotCle(file) != tokEnd) out += std::to_string(mot_cle) + ":" + chaine + " ";
        return out;
    }
};

TEST_F(Lexer, KeywordsAndTokenBoundaries) {
    for (const MotCle& row : liste_motcle) {
        std::strcpy(chaine, row.mot);
        EXPECT_EQ(Trouve_MotCle(), row.code) << row.mot;
    }
    EXPECT_EQ(tokens("sphere{center<0 0 0>radius 1}smooth_triangle CAMERA cameras"),
              "500:sphere 10: 501:center 12: 1:0 1:0 1:0 13: 502:radius 1:1 11: 903:smooth_triangle 0:CAMERA 0:cameras ");
    EXPECT_EQ(tokens("a.b:c\\e_2 \"# my-color 1.5e+3x"), "0:a.b:c\\e_2 15: 14: 0:my 1:- 304:color 1:1.5e+3 0:x ");
    EXPECT_EQ(tokens("[ a [ b ] c ; d\ne [ never closed"), "0:c 0:e ");  // comments do not nest
}

// Decimals of 1 to 20 digits, with or without a point, a sign and an exponent: those the lexer
// converts itself and those it leaves to strtod must all be strtod's value, to the bit.
TEST_F(Lexer, DecimalsConvertExactlyAsStrtodDoes) {
    std::mt19937 engine(1234);
    auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(engine); };
    std::vector<std::string> numbers;
    std::string text;
    for (int k = 0; k < 20000; ++k) {
        std::string digits;
        for (size_t n = 1 + below(20); n > 0; --n) digits += static_cast<char>('0' + below(10));
        const size_t point = below(digits.size() + 2);  // beyond the last digit: no point
        if (point <= digits.size()) digits.insert(point, 1, '.');
        std::string number = below(2) ? "-" : "";
        number += digits;
        if (below(3) == 0) number.append(1, 'e').append(std::to_string(static_cast<int>(below(61)) - 30));
        numbers.push_back(number);
        text += number + " ";
    }
    SceneText file(text);
    for (const std::string& number : numbers) {
        Lire_Decimal(file);
        const double expected = std::strtod(number.c_str(), nullptr);
        ASSERT_EQ(std::bit_cast<uint64_t>(val_DBL), std::bit_cast<uint64_t>(expected)) << number;
    }
}

// The same for the components of vectors, which Lire_Vecteur converts eight characters at a time
// when they are written plainly: every count of digits on either side of the point (and at the
// lengths where that reading gives up), signs, exponents, and the characters that may or may not
// follow a number.
TEST_F(Lexer, VectorComponentsConvertExactlyAsStrtodDoes) {
    std::mt19937 engine(4321);
    auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(engine); };
    auto digits = [&](size_t n) {
        std::string text;
        for (; n > 0; --n) text += static_cast<char>('0' + below(10));
        return text;
    };
    const char* signs[] = {"", "", "-", "+"};
    const char* after[] = {" ", " ", "\n", "\t", ""};  // "" only before the closing bracket
    std::vector<std::string> numbers;
    std::string text;
    for (int k = 0; k < 30000; ++k) {
        std::string number = signs[below(4)];
        number += digits(below(10));
        if (below(4) != 0) number.append(1, '.').append(digits(below(10)));
        if (number.find_first_of("0123456789") == std::string::npos) number.append(1, '0');
        if (below(20) == 0) number.append(1, 'e').append(std::to_string(static_cast<int>(below(9)) - 4));
        numbers.push_back(number);
        text += k % 3 == 0 ? "<" : "";
        text += number;
        text += k % 3 == 2 ? std::string(after[below(5)]) + "> " : after[below(4)];
    }
    SceneText file(text);
    std::vector<char> buffer(1 << 16);
    std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
    for (size_t k = 0; k < numbers.size(); k += 3) {
        Lire_Vecteur(file);
        const double read[3] = {vect_tmp.x, vect_tmp.y, vect_tmp.z};
        for (size_t c = 0; c < 3; ++c) {
            const double expected = std::strtod(numbers[k + c].c_str(), nullptr);
            ASSERT_EQ(std::bit_cast<uint64_t>(read[c]), std::bit_cast<uint64_t>(expected)) << numbers[k + c];
        }
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
// lexer converts itself and those it leaves to strtod, which both must convert alike), the
// single-character tokens, blanks of every kind with Windows line ends, both comments (one left
// open at the very end now and then). Words and numbers get a blank after them to stay apart.
std::string randomText(std::mt19937& engine) {
    static const std::vector<std::string> pieces = {"triangle",
                                                    "vertex",
                                                    "smooth_triangle",
                                                    "camera",
                                                    "CAMERA",
                                                    "Vertex",
                                                    "a.b:c\\e_2",
                                                    "x",
                                                    "out.tga",
                                                    "reflection_samples",
                                                    "abcdefghijklmnopq",
                                                    "abcdefghijklmnop",
                                                    "triangle2",
                                                    "look_at<",
                                                    "0",
                                                    "-0.727006",
                                                    "39.7468",
                                                    "1e3",
                                                    "-.5",
                                                    "+",
                                                    "-",
                                                    ".",
                                                    "1-2",
                                                    "2.5.3",
                                                    "1.5e+3",
                                                    "1E-22",
                                                    "7e22",
                                                    "1e23",
                                                    "7e-23",
                                                    "0.1",
                                                    "4.35",
                                                    "5.",
                                                    "--1",
                                                    "9007199254740993",
                                                    "2.2250738585072014e-308",
                                                    "3.14159265358979323846",
                                                    "123456789012345678",
                                                    "0000000000000000000000001.5",
                                                    "1e400",
                                                    "2147483648",
                                                    "-2147483649",
                                                    "1e",
                                                    "1e+",
                                                    "{",
                                                    "}",
                                                    "<",
                                                    ">",
                                                    "#",
                                                    "\"",
                                                    " ",
                                                    "  ",
                                                    "\t",
                                                    "\n",
                                                    "\r\n",
                                                    "\v",
                                                    "\f",
                                                    "\n\n",
                                                    "[ a comment\nover two lines ]",
                                                    "[]",
                                                    "; to the end of the line\n",
                                                    ";\r\n",
                                                    "[ ; ]",
                                                    "; [ \n"};
    const char* endings[] = {"", "[ never closed\n", "; no line end", "vertex", "12.5", "\n"};
    std::string text;
    for (int n = std::uniform_int_distribution<int>(0, 400)(engine); n > 0; --n) {
        text += pieces[std::uniform_int_distribution<size_t>(0, pieces.size() - 1)(engine)] + ' ';
    }
    return text + endings[std::uniform_int_distribution<size_t>(0, std::size(endings) - 1)(engine)];
}

TEST_F(Lexer, BufferedReadingMatchesCharacterByCharacterReading) {
    std::mt19937 engine(97);
    std::bernoulli_distribution decimalMode(0.7);
    for (int round = 0; round < 60; ++round) {
        const std::string text = randomText(engine);
        SceneText expectedFile(text);
        ReferenceLexer reference(expectedFile);
        std::vector<ReferenceToken> expected;
        do {
            expected.push_back(reference.next());
        } while (expected.back().code != tokEnd);
        // Buffers of 1 (unbuffered), 2, 3 and 7 bytes put token and line ends across every refill.
        for (size_t size : {0, 1, 2, 3, 7, 4096}) {
            SCOPED_TRACE("round " + std::to_string(round) + ", buffer of " + std::to_string(size));
            resetLexer();
            SceneText file(text);
            std::vector<char> buffer(size + 1);
            if (size > 0) std::setvbuf(file, size > 1 ? buffer.data() : nullptr, size > 1 ? _IOFBF : _IONBF, size);
            for (size_t k = 0; k < expected.size(); ++k) {
                const bool decimal = decimalMode(engine);
                type_motcle = decimal ? 2 : 3;
                const ReferenceToken& want = expected[k];
                ASSERT_EQ(Lire_MotCle(file), want.code) << "token " << k << " " << want.text;
                ASSERT_EQ(chaine, want.text) << "token " << k;
                ASSERT_EQ(comptligne, want.line) << "token " << k << " " << want.text;
                if (want.code == tokNumber && decimal) {
                    ASSERT_EQ(std::memcmp(&val_DBL, &want.decimal, sizeof(double)), 0) << want.text;
                } else if (want.code == tokNumber) {
                    ASSERT_EQ(val_INT, want.integer) << want.text;
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
// (which end the parse with the same message; in one with two components, "1-2" is one number,
// not two).
TEST_F(Lexer, VectorsReadAtOnceMatchTheirTokensReadOneByOne) {
    std::mt19937 engine(5);
    const std::vector<std::string> numbers = {"0",
                                              "-0",
                                              "1",
                                              "-49.9",
                                              "0.0541661",
                                              "+3",
                                              "-.5",
                                              "5.",
                                              "1e3",
                                              "1E-22",
                                              "7e22",
                                              "1e23",
                                              "1-2",
                                              "2.5.3",
                                              "-",
                                              "123456789012345678",
                                              "-1234567",
                                              "12345678",
                                              "0.1234567",
                                              "-0.12345678",
                                              "9999999.9999999",
                                              "1234567.12345678",
                                              "+.5",
                                              "-0.0000000",
                                              "1.5e",
                                              "3.25-",
                                              "7.5+1",
                                              "2.E1"};
    const std::vector<std::string> gaps = {" ", "", "  ", "\n", "\r\n", "\t", " [ comment ] ", " ; line\n"};
    auto pick = [&](const std::vector<std::string>& from) {
        return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(engine)];
    };
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (int v = 0; v < 6; ++v) {
            const int broken = v == 2 ? round % 10 : 0;  // 9: a comma; 4: no third component
            for (const std::string& piece : {pick(gaps), std::string("<"), pick(gaps), pick(numbers), pick(gaps),
                                             std::string(broken == 9 ? "," : " "), pick(numbers), std::string(" "),
                                             broken == 4 ? std::string() : pick(numbers), pick(gaps), std::string(">")}) {
                text += piece;
            }
        }
        for (size_t size : {2, 13, 4096}) {
            SCOPED_TRACE("round " + std::to_string(round) + ", buffer of " + std::to_string(size) + ": " + text);
            std::vector<char> buffers[2] = {std::vector<char>(size), std::vector<char>(size)};
            SceneText fast(text), slow(text);
            std::setvbuf(fast, buffers[0].data(), _IOFBF, size);
            std::setvbuf(slow, buffers[1].data(), _IOFBF, size);
            auto state = [] {
                char line[400];
                std::snprintf(line, sizeof line, "%a %a %a %a %d %d [%s]", vect_tmp.x, vect_tmp.y, vect_tmp.z, val_DBL,
                              mot_cle, comptligne, chaine);
                return std::string(line);
            };
            auto read = [&](bool atOnce) {
                resetLexer();
                std::vector<std::string> states;
                testing::internal::CaptureStdout();
                try {
                    for (int v = 0; v < 6; ++v) {
                        if (atOnce) {
                            Lire_Vecteur(fast);
                        } else {  // the tokens one by one, as the reader checks them
                            type_motcle = 2;
                            if (Lire_MotCle(slow) != tokOpenAngle)
                                yyerror(" Opening backet '<' expected before x component");
                            double xyz[3];
                            for (double& c : xyz) {
                                if (Lire_MotCle(slow) != tokNumber) yyerror(" component expected");
                                c = val_DBL;
                            }
                            if (Lire_MotCle(slow) != tokCloseAngle)
                                yyerror(" Closing bracket '>' expected after z component");
                            vect_tmp = {xyz[0], xyz[1], xyz[2]};
                        }
                        states.push_back(state());
                    }
                } catch (const RunAbort&) {
                    states.push_back("ended");
                }
                const std::string printed = testing::internal::GetCapturedStdout();
                states.push_back(printed.substr(0, printed.find(" -")));  // the line, not the message
                return states;
            };
            EXPECT_EQ(read(true), read(false));
        }
    }
}

}  // namespace
