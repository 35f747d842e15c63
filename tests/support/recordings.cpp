#include "support/recordings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "support/in_memory.h"
#include "tape/signal.h"

std::vector<double> TapeSamples(const std::vector<uint8_t>& image, TargetFormat target,
                                const std::string& name)
{
    std::vector<double> samples;
    if (!ConvertTapeInMemory(image, target, name)) return samples;
    for (int32_t i = 0; i < wavCounter; ++i) {
        samples.push_back((wavFile[static_cast<size_t>(i)] - 128) / 128.0);
    }
    return samples;
}

std::vector<double> Resampled(const std::vector<double>& samples, int from_rate, int to_rate)
{
    std::vector<double> out;
    const double step = static_cast<double>(from_rate) / to_rate;
    for (double at = 0; at + 1 < static_cast<double>(samples.size()); at += step) {
        const auto i = static_cast<size_t>(at);
        out.push_back(samples[i] + (at - static_cast<double>(i)) * (samples[i + 1] - samples[i]));
    }
    return out;
}

namespace {

void Put(std::vector<uint8_t>& bytes, uint32_t value, int width)
{
    for (int i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

bool WriteTestWav(const std::string& path, const std::vector<double>& samples, int rate,
                  int channels, TestEncoding encoding)
{
    const int bits = encoding == PCM_8      ? 8
                     : encoding == PCM_16   ? 16
                     : encoding == PCM_24   ? 24
                     : encoding == FLOAT_64 ? 64
                                            : 32;
    const bool extensible = encoding == FLOAT_32_EXTENSIBLE;
    std::vector<uint8_t> data;
    for (const double v : samples) {
        const double clipped = std::max(-1.0, std::min(1.0, v));
        if (encoding == PCM_8) {
            Put(data, static_cast<uint32_t>(std::lround(128 + 127 * clipped)), 1);
        } else if (encoding == PCM_16 || encoding == PCM_24 || encoding == PCM_32) {
            const double scale = encoding == PCM_16   ? 32767
                                 : encoding == PCM_24 ? 8388607
                                                      : 2147483647;
            Put(data, static_cast<uint32_t>(static_cast<int32_t>(std::llround(scale * clipped))),
                bits / 8);
        } else if (encoding == FLOAT_64) {
            uint64_t word;
            std::memcpy(&word, &clipped, 8);
            Put(data, static_cast<uint32_t>(word), 4);
            Put(data, static_cast<uint32_t>(word >> 32), 4);
        } else {
            const auto f = static_cast<float>(clipped);
            uint32_t word;
            std::memcpy(&word, &f, 4);
            Put(data, word, 4);
        }
    }
    std::vector<uint8_t> fmt;
    Put(fmt, extensible ? 0xFFFE : encoding >= FLOAT_32 ? 3 : 1, 2);
    Put(fmt, static_cast<uint32_t>(channels), 2);
    Put(fmt, static_cast<uint32_t>(rate), 4);
    Put(fmt, static_cast<uint32_t>(rate * channels * bits / 8), 4);
    Put(fmt, static_cast<uint32_t>(channels * bits / 8), 2);
    Put(fmt, static_cast<uint32_t>(bits), 2);
    if (extensible) {
        Put(fmt, 22, 2);               // the extension's size
        Put(fmt, 32, 2);               // valid bits
        Put(fmt, 0, 4);                // channel mask
        Put(fmt, 3, 2);                // the subformat: IEEE float ...
        fmt.insert(fmt.end(), 14, 0);  // ... and the rest of its GUID
    }
    std::vector<uint8_t> file = {'R', 'I', 'F', 'F'};
    Put(file, static_cast<uint32_t>(4 + 8 + fmt.size() + 8 + data.size()), 4);
    for (const char c : std::string("WAVEfmt ")) file.push_back(static_cast<uint8_t>(c));
    Put(file, static_cast<uint32_t>(fmt.size()), 4);
    file.insert(file.end(), fmt.begin(), fmt.end());
    for (const char c : std::string("data")) file.push_back(static_cast<uint8_t>(c));
    Put(file, static_cast<uint32_t>(data.size()), 4);
    file.insert(file.end(), data.begin(), data.end());
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written;
}
