// Property test: for many random images, tape names and targets, the WAV the program writes
// decodes, as a ZX81 or ZX80 would hear it, to exactly the bytes that should be on tape.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "conversion.h"
#include "support/folders.h"
#include "support/images.h"
#include "support/in_memory.h"
#include "support/tape_decoder.h"
#include "support/wav_reader.h"
#include "tape/signal.h"
#include "wav/wav_writer.h"

namespace {

// The ZX81 character set's digits and letters: codes 28-37 and 38-63.
int ZxCode(char c) { return c <= '9' ? 28 + (c - '0') : 38 + (c - 'A'); }

std::vector<uint8_t> ExpectedNameBlock(const std::string& name)
{
    std::vector<uint8_t> block;
    for (size_t i = 0; i < name.size(); ++i) {
        const int upper = name[i] >= 'a' && name[i] <= 'z' ? name[i] - 'a' + 'A' : name[i];
        block.push_back(static_cast<uint8_t>(ZxCode(static_cast<char>(upper)) |
                                             (i + 1 == name.size() ? 0x80 : 0)));
    }
    return block;
}

std::string RandomTapeName(std::mt19937& rng)
{
    static const char ALLOWED[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    const size_t length = 1 + rng() % 8;
    std::string name;
    for (size_t i = 0; i < length; ++i) name += ALLOWED[rng() % (sizeof ALLOWED - 1)];
    return name;
}

std::vector<uint8_t> RandomImage(std::mt19937& rng)
{
    // Sizes from 0 to 20000, most of them small to keep the test quick.
    const size_t size = rng() % 4 == 0 ? rng() % 20001 : rng() % 2001;
    const auto seed = static_cast<uint32_t>(rng());
    switch (rng() % 3) {
        case 0:  // a valid ZX81 header, as far as the size allows
            if (size >= 116) return Zx81Image(size, seed);
            break;
        case 1:  // a valid ZX80 header
            if (size >= 40) return Zx80Image(size, seed);
            break;
        default:
            break;
    }
    std::vector<uint8_t> image(size);
    for (uint8_t& b : image) b = static_cast<uint8_t>(rng());
    return image;
}

// Converts as the program does and returns the file it writes.
std::vector<uint8_t> ConvertToWavFile(const std::vector<uint8_t>& image)
{
    if (!ConvertInMemory(image) || wavOverflow) return {};
    FILE* f = ScratchStream();
    if (f == nullptr) return {};
    std::vector<uint8_t> bytes;
    if (WriteWavFile(f, wavFile.get(), wavCounter)) {
        std::rewind(f);
        bytes.resize(static_cast<size_t>(wavCounter) + WAV_HEADER_SIZE);
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    }
    std::fclose(f);
    return bytes;
}

TEST(RoundTrip, RandomImagesDecodeToNameBlockAndImage)
{
    verbose = 0;
    std::mt19937 rng(0x2081);
    constexpr int CASES = 250;
    for (int i = 0; i < CASES; ++i) {
        const TargetFormat target = rng() % 2 == 0 ? TARGET_ZX81 : TARGET_ZX80;
        const std::vector<uint8_t> image = RandomImage(rng);
        targetFormat = target;
        zxFileName = RandomTapeName(rng);
        SCOPED_TRACE("case " + std::to_string(i) + ": " + std::to_string(image.size()) +
                     " bytes, name " + zxFileName + (target == TARGET_ZX80 ? ", ZX80" : ", ZX81"));

        const WavContents wav = ParseWav(ConvertToWavFile(image));
        ASSERT_EQ(wav.Error, "");
        EXPECT_EQ(wav.Samples.size(), static_cast<size_t>(wavCounter));
        EXPECT_EQ(wav.SampleRate, 22050u);

        std::vector<uint8_t> expected =
            target == TARGET_ZX80 ? std::vector<uint8_t>() : ExpectedNameBlock(zxFileName);
        expected.insert(expected.end(), image.begin(), image.end());
        const DecodedTape tape = DecodeTape(wav.Samples.data(), wav.Samples.size(), wav.SampleRate);
        ASSERT_EQ(tape.Error, "");
        ASSERT_TRUE(tape.Bytes == expected);
    }
    verbose = 1;
    targetFormat = TARGET_UNKNOWN;
    zxFileName.clear();
    ReleaseSampleBuffer();
}

TEST(TapeDecoder, RejectsDamagedSignals)
{
    // The decoder must be able to fail, or the round trip proves nothing.
    verbose = 0;
    targetFormat = TARGET_ZX80;
    const std::vector<uint8_t> image = {0x00, 0xFF};
    ASSERT_TRUE(ConvertInMemory(image));
    std::vector<uint8_t> samples(wavFile.get(), wavFile.get() + wavCounter);
    EXPECT_EQ(DecodeTape(samples.data(), samples.size(), 22050).Bytes, image);

    // Silence one pulse of the first bit: a bit of 3 pulses.
    std::vector<uint8_t> damaged = samples;
    size_t first_high = 0;
    while (damaged[first_high] <= 128) ++first_high;
    for (size_t i = first_high; damaged[i] > 128; ++i) damaged[i] = 5;
    EXPECT_NE(DecodeTape(damaged.data(), damaged.size(), 22050).Error, "");

    // Cut the tape in the middle of the second byte.
    EXPECT_NE(DecodeTape(samples.data(), samples.size() - 8820 - 200, 22050).Error, "");

    // A pulse far too long.
    damaged = samples;
    for (size_t i = first_high; i < first_high + 40; ++i) damaged[i] = 250;
    EXPECT_NE(DecodeTape(damaged.data(), damaged.size(), 22050).Error, "");
    verbose = 1;
    targetFormat = TARGET_UNKNOWN;
    ReleaseSampleBuffer();
}

}  // namespace
