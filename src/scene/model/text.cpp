#include "scene/model/text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

constexpr bool isBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\f' || ch == '\v'; }

}  // namespace

std::string_view LineReader::next() {
    const std::size_t start = at_;
    std::size_t end = text_.find('\n', start);
    if (end == std::string_view::npos) end = text_.size();
    at_ = end < text_.size() ? end + 1 : end;
    ++line_;
    std::string_view line = text_.substr(start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line;
}

void WordReader::skipBlanks() {
    while (at_ < text_.size() && isBlank(text_[at_])) ++at_;
}

std::string_view WordReader::wordInLine() {
    skipBlanks();
    const std::size_t start = at_;
    while (at_ < text_.size() && !isBlank(text_[at_]) && text_[at_] != '\n') ++at_;
    return text_.substr(start, at_ - start);
}

std::string_view WordReader::word() {
    for (;;) {
        skipBlanks();
        if (at_ >= text_.size() || text_[at_] != '\n') return wordInLine();
        ++at_;
        ++line_;
    }
}

bool WordReader::endOfLine() {
    skipBlanks();
    if (at_ >= text_.size()) return true;
    if (text_[at_] != '\n') return false;
    ++at_;
    ++line_;
    return true;
}

void WordReader::skipLine() {
    const std::size_t end = text_.find('\n', at_);
    if (end == std::string_view::npos) {
        at_ = text_.size();
        return;
    }
    at_ = end < text_.size() ? end + 1 : end;
    ++line_;
}

void WordReader::skipBlankLines() {
    for (;;) {
        const std::size_t start = at_;
        skipBlanks();
        if (at_ >= text_.size()) return;
        if (text_[at_] != '\n') {
            at_ = start;
            return;
        }
        ++at_;
        ++line_;
    }
}

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && isBlank(line[at])) ++at;
        const std::size_t start = at;
        while (at < line.size() && !isBlank(line[at])) ++at;
        if (at > start) words.push_back(line.substr(start, at - start));
    }
    return words;
}

bool wholeNumber(std::string_view word, std::uint64_t* value) {
    if (word.empty() || word[0] < '0' || word[0] > '9') return false;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), *value);
    return error == std::errc{} && end == word.data() + word.size();
}

bool parseDecimal(std::string_view word, double* value) {
    if (word.size() > 1 && word[0] == '+' && word[1] != '-') word.remove_prefix(1);
    if (word.empty()) return false;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), *value);
    // Out of range is not an error here: the value is then infinite or zero, and an infinite
    // coordinate is reported as such.
    if (error == std::errc::result_out_of_range && end == word.data() + word.size()) {
        *value = std::strtod(std::string(word).c_str(), nullptr);
        return true;
    }
    return error == std::errc{} && end == word.data() + word.size();
}

std::string formatNumber(double value) {
    char text[32];
    if (value == std::trunc(value) && std::fabs(value) < 1e18) {
        std::snprintf(text, sizeof text, "%.0f", value);
    } else {
        std::snprintf(text, sizeof text, "%g", value);
    }
    return text;
}
