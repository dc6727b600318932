#include "scene/lexer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scene/colors.h"
#include "support/scene_support.h"

namespace {

class Lexer : public testing::Test {
protected:
    void SetUp() override { resetLexer(); }
    void TearDown() override {
        freeColorList(&myColorList);
        resetLexer();
    }

    // Every token of the text up to the end of the file, as "code:text" items.
    static std::vector<std::string> tokens(const std::string& text) {
        SceneText file(text);
        std::vector<std::string> out;
        while (Lire_MotCle(file) != tokEnd) out.push_back(std::to_string(mot_cle) + ":" + chaine);
        return out;
    }

    static void declare(const char* name, Color color) {
        auto* entry = static_cast<ColorEntry*>(std::calloc(1, sizeof(ColorEntry)));
        std::strcpy(entry->name, name);
        entry->color = color;
        addColorToList(&myColorList, entry);
    }
};

using Tokens = std::vector<std::string>;

TEST_F(Lexer, KeywordTableMatchesWholeWordsCaseSensitively) {
    ASSERT_EQ(std::size(liste_motcle), 82u);
    for (const MotCle& row : liste_motcle) {
        std::strcpy(chaine, row.mot);
        EXPECT_EQ(Trouve_MotCle(), row.code) << row.mot;
        EXPECT_EQ(mot_cle, row.code);
    }
    const std::pair<const char*, int> samples[] = {
        {"include", 4},        {"declare", 5},       {"camera", 100},   {"focal_point", 121},
        {"display", 202},      {"resolution", 202},  {"aa_jitter", 205}, {"aa_type", 206},
        {"halton", 216},       {"surface", 300},     {"reflection_radius", 312},
        {"distance", 402},     {"radius", 502},      {"cap_radius", 604}, {"disc", 704},
        {"vertex", 801},       {"smooth_triangle", 903}, {"modify", 1000}, {"scale", 1003},
        {"CAMERA", 0},         {"Camera", 0},        {"cam", 0},        {"cameras", 0},
        {"a", 0},              {"zzz", 0},
    };
    for (const auto& [word, code] : samples) {
        std::strcpy(chaine, word);
        EXPECT_EQ(Trouve_MotCle(), code) << word;
    }
}

TEST_F(Lexer, BracesAndBracketsNeedNoBlanks) {
    const Tokens expected = {"500:sphere", "10:", "501:center", "12:", "1:0", "1:0", "1:0", "13:",
                             "502:radius", "1:1", "11:"};
    EXPECT_EQ(tokens("sphere{center<0 0 0>radius 1}"), expected);
    EXPECT_EQ(tokens("sphere {\n  center < 0 0 0 >\n  radius 1\n}\n"), expected);
    EXPECT_EQ(tokens("\"#"), (Tokens{"15:", "14:"}));
}

TEST_F(Lexer, WordsAndNumbersSplitWhereTheirCharactersEnd) {
    EXPECT_EQ(tokens("a.b:c\\e_2 c:\\images\\wood.tga"), (Tokens{"0:a.b:c\\e_2", "0:c:\\images\\wood.tga"}));
    EXPECT_EQ(tokens("my-color"), (Tokens{"0:my", "1:-", "304:color"}));
    EXPECT_EQ(tokens("1.5e+3x 12radius"), (Tokens{"1:1.5e+3", "0:x", "1:12", "502:radius"}));
}

TEST_F(Lexer, NumbersFollowTheNumberMode) {
    SceneText file("1e3 1e3 .5 -.5 2.5 1-2 - +7");
    type_motcle = 2;
    Lire_MotCle(file);
    EXPECT_EQ(val_DBL, 1000.0);
    type_motcle = 3;
    Lire_MotCle(file);
    EXPECT_EQ(val_INT, 1);
    type_motcle = 2;
    Lire_MotCle(file);
    EXPECT_EQ(val_DBL, 0.5);
    Lire_MotCle(file);
    EXPECT_EQ(val_DBL, -0.5);
    type_motcle = 0;  // anything but 2 reads integers
    Lire_MotCle(file);
    EXPECT_EQ(val_INT, 2);
    Lire_MotCle(file);
    EXPECT_EQ(val_INT, 1);
    EXPECT_STREQ(chaine, "1-2");
    Lire_MotCle(file);
    EXPECT_EQ(val_INT, 0);
    Lire_MotCle(file);
    EXPECT_EQ(val_INT, 7);
}

// Decimals are read without strtod where one exact operation gives the same value; every form
// must still give exactly what strtod gives.
TEST_F(Lexer, DecimalsConvertExactlyAsStrtodDoes) {
    const char* texts[] = {
        "0", "-0", "+0", "0.0", "-0.0e5", "5.", ".5", "-.5", "+.5e+2", "1", "-1", "4.35", "0.1", "0.3",
        "123.456", "1e22", "1e23", "1e-22", "1e-23", "1.5e-22", "9007199254740991", "9007199254740993",
        "90071992547409921", "123456789012345678", "0.000000000000000000000000123", "2.2250738585072014e-308",
        "1.7976931348623157e308", "1e", "1e+", "1E5", "2.5.3", "1-2", "--1", "-", "+", ".", "1e-2-3",
        "0000000000000000000000001.5", "3.14159265358979323846", "1e0400", "1e-400", "1.0000000000000002",
        "0.1e1", "100e-2", "7e-10", "6.02214076e23", "-273.15",
    };
    for (const char* text : texts) {
        SceneText file(text);
        type_motcle = 2;
        ASSERT_EQ(Lire_MotCle(file), tokNumber) << text;
        const double expected = std::strtod(text, nullptr);
        EXPECT_EQ(std::memcmp(&val_DBL, &expected, sizeof expected), 0) << text << " gave " << val_DBL;
    }
    // Many short decimals with a few digits each side, as scene files are full of.
    for (int i = -20000; i <= 20000; i += 7) {
        for (const char* format : {"%d", "%d.%d", "%d.0%de-3", "%de%d"}) {
            char text[64];
            std::snprintf(text, sizeof text, format, i / 100, std::abs(i) % 100);
            SceneText file(text);
            Lire_MotCle(file);
            const double expected = std::strtod(text, nullptr);
            ASSERT_EQ(std::memcmp(&val_DBL, &expected, sizeof expected), 0) << text;
        }
    }
}

TEST_F(Lexer, LinesCountThroughCommentsAndWindowsLineEnds) {
    SceneText file("a [ one\ntwo\n ] b ; note\r\nc\r\n\r\nd ;last");
    Lire_MotCle(file);
    EXPECT_EQ(comptligne, 1);
    Lire_MotCle(file);  // b, after a block comment spanning two newlines
    EXPECT_STREQ(chaine, "b");
    EXPECT_EQ(comptligne, 3);
    Lire_MotCle(file);  // c, after a line comment ending in CR LF
    EXPECT_STREQ(chaine, "c");
    EXPECT_EQ(comptligne, 4);
    Lire_MotCle(file);
    EXPECT_STREQ(chaine, "d");
    EXPECT_EQ(comptligne, 6);
    // A line comment without a final newline ends with the file; the end stays the end.
    EXPECT_EQ(Lire_MotCle(file), tokEnd);
    EXPECT_EQ(Lire_MotCle(file), tokEnd);
    EXPECT_EQ(mot_cle, tokEnd);
    EXPECT_STREQ(chaine, "");
}

TEST_F(Lexer, CommentsDoNotNestAndAnOpenOneEndsAtTheEndOfTheFile) {
    EXPECT_EQ(tokens("[ a [ b ] c"), (Tokens{"0:c"}));
    EXPECT_EQ(tokens("sphere [ never closed\n\n"), (Tokens{"500:sphere"}));
    EXPECT_EQ(comptligne, 3);
}

TEST_F(Lexer, StrayCharacterStopsTheParseNamingIt) {
    SceneText file("\n<1,2,3>");
    const std::string out = abortOutput([&] {
        while (Lire_MotCle(file) != tokEnd) {}
    });
    EXPECT_EQ(out, "\n Syntaxic analyser stopped on character: ','\n Please review the script"
                   "\n Parser Error - line: 2\n");
    for (const char* text : {"/", "(", "=", "_x", "\xC3\xA9"}) {
        SceneText bad(text);
        const std::string expected = std::string("\n Syntaxic analyser stopped on character: '") + text[0] + "'";
        EXPECT_EQ(abortOutput([&] { Lire_MotCle(bad); }).substr(0, expected.size()), expected);
    }
}

TEST_F(Lexer, TokensLongerThan255CharactersAreRefused) {
    const std::string word255 = "w" + std::string(254, 'x');
    EXPECT_EQ(tokens(word255 + " 1"), (Tokens{"0:" + word255, "1:1"}));
    SceneText longWord("\n" + word255 + "y");
    EXPECT_EQ(abortOutput([&] { Lire_MotCle(longWord); }), parseError(2, " word longer than 255 characters"));
    resetLexer();
    SceneText longNumber(std::string(256, '9'));
    EXPECT_EQ(abortOutput([&] { Lire_MotCle(longNumber); }),
              parseError(1, " number longer than 255 characters"));
}

TEST_F(Lexer, ErrorRoutinePrintsLineAndMessage) {
    comptligne = 7;
    EXPECT_EQ(abortOutput([] { yyerror(" Unkown term"); }), "\n Parser Error - line: 7 -  Unkown term\n");
    EXPECT_EQ(abortOutput([] { yyerror(""); }), "\n Parser Error - line: 7\n");
}

TEST_F(Lexer, StringsAreOneTokenBetweenQuotes) {
    SceneText file("\"out.tga\" \" spaced.bmp \" \"12\" \"\"\" \"{\"");
    Lire_Chaine(file);
    EXPECT_STREQ(strTemp, "out.tga");
    Lire_Chaine(file);
    EXPECT_STREQ(strTemp, "spaced.bmp");
    Lire_Chaine(file);
    EXPECT_STREQ(strTemp, "12");
    Lire_Chaine(file);  // two quotes are not an empty string: the second is the contents
    EXPECT_STREQ(strTemp, "");
    Lire_Chaine(file);
    EXPECT_STREQ(strTemp, "");
    EXPECT_EQ(type_motcle, 2);

    SceneText blank("\"my file.tga\"");
    EXPECT_EQ(abortOutput([&] { Lire_Chaine(blank); }), parseError(1, " '\"' string delimiter expected"));
    SceneText bare("out.tga");
    EXPECT_EQ(abortOutput([&] { Lire_Chaine(bare); }), parseError(1, " string expected"));
    SceneText unfinished("\"out");
    EXPECT_EQ(abortOutput([&] { Lire_Chaine(unfinished); }), parseError(1, " '\"' string delimiter expected"));
}

TEST_F(Lexer, DecimalAndIntegerReaders) {
    SceneText file("2.75 2.75 -3");
    Lire_Decimal(file);
    EXPECT_EQ(val_DBL, 2.75);
    Lire_Entier(file);
    EXPECT_EQ(val_INT, 2);
    EXPECT_EQ(type_motcle, 3);
    Lire_Entier(file);
    EXPECT_EQ(val_INT, -3);

    SceneText word("radius");
    EXPECT_EQ(abortOutput([&] { Lire_Decimal(word); }), parseError(1, " Decimal value expected"));
    SceneText brace("}");
    EXPECT_EQ(abortOutput([&] { Lire_Entier(brace); }), parseError(1, " Integer value expected"));
    SceneText empty("");
    EXPECT_EQ(abortOutput([&] { Lire_Decimal(empty); }), parseError(1, " Decimal value expected"));
}

TEST_F(Lexer, NumbersThatDoNotFitAreRefused) {
    SceneText tiny("1e-999");
    Lire_Decimal(tiny);
    EXPECT_EQ(val_DBL, 0.0);
    SceneText huge("1e999");
    EXPECT_EQ(abortOutput([&] { Lire_Decimal(huge); }), parseError(1, " number out of range: 1e999"));
    SceneText hugeInt("3000000000");
    EXPECT_EQ(abortOutput([&] { Lire_Entier(hugeInt); }), parseError(1, " number out of range: 3000000000"));
    SceneText bigInt("2147483647 -2147483648");
    Lire_Entier(bigInt);
    EXPECT_EQ(val_INT, 2147483647);
    Lire_Entier(bigInt);
    EXPECT_EQ(val_INT, -2147483647 - 1);
    SceneText inVector("<0 -1e400 0>");
    EXPECT_EQ(abortOutput([&] { Lire_Vecteur(inVector); }), parseError(1, " number out of range: -1e400"));
    SceneText inColor("1 1 1e309");
    EXPECT_EQ(abortOutput([&] { Lire_RVB(inColor); }), parseError(1, " number out of range: 1e309"));
    SceneText redColor("1e309 1 1");
    EXPECT_EQ(abortOutput([&] { Lire_RVB(redColor); }), parseError(1, " number out of range: 1e309"));
}

TEST_F(Lexer, VectorReaderChecksEachPart) {
    SceneText file("<1 -2.5 3e1>");
    Lire_Vecteur(file);
    EXPECT_EQ(vect_tmp.x, 1.0);
    EXPECT_EQ(vect_tmp.y, -2.5);
    EXPECT_EQ(vect_tmp.z, 30.0);

    const std::pair<const char*, const char*> bad[] = {
        {"1 2 3>", " Opening backet '<' expected before x component"},
        {"<x 2 3>", " x component expected"},
        {"<1 > 3>", " y component expected"},
        {"<1 2 z>", " z componente expected"},
        {"<1 2 3 4>", " Closing bracket '>' expected after z component"},
        {"<1 2 3", " Closing bracket '>' expected after z component"},
    };
    for (const auto& [text, message] : bad) {
        SceneText in(text);
        EXPECT_EQ(abortOutput([&] { Lire_Vecteur(in); }), parseError(1, message)) << text;
    }
}

TEST_F(Lexer, ColourReaderTakesNumbersOrTheNewestDeclaration) {
    SceneText file("0.1 0.2 3 #red # red");
    declare("red", {1, 0, 0});
    Lire_RVB(file);
    EXPECT_EQ(rvb_tmp.red, 0.1);
    EXPECT_EQ(rvb_tmp.green, 0.2);
    EXPECT_EQ(rvb_tmp.blue, 3.0);
    Lire_RVB(file);
    EXPECT_EQ(rvb_tmp.red, 1.0);
    declare("red", {0, 1, 0});
    Lire_RVB(file);
    EXPECT_EQ(rvb_tmp.red, 0.0);
    EXPECT_EQ(rvb_tmp.green, 1.0);

    const std::pair<const char*, const char*> bad[] = {
        {"#blue", " Color declaration not found"},
        {"#RED", " Color declaration not found"},
        {"<1 0 0>", " Red component expected"},
        {"1 x 0", " Green component expected"},
        {"1 0", " Blue component expeced"},
    };
    for (const auto& [text, message] : bad) {
        SceneText in(text);
        EXPECT_EQ(abortOutput([&] { Lire_RVB(in); }), parseError(1, message)) << text;
    }
}

}  // namespace
