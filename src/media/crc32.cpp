#include "media/crc32.h"

#include <array>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define LAUNCHER_CRC_CLMUL 1
#endif

namespace media {

namespace {

// Eight tables: tables[0] is the classic byte table; tables[k][b] is the CRC of byte b
// followed by k zero bytes, which lets the loop consume eight bytes per step.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables makeTables() {
    CrcTables tables{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t crc = b;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        tables[0][b] = crc;
    }
    for (uint32_t b = 0; b < 256; ++b) {
        for (size_t k = 1; k < 8; ++k) {
            const uint32_t previous = tables[k - 1][b];
            tables[k][b] = (previous >> 8) ^ tables[0][previous & 0xFF];
        }
    }
    return tables;
}

constexpr CrcTables kTables = makeTables();

uint32_t load32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

uint32_t slicingBy8(uint32_t crc, const uint8_t* bytes, size_t size) {
    while (size >= 8) {
        const uint32_t low = load32(bytes) ^ crc;
        const uint32_t high = load32(bytes + 4);
        crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF] ^
              kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^ kTables[2][(high >> 8) & 0xFF] ^
              kTables[1][(high >> 16) & 0xFF] ^ kTables[0][high >> 24];
        bytes += 8;
        size -= 8;
    }
    while (size-- > 0) crc = kTables[0][(crc ^ *bytes++) & 0xFF] ^ (crc >> 8);
    return crc;
}

#ifdef LAUNCHER_CRC_CLMUL

// Folding with carry-less multiplication (the method of Intel's white paper "Fast CRC
// Computation for Generic Polynomials Using PCLMULQDQ"): four 128-bit lanes are folded 64
// bytes at a time, then into one lane, then reduced to 32 bits with a Barrett step. The
// constants are powers of x modulo the bit-reflected polynomial. Takes the raw (inverted)
// CRC state and a length that is a multiple of 16, at least 64.
#define LAUNCHER_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

LAUNCHER_CLMUL_TARGET inline __m128i load128(const uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// One 128-bit lane folded forward over 128 bits and combined with the next lane.
LAUNCHER_CLMUL_TARGET inline __m128i foldInto(__m128i value, __m128i next, __m128i constants) {
    const __m128i low = _mm_clmulepi64_si128(value, constants, 0x00);
    const __m128i high = _mm_clmulepi64_si128(value, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(high, next), low);
}

LAUNCHER_CLMUL_TARGET uint32_t foldWithClmul(uint32_t crc, const uint8_t* bytes, size_t size) {
    alignas(16) static const uint64_t k1k2[2] = {0x0154442bd4ull, 0x01c6e41596ull};
    alignas(16) static const uint64_t k3k4[2] = {0x01751997d0ull, 0x00ccaa009eull};
    alignas(16) static const uint64_t k5k0[2] = {0x0163cd6124ull, 0x0000000000ull};
    alignas(16) static const uint64_t poly[2] = {0x01db710641ull, 0x01f7011641ull};

    __m128i x1 = load128(bytes);
    __m128i x2 = load128(bytes + 16);
    __m128i x3 = load128(bytes + 32);
    __m128i x4 = load128(bytes + 48);
    x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
    bytes += 64;
    size -= 64;

    while (size >= 64) {
        const __m128i x5 = _mm_clmulepi64_si128(x1, x0, 0x00);
        const __m128i x6 = _mm_clmulepi64_si128(x2, x0, 0x00);
        const __m128i x7 = _mm_clmulepi64_si128(x3, x0, 0x00);
        const __m128i x8 = _mm_clmulepi64_si128(x4, x0, 0x00);
        x1 = _mm_clmulepi64_si128(x1, x0, 0x11);
        x2 = _mm_clmulepi64_si128(x2, x0, 0x11);
        x3 = _mm_clmulepi64_si128(x3, x0, 0x11);
        x4 = _mm_clmulepi64_si128(x4, x0, 0x11);
        x1 = _mm_xor_si128(_mm_xor_si128(x1, x5), load128(bytes));
        x2 = _mm_xor_si128(_mm_xor_si128(x2, x6), load128(bytes + 16));
        x3 = _mm_xor_si128(_mm_xor_si128(x3, x7), load128(bytes + 32));
        x4 = _mm_xor_si128(_mm_xor_si128(x4, x8), load128(bytes + 48));
        bytes += 64;
        size -= 64;
    }

    x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
    x1 = foldInto(x1, x2, x0);
    x1 = foldInto(x1, x3, x0);
    x1 = foldInto(x1, x4, x0);
    while (size >= 16) {
        x1 = foldInto(x1, load128(bytes), x0);
        bytes += 16;
        size -= 16;
    }

    // 128 bits to 64.
    __m128i x5 = _mm_clmulepi64_si128(x1, x0, 0x10);
    const __m128i mask = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_srli_si128(x1, 8);
    x1 = _mm_xor_si128(x1, x5);
    x0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
    x5 = _mm_srli_si128(x1, 4);
    x1 = _mm_and_si128(x1, mask);
    x1 = _mm_clmulepi64_si128(x1, x0, 0x00);
    x1 = _mm_xor_si128(x1, x5);

    // Barrett reduction to 32 bits.
    x0 = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
    x5 = _mm_and_si128(x1, mask);
    x5 = _mm_clmulepi64_si128(x5, x0, 0x10);
    x5 = _mm_and_si128(x5, mask);
    x5 = _mm_clmulepi64_si128(x5, x0, 0x00);
    x1 = _mm_xor_si128(x1, x5);
    return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool processorHasClmul() {
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return has;
}

#endif

constexpr uint32_t kPolynomial = 0xEDB88320u;

// The product of a and b as polynomials modulo the CRC's, in its reflected bit order (the
// highest bit is x^0).
constexpr uint32_t multiplyModulo(uint32_t a, uint32_t b) {
    uint32_t product = 0;
    for (uint32_t bit = 1u << 31; bit != 0; bit >>= 1) {
        if (a & bit) product ^= b;
        b = (b & 1) ? (b >> 1) ^ kPolynomial : b >> 1;
    }
    return product;
}

constexpr uint32_t squareModulo(uint32_t a) { return multiplyModulo(a, a); }

// Entry j: x^(8 * 2^j) modulo the polynomial, what appending 2^j bytes multiplies a CRC state
// by; one for each bit of a 64-bit byte count.
using ShiftTable = std::array<uint32_t, 64>;

constexpr ShiftTable makeShifts() {
    ShiftTable shifts{};
    uint32_t power = squareModulo(squareModulo(squareModulo(1u << 30)));  // x^8
    for (uint32_t& entry : shifts) {
        entry = power;
        power = squareModulo(power);
    }
    return shifts;
}

constexpr ShiftTable kByteShifts = makeShifts();

}  // namespace

uint32_t crc32Combine(uint32_t crcA, uint32_t crcB, uint64_t lengthB) {
    // Appending n bytes multiplies the (finished) CRC of a by x^(8n); the bytes of b add crcB.
    uint32_t shift = 1u << 31;  // x^0
    for (size_t bit = 0; lengthB != 0; lengthB >>= 1, ++bit) {
        if (lengthB & 1) shift = multiplyModulo(kByteShifts[bit], shift);
    }
    return multiplyModulo(shift, crcA) ^ crcB;
}

uint32_t crc32UpdateBytewise(uint32_t crc, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = kTables[0][(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint32_t crc32Update(uint32_t crc, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    crc = ~crc;
#ifdef LAUNCHER_CRC_CLMUL
    if (size >= 64 && processorHasClmul()) {
        const size_t folded = size & ~static_cast<size_t>(15);
        crc = foldWithClmul(crc, bytes, folded);
        bytes += folded;
        size -= folded;
    }
#endif
    return ~slicingBy8(crc, bytes, size);
}

}  // namespace media
