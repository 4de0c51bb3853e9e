// tarnel_runtime_vectors VECTORS.c EXPECTED.txt: makes the operands of the
// runtime's checks (the corner values, then values of random widths and
// signs from a fixed seed) and writes them as C arrays for the board's
// firmware; then runs the checks of checks.h over them with the host's own
// operators and library and writes the lines the board must print.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "output/outfile.hpp"

namespace {

// the host's answers where the runtime has a rule of its own: a divisor of
// 0 gives an all-ones quotient (-1, or 1 for a negative dividend) and the
// dividend as the remainder
template <typename U> U udivZero(U n, U d) { return d ? U(n / d) : U(~U(0)); }
template <typename U> U umodZero(U n, U d) { return d ? U(n % d) : n; }
template <typename S> S sdivZero(S n, S d) { return d ? S(n / d) : S(n < 0 ? 1 : -1); }
template <typename S> S smodZero(S n, S d) { return d ? S(n % d) : n; }

std::vector<uint32_t> vec32;
std::vector<uint64_t> vec64;
std::string expected;

void put_line(const char* text) {
    expected += text;
    expected += '\n';
}

}  // namespace

#define HELPER_UDIVSI3(n, d) udivZero<uint32_t>(n, d)
#define HELPER_UMODSI3(n, d) umodZero<uint32_t>(n, d)
#define HELPER_DIVSI3(n, d) sdivZero<int32_t>(n, d)
#define HELPER_MODSI3(n, d) smodZero<int32_t>(n, d)
#define HELPER_UDIVDI3(n, d) udivZero<uint64_t>(n, d)
#define HELPER_UMODDI3(n, d) umodZero<uint64_t>(n, d)
#define HELPER_DIVDI3(n, d) sdivZero<int64_t>(n, d)
#define HELPER_MODDI3(n, d) smodZero<int64_t>(n, d)
#define HELPER_MULDI3(a, b) int64_t(uint64_t(a) * uint64_t(b))
#define HELPER_ASHLDI3(u, c) int64_t(uint64_t(u) << (c))
#define HELPER_LSHRDI3(u, c) ((u) >> (c))
#define HELPER_ASHRDI3(u, c) ((u) >> (c))
#define vec32_count unsigned(vec32.size())
#define vec64_count unsigned(vec64.size())

namespace {
#include "checks.h"

// xorshift64*: the same values on every host
uint64_t state = 0x9e3779b97f4a7c15u;
uint64_t next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 0x2545f4914f6cdd1du;
}

// a value of 1 to `width` significant bits, negated half of the time
uint64_t randomOfWidth(unsigned width) {
    unsigned bits = 1 + unsigned(next() % width);
    uint64_t v = next() >> (64 - bits);
    return next() & 1 ? uint64_t(0) - v : v;
}

std::string hex(uint64_t v, int digits) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%0*llx", digits, static_cast<unsigned long long>(v));
    return text;
}

bool writeFile(const char* path, const std::string& text) {
    tarnel::OutputFile out;
    if (!out.create(path))
        return false;
    out.write(text.data(), text.size());
    return out.close();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tarnel_runtime_vectors VECTORS.c EXPECTED.txt\n");
        return 2;
    }
    // divisors of 1 and of powers of two, the edges of each width and sign
    vec32 = {0,          1,          2,          3,          7,          10,         16,         0x7f,
             0x80,       0xff,       0x100,      0xffff,     0x10000,    0x12345678, 0x7fffffff, 0x80000000,
             0x80000001, 0xfffffff0, 0xfffffff9, 0xfffffffd, 0xfffffffe, 0xffffffff};
    vec64 = {0,
             1,
             2,
             3,
             7,
             10,
             16,
             0x7fffffff,
             0x80000000,
             0xffffffff,
             0x100000000,
             0x100000001,
             0x123456789abcdef0,
             0x7fffffffffffffff,
             0x8000000000000000,
             0x8000000000000001,
             0xffffffff00000000,
             0xfffffffffffffff0,
             0xfffffffffffffff9,
             0xfffffffffffffffd,
             0xfffffffffffffffe,
             0xffffffffffffffff};
    for (int i = 0; i < 10; i++)
        vec32.push_back(uint32_t(randomOfWidth(32)));
    for (int i = 0; i < 10; i++)
        vec64.push_back(randomOfWidth(64));

    std::string source = "/* Made by tarnel_runtime_vectors: the operands of the runtime's checks. */\n"
                         "#include <stdint.h>\n\nconst uint32_t vec32[] = {\n";
    for (uint32_t v : vec32)
        source += "    " + hex(v, 8) + "u,\n";
    source += "};\nconst unsigned vec32_count = " + std::to_string(vec32.size()) + ";\n\nconst uint64_t vec64[] = {\n";
    for (uint64_t v : vec64)
        source += "    " + hex(v, 16) + "ull,\n";
    source += "};\nconst unsigned vec64_count = " + std::to_string(vec64.size()) + ";\n";

    run_checks();
    if (!writeFile(argv[1], source) || !writeFile(argv[2], expected)) {
        std::fprintf(stderr, "tarnel_runtime_vectors: could not write %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
