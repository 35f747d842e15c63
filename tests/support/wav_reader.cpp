#include "support/wav_reader.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int width)
{
    uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<size_t>(i)];
    return v;
}

bool Tag(const std::vector<uint8_t>& b, size_t at, const char* tag)
{
    return std::memcmp(b.data() + at, tag, 4) == 0;
}

}  // namespace

std::vector<uint8_t> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

WavContents ParseWav(const std::vector<uint8_t>& b)
{
    WavContents w;
    if (b.size() < 44) {
        w.Error = "shorter than a header";
        return w;
    }
    if (!Tag(b, 0, "RIFF") || !Tag(b, 8, "WAVE") || !Tag(b, 12, "fmt ") || !Tag(b, 36, "data")) {
        w.Error = "chunk tags out of place";
        return w;
    }
    w.RiffSize = Le(b, 4, 4);
    if (Le(b, 16, 4) != 16) {
        w.Error = "format chunk is not 16 bytes";
        return w;
    }
    w.FormatTag = static_cast<uint16_t>(Le(b, 20, 2));
    w.Channels = static_cast<uint16_t>(Le(b, 22, 2));
    w.SampleRate = Le(b, 24, 4);
    w.ByteRate = Le(b, 28, 4);
    w.BlockAlign = static_cast<uint16_t>(Le(b, 32, 2));
    w.BitsPerSample = static_cast<uint16_t>(Le(b, 34, 2));
    const uint32_t data_size = Le(b, 40, 4);
    if (data_size != b.size() - 44) {
        w.Error = "data size disagrees with the file length";
        return w;
    }
    if (w.RiffSize != b.size() - 8) {
        w.Error = "RIFF size disagrees with the file length";
        return w;
    }
    w.Samples.assign(b.begin() + 44, b.end());
    return w;
}
