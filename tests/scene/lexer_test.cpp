#include "scene/lexer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "scene/colors.h"
#include "support/parse_fixture.h"

namespace {

using Tokens = std::vector<std::string>;

class Lexer : public testing::Test {
protected:
    void SetUp() override { resetLexer(); }
    void TearDown() override {
        freeColorList(&myColorList);
        resetLexer();
    }
    // Every token up to the end of the file as "code:text".
    static Tokens tokens(const std::string& text) {
        SceneText file(text);
        Tokens out;
        while (Lire_MotCle(file) != tokEnd) out.push_back(std::to_string(mot_cle) + ":" + chaine);
        return out;
    }
    // What a reader ends with on the text, from line 1.
    static std::string failure(void (*reader)(FILE*), const std::string& text) {
        resetLexer();
        SceneText file(text);
        return abortOutput([&] { reader(file); });
    }
};

TEST_F(Lexer, KeywordsMatchWholeWordsCaseSensitively) {
    ASSERT_EQ(std::size(liste_motcle), 82u);
    for (const MotCle& row : liste_motcle) {
        std::strcpy(chaine, row.mot);
        EXPECT_EQ(Trouve_MotCle(), row.code) << row.mot;
    }
    EXPECT_EQ(tokens("include resolution disc smooth_triangle modify scale CAMERA cam cameras"),
              (Tokens{"4:include", "202:resolution", "704:disc", "903:smooth_triangle", "1000:modify", "1003:scale",
                      "0:CAMERA", "0:cam", "0:cameras"}));
}

TEST_F(Lexer, TokensSplitWhereTheirCharactersEnd) {
    const Tokens sphere = {"500:sphere", "10:", "501:center", "12:", "1:0", "1:0", "1:0", "13:", "502:radius", "1:1", "11:"};
    EXPECT_EQ(tokens("sphere{center<0 0 0>radius 1}"), sphere);
    EXPECT_EQ(tokens("sphere {\n center < 0 0 0 >\n radius 1\n}\n"), sphere);
    EXPECT_EQ(tokens("a.b:c\\e_2 \"#"), (Tokens{"0:a.b:c\\e_2", "15:", "14:"}));
    EXPECT_EQ(tokens("my-color 1.5e+3x"), (Tokens{"0:my", "1:-", "304:color", "1:1.5e+3", "0:x"}));
    EXPECT_EQ(tokens("[ a [ b ] c ; d\ne"), (Tokens{"0:c", "0:e"}));  // comments do not nest
    EXPECT_EQ(tokens("sphere [ never closed"), (Tokens{"500:sphere"}));
}

// Plain decimals skip strtod; every form must still give exactly strtod's value.
TEST_F(Lexer, DecimalsConvertExactlyAsStrtodDoes) {
    std::vector<std::string> texts = {
        "-0", "5.", "+.5e+2", "4.35", "0.1", "1e22", "1e23", "1e-22", "1e-23", "9007199254740991",
        "9007199254740993", "123456789012345678", "2.2250738585072014e-308", "1e", "1e+", "1E5", "2.5.3",
        "1-2", "--1", "-", ".", "0000000000000000000000001.5", "3.14159265358979323846", "1e-400", "6.02214076e23"};
    for (int i = -20000; i <= 20000; i += 7) {
        texts.push_back(std::to_string(i / 100) + "." + std::to_string(std::abs(i) % 100));
        texts.push_back(std::to_string(i) + "e-" + std::to_string(std::abs(i) % 30));
    }
    type_motcle = 2;
    for (const std::string& text : texts) {
        SceneText file(text);
        Lire_MotCle(file);
        const double expected = std::strtod(text.c_str(), nullptr);
        ASSERT_EQ(std::memcmp(&val_DBL, &expected, sizeof expected), 0) << text << " gave " << val_DBL;
    }
}

TEST_F(Lexer, LinesCountThroughCommentsAndWindowsLineEnds) {
    SceneText file("a [ one\ntwo\n ] b ; note\r\nc\r\n\r\nd ;last");
    for (int line : {1, 3, 4, 6}) {
        Lire_MotCle(file);
        EXPECT_EQ(comptligne, line) << chaine;
    }
    EXPECT_EQ(Lire_MotCle(file), tokEnd);
    EXPECT_EQ(Lire_MotCle(file), tokEnd);  // and it stays the end
}

TEST_F(Lexer, ReadersDeliverTheirValues) {
    SceneText file("\"out.tga\" \" b \" \"\"\" 2.75 2.75 1e3 1-2 - <1 -2.5 3e1> 0.1 0.2 3 #red");
    Lire_Chaine(file);
    EXPECT_STREQ(strTemp, "out.tga");
    Lire_Chaine(file);
    EXPECT_STREQ(strTemp, "b");
    Lire_Chaine(file);  // two quotes are no empty string: the second one is the contents
    EXPECT_STREQ(strTemp, "");
    Lire_Decimal(file);
    EXPECT_EQ(val_DBL, 2.75);
    for (int expected : {2, 1, 1, 0}) {  // integers stop where strtol stops
        Lire_Entier(file);
        EXPECT_EQ(val_INT, expected) << chaine;
    }
    Lire_Vecteur(file);
    EXPECT_TRUE(vect_tmp.x == 1 && vect_tmp.y == -2.5 && vect_tmp.z == 30);
    Lire_RVB(file);
    EXPECT_TRUE(rvb_tmp.red == 0.1 && rvb_tmp.green == 0.2 && rvb_tmp.blue == 3);
    for (double red : {1.0, 0.5}) {  // the newest declaration of a name wins
        auto* entry = static_cast<ColorEntry*>(std::calloc(1, sizeof(ColorEntry)));
        std::strcpy(entry->name, "red");
        entry->color = {red, 0, 0};
        addColorToList(&myColorList, entry);
    }
    Lire_RVB(file);
    EXPECT_EQ(rvb_tmp.red, 0.5);
    EXPECT_EQ(freeColorList(&myColorList), 2);
    EXPECT_EQ(myColorList, nullptr);
}

TEST_F(Lexer, EveryReaderMessage) {
    const struct {
        void (*reader)(FILE*);
        std::string text;
        const char* message;
    } cases[] = {
        {Lire_Chaine, "out.tga", " string expected"},
        {Lire_Chaine, "\"my file.tga\"", " '\"' string delimiter expected"},
        {Lire_Decimal, "radius", " Decimal value expected"},
        {Lire_Decimal, "", " Decimal value expected"},
        {Lire_Entier, "}", " Integer value expected"},
        {Lire_Vecteur, "1 2 3>", " Opening backet '<' expected before x component"},
        {Lire_Vecteur, "<x 2 3>", " x component expected"},
        {Lire_Vecteur, "<1 > 3>", " y component expected"},
        {Lire_Vecteur, "<1 2 z>", " z componente expected"},
        {Lire_Vecteur, "<1 2 3 4>", " Closing bracket '>' expected after z component"},
        {Lire_RVB, "<1 0 0>", " Red component expected"},
        {Lire_RVB, "1 x 0", " Green component expected"},
        {Lire_RVB, "1 0", " Blue component expeced"},
        {Lire_RVB, "#blue", " Color declaration not found"},
        {Lire_Decimal, "1e999", " number out of range: 1e999"},
        {Lire_Vecteur, "<0 -1e400 0>", " number out of range: -1e400"},
        {Lire_RVB, "1e309 1 1", " number out of range: 1e309"},
        {Lire_Entier, "2147483648", " number out of range: 2147483648"},
        {Lire_Entier, "-2147483649", " number out of range: -2147483649"},
        {Lire_Chaine, "\"w" + std::string(255, 'x') + "\"", " word longer than 255 characters"},
        {Lire_Decimal, std::string(256, '9'), " number longer than 255 characters"},
    };
    for (const auto& c : cases) EXPECT_EQ(failure(c.reader, c.text), parseError(1, c.message)) << c.text;
    SceneText longest("\"w" + std::string(254, 'x') + "\"");
    Lire_Chaine(longest);
    EXPECT_EQ(std::strlen(strTemp), 255u);

    // A stray character is named, then the error routine gives the line alone.
    EXPECT_EQ(failure(Lire_Vecteur, "\n<1,2,3>"), "\n Syntaxic analyser stopped on character: ','"
                                                  "\n Please review the script\n Parser Error - line: 2\n");
    for (const char* text : {"/", "(", "=", "_x", "\xC3\xA9"}) {
        const std::string named = std::string("\n Syntaxic analyser stopped on character: '") + text[0] + "'";
        EXPECT_EQ(failure(Lire_Decimal, text).substr(0, named.size()), named);
    }
    comptligne = 7;
    EXPECT_EQ(abortOutput([] { yyerror(" Unkown term"); }), parseError(7, " Unkown term"));
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

    ReferenceToken next(bool decimal) {
        int ch;
        for (;;) {
            ch = std::fgetc(file_);
            if (ch == '\n') {
                ++line_;
            } else if (ch == '[' || ch == ';') {
                const int closing = ch == '[' ? ']' : '\n';
                int c;
                while ((c = std::fgetc(file_)) != EOF) {
                    if (c == '\n') ++line_;
                    if (c == closing) break;
                }
            } else if (ch == EOF || !std::strchr(" \t\n\v\f\r", ch)) {
                break;
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
                if (token.text == row.mot) {
                    token.code = row.code;
                    break;
                }
            }
        } else {
            token.code = tokNumber;
            token.text = collect(ch, "+-.Ee", false);
            if (decimal) {
                token.decimal = std::strtod(token.text.c_str(), nullptr);
            } else {
                token.integer = static_cast<int>(std::clamp<long>(std::strtol(token.text.c_str(), nullptr, 10), INT_MIN, INT_MAX));
            }
        }
        token.line = line_;
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

// Scene-like text from random pieces: keywords and other words, numbers of every form, the
// single-character tokens, blanks of every kind with Windows line ends, both comments (one left
// open at the very end now and then).
std::string randomText(std::mt19937& engine) {
    static const std::vector<std::string> pieces = {
        "triangle", "vertex", "smooth_triangle", "camera", "CAMERA", "Vertex", "a.b:c\\e_2", "x", "out.tga",
        "0", "-0.727006", "39.7468", "1e3", "-.5", "+", "-", ".", "1-2", "2.5.3", "1.5e+3", "1E-22", "7e22",
        "123456789012345678", "0000000000000000000000001.5", "1e400", "2147483648", "-2147483649",
        "{", "}", "<", ">", "#", "\"", " ", " ", "  ", "\t", "\n", "\r\n", "\v", "\f", "\n\n",
        "[ a comment\nover two lines ]", "[]", "; to the end of the line\n", ";\r\n", "[ ; ]", "; [ \n"};
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(0, 400);
    std::string text;
    for (int n = length(engine); n > 0; --n) {
        const std::string& piece = pieces[pick(engine)];
        // Words and numbers need something between them to stay apart in both lexers alike.
        text += piece;
        text += ' ';
    }
    const std::string_view endings[] = {"", "[ never closed\n", "; no line end", "vertex", "12.5", "\n"};
    text += endings[std::uniform_int_distribution<size_t>(0, std::size(endings) - 1)(engine)];
    return text;
}

TEST_F(Lexer, BufferedReadingMatchesCharacterByCharacterReading) {
    std::mt19937 engine(97);
    std::bernoulli_distribution decimalMode(0.7);
    // Buffers of 1 (unbuffered), 2, 3 and 7 bytes put token and line ends across every refill.
    const size_t bufferSizes[] = {0, 1, 2, 3, 7, 4096};
    for (int round = 0; round < 60; ++round) {
        const std::string text = randomText(engine);
        SceneText expectedFile(text);
        ReferenceLexer reference(expectedFile);
        std::vector<ReferenceToken> expected;
        std::vector<bool> modes;
        do {
            modes.push_back(decimalMode(engine));
            expected.push_back(reference.next(modes.back()));
        } while (expected.back().code != tokEnd);

        for (size_t size : bufferSizes) {
            SCOPED_TRACE("round " + std::to_string(round) + ", buffer of " + std::to_string(size));
            resetLexer();
            SceneText file(text);
            std::vector<char> buffer(size + 1);
            if (size == 1) {
                std::setvbuf(file, nullptr, _IONBF, 0);
            } else if (size > 1) {
                std::setvbuf(file, buffer.data(), _IOFBF, size);
            }
            for (size_t k = 0; k < expected.size(); ++k) {
                type_motcle = modes[k] ? 2 : 3;
                const ReferenceToken& want = expected[k];
                ASSERT_EQ(Lire_MotCle(file), want.code) << "token " << k << " " << want.text;
                ASSERT_EQ(chaine, want.text) << "token " << k;
                ASSERT_EQ(comptligne, want.line) << "token " << k << " " << want.text;
                if (want.code == tokNumber && modes[k]) {
                    ASSERT_EQ(std::memcmp(&val_DBL, &want.decimal, sizeof(double)), 0) << want.text;
                } else if (want.code == tokNumber) {
                    ASSERT_EQ(val_INT, want.integer) << want.text;
                }
            }
            EXPECT_EQ(Lire_MotCle(file), tokEnd);  // and it stays the end
            // What the lexer left unread is the stream's: the next fgetc sees the end too.
            EXPECT_EQ(std::fgetc(file), EOF);
        }
    }
}

}  // namespace
