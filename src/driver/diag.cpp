#include "driver/diag.hpp"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace tarnel {

namespace {

// The printf-formatted text, of any length.
std::string formatted(const char* format, va_list args) {
    char small[256];
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(small, sizeof small, format, args);
    std::string text;
    if (n >= 0 && size_t(n) < sizeof small) {
        text.assign(small, size_t(n));
    } else if (n >= 0) {
        // names and paths of any length are printed whole
        text.resize(size_t(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(size_t(n));
    }
    va_end(again);
    return text;
}

}  // namespace

void reportError(LinkState& state, const char* format, ...) {
    state.out << "error: ";
    state.errorStatus = -1;
    va_list args;
    va_start(args, format);
    std::string text = formatted(format, args);
    va_end(args);
    state.out.write(text.data(), std::streamsize(text.size()));
    // kept for the link record, without the line end
    if (!text.empty() && text.back() == '\n') text.pop_back();
    state.errors.push_back(std::move(text));
}

void say(LinkState& state, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = formatted(format, args);
    va_end(args);
    state.out.write(text.data(), std::streamsize(text.size()));
}

}  // namespace tarnel
