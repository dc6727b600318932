// The character classes of the scene language, one bit each, looked up in one table.
#pragma once

#include <array>

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
