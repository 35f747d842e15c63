// Recordings read as samples: every WAV encoding a recording comes in gives back its samples, and
// what is no recording, or too slow to carry the pulses, is refused with its reason.
#include "read/audio_input.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "support/folders.h"
#include "support/images.h"
#include "support/recordings.h"

namespace fs = std::filesystem;

namespace {

// Reads the whole recording at `path`, a few frames at a time.
std::vector<float> ReadAll(const std::string& path, Recording* r, std::string* error)
{
    std::vector<float> all, some;
    if (!OpenRecording(path, r, error)) return all;
    while (ReadFrames(r, &some, 7) > 0) all.insert(all.end(), some.begin(), some.end());
    return all;
}

TEST(AudioInput, EveryEncodingGivesItsSamples)
{
    const fs::path dir = FreshTestFolder("zx8xread_audio_");
    std::vector<double> stereo;
    for (int i = 0; i < 200; ++i) stereo.push_back(std::sin(i * 0.37) * (i % 2 ? 0.5 : -0.9));
    const struct {
        TestEncoding Encoding;
        double Tolerance;  // the encoding's quantisation
    } cases[] = {{PCM_8, 1.0 / 127}, {PCM_16, 1e-4},   {PCM_24, 1e-6},
                 {PCM_32, 1e-7},     {FLOAT_32, 1e-7}, {FLOAT_32_EXTENSIBLE, 1e-7},
                 {FLOAT_64, 1e-7}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Encoding);
        const std::string path = (dir / "a.wav").string();
        ASSERT_TRUE(WriteTestWav(path, stereo, 8000, 2, c.Encoding));
        Recording r;
        std::string error;
        const std::vector<float> got = ReadAll(path, &r, &error);
        EXPECT_EQ(r.Channels, 2);
        EXPECT_EQ(r.Rate, 8000);
        EXPECT_EQ(r.Truncation, "");
        CloseRecording(&r);
        ASSERT_EQ(got.size(), stereo.size()) << error;
        for (size_t i = 0; i < got.size(); ++i) ASSERT_NEAR(got[i], stereo[i], 1.5 * c.Tolerance);
    }
    fs::remove_all(dir);
}

TEST(AudioInput, RefusesWhatItCannotRead)
{
    const fs::path dir = FreshTestFolder("zx8xread_audio_");
    const std::string good = (dir / "good.wav").string();
    ASSERT_TRUE(WriteTestWav(good, std::vector<double>(100, 0.25), 8000, 1, PCM_16));
    std::vector<uint8_t> wav;
    {
        FILE* f = std::fopen(good.c_str(), "rb");
        for (int c; (c = std::fgetc(f)) != EOF;) wav.push_back(static_cast<uint8_t>(c));
        std::fclose(f);
    }
    auto with = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> changed = wav;
        for (size_t k = 0; k < bytes.size(); ++k) changed[at + k] = bytes[k];
        return changed;
    };
    const struct {
        const char* What;
        std::vector<uint8_t> Bytes;
        std::string Error;
    } cases[] = {
        {"text",
         {'h', 'e', 'l', 'l', 'o', '\n'},
         "not a recording this program can read (not a WAV file)"},
        {"7999 Hz", with(24, {0x3F, 0x1F, 0, 0}),
         "its rate of 7999 samples per second is too low: 8 kHz or more is needed"},
        {"an encoding of its own", with(20, {0x34, 0x12}), ""},
        {"9 channels", with(22, {9, 0}),
         "not a recording this program can read (9 channels; 8 at most)"},
        {"no data chunk", std::vector<uint8_t>(wav.begin(), wav.begin() + 36),
         "not a recording this program can read (a WAV file without sound data)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        const std::string path = (dir / "bad.wav").string();
        ASSERT_TRUE(WriteFileBytes(path.c_str(), c.Bytes));
        Recording r;
        std::string error;
        EXPECT_FALSE(OpenRecording(path, &r, &error));
        CloseRecording(&r);
        // What is no WAV, or a WAV of an encoding no one decodes, goes to libsndfile where the
        // build has it, which names what it found in its own words.
        if (c.Bytes.size() > 12 && !c.Error.empty()) {
            EXPECT_EQ(error, c.Error);
        }
        EXPECT_NE(error, "");
    }
    // A WAV of an encoding only libsndfile decodes (mu-law) is read through it where the build
    // has it, and then nothing says it could not be.
    {
        const std::string mu_law = (dir / "mu.wav").string();
        std::vector<uint8_t> bytes = with(20, {7, 0});
        bytes[34] = 8;  // 8 bits a sample
        ASSERT_TRUE(WriteFileBytes(mu_law.c_str(), bytes));
        Recording r;
        std::string error;
        if (OpenRecording(mu_law, &r, &error)) {
            EXPECT_EQ(error, "");
        } else {
            EXPECT_NE(error, "");
        }
        CloseRecording(&r);
    }
    // A file cut short is read as far as it goes, and says so.
    const std::string cut = (dir / "cut.wav").string();
    ASSERT_TRUE(WriteFileBytes(cut.c_str(), std::vector<uint8_t>(wav.begin(), wav.end() - 50)));
    Recording r;
    std::string error;
    EXPECT_EQ(ReadAll(cut, &r, &error).size(), 75u);
    EXPECT_EQ(r.Truncation, "truncated WAV: its data chunk declares 200 bytes, the file holds 150");
    CloseRecording(&r);
    fs::remove_all(dir);
}

}  // namespace
