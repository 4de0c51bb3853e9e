#include "output/srec.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "objfmt/hex.hpp"

namespace tarnel {

namespace {

// Address bytes of each record type; 4, 5 and 6 are never written.
constexpr uint32_t kAddressWidth[10] = {2, 2, 3, 4, 0, 0, 0, 4, 3, 2};
// The one-byte count holds the address, the data and the checksum.
constexpr uint32_t kHeaderTextMax = 252;

// Writes the hex digits of count data bytes at out and returns their sum.
uint32_t hexData(char* out, const uint8_t* data, uint32_t count) {
    uint32_t sum = 0;
    uint32_t i = 0;
#if defined(__SSE2__)
    // sixteen bytes at a time: split into nibbles, interleave high and low,
    // and turn each nibble into '0'..'9' or 'A'..'F'
    const __m128i low4 = _mm_set1_epi8(0x0F), nine = _mm_set1_epi8(9);
    const __m128i zero = _mm_set1_epi8('0'), letters = _mm_set1_epi8('A' - '0' - 10);
    auto digits = [&](__m128i nibbles) {
        __m128i isLetter = _mm_cmpgt_epi8(nibbles, nine);
        return _mm_add_epi8(_mm_add_epi8(nibbles, zero), _mm_and_si128(isLetter, letters));
    };
    __m128i sums = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        __m128i hi = _mm_and_si128(_mm_srli_epi16(bytes, 4), low4);
        __m128i lo = _mm_and_si128(bytes, low4);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), digits(_mm_unpacklo_epi8(hi, lo)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i + 16), digits(_mm_unpackhi_epi8(hi, lo)));
        sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, _mm_setzero_si128()));
    }
    sum += uint32_t(_mm_cvtsi128_si32(sums)) + uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
#endif
    for (; i < count; ++i) {
        out[2 * i] = kHex.upper[data[i]][0];
        out[2 * i + 1] = kHex.upper[data[i]][1];
        sum += data[i];
    }
    return sum;
}

}  // namespace

void writeSRecord(OutputFile& file, uint32_t type, uint32_t count, uint32_t address, const uint8_t* data) {
    const uint32_t width = kAddressWidth[type];
    char* const line = file.claim(2 + 2 * (1 + width + count + 1) + 1);
    char* p = line;
    uint32_t checksum = 0;
    auto hexByte = [&](uint32_t byte) {
        byte &= 0xFF;
        p[0] = kHex.upper[byte][0];
        p[1] = kHex.upper[byte][1];
        p += 2;
        checksum += byte;
    };
    *p++ = 'S';
    *p++ = char('0' + type);
    hexByte(count + width + 1);
    for (uint32_t i = width; i-- > 0;) hexByte(address >> (8 * i));
    checksum += hexData(p, data, count);
    p += 2 * count;
    hexByte(~checksum);  // the ones' complement of the sum's low byte
    *p++ = '\n';
    file.commit(size_t(p - line));
}

void writeSRecordHeader(OutputFile& file, std::string_view name) {
    if (name.size() > kHeaderTextMax) name = name.substr(0, kHeaderTextMax);
    writeSRecord(file, 0, uint32_t(name.size()), 0, reinterpret_cast<const uint8_t*>(name.data()));
}

void writeSRecordData(OutputFile& file, uint32_t count, uint32_t address, const uint8_t* data) {
    uint32_t type = address <= 0xFFFF ? 1 : address <= 0xFFFFFF ? 2 : 3;
    writeSRecord(file, type, count, address, data);
}

void writeSRecordEnd(OutputFile& file, uint32_t address) {
    uint32_t type = address <= 0xFFFF ? 9 : address <= 0xFFFFFF ? 8 : 7;
    writeSRecord(file, type, 0, address, nullptr);
}

}  // namespace tarnel
