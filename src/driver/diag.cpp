#include "driver/diag.hpp"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace tarnel {

namespace {

void vsay(std::ostream& out, const char* format, va_list args) {
    char small[256];
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(small, sizeof small, format, args);
    if (n < 0) {
        va_end(again);
        return;
    }
    if (size_t(n) < sizeof small) {
        out.write(small, n);
    } else {
        // names and paths of any length are printed whole
        std::string big(size_t(n) + 1, '\0');
        std::vsnprintf(big.data(), big.size(), format, again);
        out.write(big.data(), n);
    }
    va_end(again);
}

}  // namespace

void reportError(LinkState& state, const char* format, ...) {
    state.out << "error: ";
    state.errorStatus = -1;
    va_list args;
    va_start(args, format);
    vsay(state.out, format, args);
    va_end(args);
}

void say(LinkState& state, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsay(state.out, format, args);
    va_end(args);
}

}  // namespace tarnel
