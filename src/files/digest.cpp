#include "files/digest.h"

#include <cstdio>

namespace {

std::string Hex(const uint32_t* words, int count)
{
    std::string text;
    char word[9];
    for (int i = 0; i < count; ++i) {
        std::snprintf(word, sizeof word, "%08x", static_cast<unsigned>(words[i]));
        text += word;
    }
    return text;
}

uint32_t Rotate(uint32_t x, int bits) { return x << bits | x >> (32 - bits); }

// One 64-byte block into the SHA-1 state.
void Sha1Block(uint32_t* h, const uint8_t* block)
{
    uint32_t w[80];
    for (int i = 0; i < 16; ++i) {
        w[i] = uint32_t{block[4 * i]} << 24 | uint32_t{block[4 * i + 1]} << 16 |
               uint32_t{block[4 * i + 2]} << 8 | block[4 * i + 3];
    }
    for (int i = 16; i < 80; ++i) w[i] = Rotate(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const uint32_t t = Rotate(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = Rotate(b, 30);
        b = a;
        a = t;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
}

}  // namespace

std::string Crc32Hex(const std::vector<uint8_t>& bytes)
{
    uint32_t crc = 0xFFFFFFFF;
    for (const uint8_t byte : bytes) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    crc = ~crc;
    return Hex(&crc, 1);
}

std::string Sha1Hex(const std::vector<uint8_t>& bytes)
{
    uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    // The message, a 1 bit, zeros up to 8 bytes short of a block, then its length in bits.
    std::vector<uint8_t> padded = bytes;
    padded.push_back(0x80);
    while (padded.size() % 64 != 56) padded.push_back(0);
    const uint64_t bits = uint64_t{bytes.size()} * 8;
    for (int i = 7; i >= 0; --i) padded.push_back(static_cast<uint8_t>(bits >> 8 * i));
    for (size_t at = 0; at < padded.size(); at += 64) Sha1Block(h, padded.data() + at);
    return Hex(h, 5);
}
