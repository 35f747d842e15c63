#include "wav/wav_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "support/folders.h"
#include "support/wav_reader.h"

namespace {

// Writes a WAV of `count` samples (a ramp) to a temporary stream and returns the file's bytes.
std::vector<uint8_t> WrittenFile(int32_t count, bool* ok)
{
    std::vector<uint8_t> samples(static_cast<size_t>(count));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 7);
    FILE* f = ScratchStream();
    if (f == nullptr) return {};
    *ok = WriteWavFile(f, samples.data(), count);
    std::rewind(f);
    std::vector<uint8_t> bytes;
    for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
    return bytes;
}

std::vector<uint8_t> At(const std::vector<uint8_t>& bytes, size_t offset)
{
    return std::vector<uint8_t>(bytes.begin() + static_cast<long>(offset),
                                bytes.begin() + static_cast<long>(offset) + 4);
}

TEST(WavWriter, ThousandSamplesGiveA1044ByteFile)
{
    bool ok = false;
    const std::vector<uint8_t> bytes = WrittenFile(1000, &ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(bytes.size(), 1044u);
    EXPECT_EQ(At(bytes, 4), (std::vector<uint8_t>{0x0C, 0x04, 0x00, 0x00}));   // 1036
    EXPECT_EQ(At(bytes, 24), (std::vector<uint8_t>{0x22, 0x56, 0x00, 0x00}));  // 22050
    EXPECT_EQ(At(bytes, 28), (std::vector<uint8_t>{0x22, 0x56, 0x00, 0x00}));  // 22050
    EXPECT_EQ(At(bytes, 40), (std::vector<uint8_t>{0xE8, 0x03, 0x00, 0x00}));  // 1000
}

TEST(WavWriter, HeaderReadsBackAsEightBitMonoPcm)
{
    bool ok = false;
    const std::vector<uint8_t> bytes = WrittenFile(1000, &ok);
    const WavContents wav = ParseWav(bytes);
    ASSERT_EQ(wav.Error, "");
    EXPECT_EQ(wav.FormatTag, 1);
    EXPECT_EQ(wav.Channels, 1);
    EXPECT_EQ(wav.SampleRate, 22050u);
    EXPECT_EQ(wav.ByteRate, 22050u);
    EXPECT_EQ(wav.BlockAlign, 1);
    EXPECT_EQ(wav.BitsPerSample, 8);
    ASSERT_EQ(wav.Samples.size(), 1000u);
    EXPECT_EQ(wav.Samples[999], static_cast<uint8_t>(999 * 7));
}

TEST(WavWriter, SampleCountsGiveFilesOfHeaderPlusSamples)
{
    // An odd count gives an odd file: no pad byte follows the data.
    for (const int32_t count : {0, 1, 45115, 44542}) {
        SCOPED_TRACE(count);
        bool ok = false;
        const std::vector<uint8_t> bytes = WrittenFile(count, &ok);
        EXPECT_TRUE(ok);
        EXPECT_EQ(bytes.size(), static_cast<size_t>(count) + 44);
        const WavContents wav = ParseWav(bytes);
        EXPECT_EQ(wav.Error, "");
        EXPECT_EQ(wav.RiffSize, static_cast<uint32_t>(count) + 36);
        EXPECT_EQ(wav.Samples.size(), static_cast<size_t>(count));
    }
}

TEST(WavWriter, IntegersAreWrittenLeastSignificantByteFirst)
{
    FILE* f = ScratchStream();
    ASSERT_NE(f, nullptr);
    WriteInt(f, 0x12345678, 4);
    WriteInt(f, 0x0102, 2);
    WriteInt(f, -2, 2);
    std::rewind(f);
    std::vector<int> bytes;
    for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(c);
    std::fclose(f);
    EXPECT_EQ(bytes, (std::vector<int>{0x78, 0x56, 0x34, 0x12, 0x02, 0x01, 0xFE, 0xFF}));
}

TEST(WavWriter, WriteToAReadOnlyStreamIsReported)
{
    const char* path = "wav_writer_test_readonly.tmp";
    FILE* create = std::fopen(path, "wb");
    ASSERT_NE(create, nullptr);
    std::fclose(create);
    FILE* f = std::fopen(path, "rb");
    ASSERT_NE(f, nullptr);
    const std::vector<uint8_t> samples(100, 128);
    EXPECT_FALSE(WriteWavFile(f, samples.data(), 100));
    std::fclose(f);
    std::remove(path);
}

TEST(WavWriter, WriteToAFullDeviceIsReported)
{
#ifdef __linux__
    FILE* f = std::fopen("/dev/full", "wb");
    ASSERT_NE(f, nullptr);
    const std::vector<uint8_t> samples(100000, 128);
    EXPECT_FALSE(WriteWavFile(f, samples.data(), 100000));
    std::fclose(f);
#else
    GTEST_SKIP() << "no /dev/full here";
#endif
}

}  // namespace
