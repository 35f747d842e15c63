#include "support/images.h"

#include <cstdio>
#include <random>

namespace {

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
}

void PutELine(std::vector<uint8_t>& image, int start, int e_line_address)
{
    const int e_line = start + static_cast<int>(image.size());
    const auto at = static_cast<size_t>(e_line_address - start);
    image[at] = static_cast<uint8_t>(e_line & 0xFF);
    image[at + 1] = static_cast<uint8_t>(e_line >> 8);
    image.back() = 0x80;
}

}  // namespace

std::vector<uint8_t> Zx81Image(size_t size, uint32_t seed)
{
    std::vector<uint8_t> image = RandomBytes(size < 116 ? 116 : size, seed);
    image[0] = 0;  // VERSN
    PutELine(image, ZX81_START, ZX81_E_LINE);
    return image;
}

std::vector<uint8_t> Zx80Image(size_t size, uint32_t seed)
{
    std::vector<uint8_t> image = RandomBytes(size < 40 ? 40 : size, seed);
    image[0] = 0xFF;
    PutELine(image, ZX80_START, ZX80_E_LINE);
    return image;
}

std::vector<uint8_t> ImagePassingBothTests()
{
    std::vector<uint8_t> image(55, 0x00);
    image[10] = 55;
    image[11] = 0x40;
    image[12] = 0x40;
    image[54] = 0x80;
    return image;
}

bool WriteFileBytes(const char* path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}
