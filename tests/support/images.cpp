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
    image.back() = END_MARKER;
}

}  // namespace

std::vector<uint8_t> Zx81Image(size_t size, uint32_t seed)
{
    std::vector<uint8_t> image = RandomBytes(size < 116 ? 116 : size, seed);
    image[0] = 0;  // VERSN
    PutELine(image, ZX81_IMAGE_START, ZX81_E_LINE);
    return image;
}

std::vector<uint8_t> Zx80Image(size_t size, uint32_t seed)
{
    std::vector<uint8_t> image = RandomBytes(size < 40 ? 40 : size, seed);
    image[0] = 0xFF;
    PutELine(image, ZX80_IMAGE_START, ZX80_E_LINE);
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

namespace {

void PutWord(std::vector<uint8_t>& image, int start, int address, size_t value)
{
    image[static_cast<size_t>(address - start)] = static_cast<uint8_t>(value & 0xFF);
    image[static_cast<size_t>(address - start) + 1] = static_cast<uint8_t>(value >> 8);
}

// BASIC lines numbered 10, 20, ...: a REM and random text that holds no NEWLINE (0x76). ZX81
// lines carry their length after the number; ZX80 lines do not.
void AppendLines(std::vector<uint8_t>& image, int lines, uint32_t seed, bool with_length)
{
    std::mt19937 rng(seed);
    for (int k = 1; k <= lines; ++k) {
        std::vector<uint8_t> text = {0xEA};  // REM
        const size_t length = 1 + rng() % 30;
        for (size_t i = 0; i < length; ++i) text.push_back(static_cast<uint8_t>(rng() % 0x76));
        text.push_back(0x76);
        image.push_back(static_cast<uint8_t>(10 * k >> 8));
        image.push_back(static_cast<uint8_t>(10 * k & 0xFF));
        if (with_length) {
            image.push_back(static_cast<uint8_t>(text.size() & 0xFF));
            image.push_back(static_cast<uint8_t>(text.size() >> 8));
        }
        image.insert(image.end(), text.begin(), text.end());
    }
}

}  // namespace

std::vector<uint8_t> WellFormedZx81Image(int lines, uint32_t seed)
{
    std::vector<uint8_t> image(116, 0x00);  // system variables, 0x4009 to 0x407C; VERSN 0
    AppendLines(image, lines, seed, true);
    const size_t d_file = ZX81_IMAGE_START + image.size();
    image.insert(image.end(), 25, 0x76);  // collapsed display: NEWLINE and 24 empty lines
    const size_t vars = ZX81_IMAGE_START + image.size();
    image.push_back(0x80);
    const size_t e_line = ZX81_IMAGE_START + image.size();
    PutWord(image, ZX81_IMAGE_START, ZX81_D_FILE, d_file);
    PutWord(image, ZX81_IMAGE_START, ZX81_DF_CC, d_file + 1);
    PutWord(image, ZX81_IMAGE_START, ZX81_VARS, vars);
    PutWord(image, ZX81_IMAGE_START, ZX81_E_LINE, e_line);
    return image;
}

std::vector<uint8_t> WellFormedZx80Image(int lines, uint32_t seed)
{
    std::vector<uint8_t> image(40, 0x00);  // system variables, 0x4000 to 0x4027
    image[0] = 0xFF;                       // ERR_NR: no error
    AppendLines(image, lines, seed, false);
    const size_t vars = ZX80_IMAGE_START + image.size();
    image.push_back(0x80);
    PutWord(image, ZX80_IMAGE_START, ZX80_VARS, vars);
    PutWord(image, ZX80_IMAGE_START, ZX80_E_LINE, ZX80_IMAGE_START + image.size());
    return image;
}

bool WriteFileBytes(const char* path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}
