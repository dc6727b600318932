#include "api/call.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

std::mutex renderer;
// Set in the thread of a call while it runs, and in the render threads it starts.
thread_local bool inRenderThread = false;

constexpr const char* parseErrorStart = "\n Parser Error - line: ";
constexpr const char* reasonStart = " - ";

bool startsWith(const std::string& text, const char* start) { return text.rfind(start, 0) == 0; }

// The text's lines without the blanks around them, empty lines left out, joined by line ends.
std::string trimmedLines(const std::string& text) {
    std::string result;
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        std::size_t first = from, last = end;
        while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
        while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
        if (last > first) {
            if (!result.empty()) result += '\n';
            result.append(text, first, last - first);
        }
        from = end + 1;
    }
    return result;
}

}  // namespace

void ConsoleCapture::add(const char* text, std::size_t length) { chunks_.emplace_back(text, length); }

std::string ConsoleCapture::failureMessage(int* line) const {
    *line = 0;
    for (std::size_t at = chunks_.size(); at-- > 0;) {
        if (!startsWith(chunks_[at], parseErrorStart)) continue;
        *line = std::atoi(chunks_[at].c_str() + std::strlen(parseErrorStart));
        if (at + 1 < chunks_.size() && startsWith(chunks_[at + 1], reasonStart)) {
            const std::string reason = trimmedLines(chunks_[at + 1].substr(std::strlen(reasonStart)));
            if (!reason.empty()) return reason;
        }
        // No reason: the lexer said what stopped it in the lines before, each on a line of its own.
        std::size_t first = at;
        while (first > 0 && startsWith(chunks_[first - 1], "\n")) --first;
        std::string before;
        for (std::size_t k = first; k < at; ++k) before += chunks_[k];
        return trimmedLines(before);
    }
    for (std::size_t at = chunks_.size(); at-- > 0;) {
        const std::string text = trimmedLines(chunks_[at]);
        if (!text.empty()) return text;
    }
    return {};
}

LibraryCall::LibraryCall(MessageCallback message, void* user)
    : busy_(inRenderThread), message_(message), user_(user) {
    if (busy_) return;
    lock_ = std::unique_lock<std::mutex>(renderer);
    inRenderThread = true;
    setConsoleSink(toHost, this);
    // From here on rand() draws from this call's own state, seeded as a fresh process's is.
    hostRandomState_ = initstate(1, randomState_, sizeof randomState_);
}

LibraryCall::~LibraryCall() {
    if (busy_) return;
    setstate(hostRandomState_);
    setConsoleSink(nullptr, nullptr);
    inRenderThread = false;
}

void LibraryCall::toHost(void* self, ConsoleStream stream, const char* text, std::size_t length) {
    markRenderThread();  // a thread that prints during a call is one of its threads
    LibraryCall& call = *static_cast<LibraryCall*>(self);
    // Each file read starts a new step: what went before cannot be what stopped the run.
    if (startsWith(std::string(text, length), "\n Parsing ")) {
        call.capture_.clear();
    } else {
        call.capture_.add(text, length);
    }
    if (call.message_) call.message_(call.user_, stream == ConsoleStream::output ? 0 : 1, text, length);
}

void markRenderThread() { inRenderThread = true; }
