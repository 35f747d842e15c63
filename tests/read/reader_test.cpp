// Reading tapes back: zx8xwav's own signals, clean and lightly damaged, read into the images
// they came from; the checks, each catching its fault; the names programs are written under.
#include "read/reader.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "conversion.h"
#include "read/naming.h"
#include "support/folders.h"
#include "support/images.h"
#include "support/in_memory.h"
#include "support/wav_reader.h"
#include "tape/signal.h"
#include "wav/wav_writer.h"

namespace fs = std::filesystem;

namespace {

// The tape zx8xwav makes for the image, as samples in -1..1 at 22050 per second.
std::vector<double> Tape(const std::vector<uint8_t>& image, TargetFormat target,
                         const std::string& name)
{
    EXPECT_TRUE(ConvertTapeInMemory(image, target, name));
    std::vector<double> samples;
    for (int32_t i = 0; i < wavCounter; ++i)
        samples.push_back((wavFile[static_cast<size_t>(i)] - 128) / 128.0);
    return samples;
}

// Writes the samples as a recording in the given format and rate.
void WriteRecording(const std::string& path, const std::vector<double>& samples, int rate,
                    int format)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    sf_write_double(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

// The samples at another rate, by linear interpolation.
std::vector<double> Resampled(const std::vector<double>& samples, int rate)
{
    std::vector<double> out;
    const double step = 22050.0 / rate;
    for (double at = 0; at + 1 < static_cast<double>(samples.size()); at += step) {
        const auto i = static_cast<size_t>(at);
        out.push_back(samples[i] + (at - static_cast<double>(i)) * (samples[i + 1] - samples[i]));
    }
    return out;
}

class ReaderTest : public ::testing::Test {
protected:
    void SetUp() override { dir_ = FreshTestFolder("zx8xread_"); }
    void TearDown() override
    {
        if (!HasFailure()) fs::remove_all(dir_);  // kept for a look where a case failed
    }

    std::vector<TapeProgram> Read(const std::string& path, TargetFormat machine = TARGET_UNKNOWN)
    {
        std::vector<TapeProgram> programs;
        std::string error;
        RecordingInfo info;
        EXPECT_TRUE(ReadRecording(path, machine, &programs, &error, &info)) << error;
        EXPECT_EQ(info.Warning, "");
        return programs;
    }

    fs::path dir_;
};

TEST_F(ReaderTest, ZxwavTapesReadBackExactly)
{
    const std::vector<uint8_t> zx81 = WellFormedZx81Image(40, 1);
    const std::vector<uint8_t> zx80 = WellFormedZx80Image(40, 2);
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 0.1);  // 20 dB below the pulses
    struct Variant {
        std::string Name;
        std::function<std::vector<double>(std::vector<double>)> Damage;
        int Rate;
        int Format;
    };
    const Variant variants[] = {
        {"as written", nullptr, 22050, SF_FORMAT_PCM_U8},
        {"44.1 kHz", [](std::vector<double> s) { return Resampled(s, 44100); }, 44100,
         SF_FORMAT_PCM_16},
        {"48 kHz float", [](std::vector<double> s) { return Resampled(s, 48000); }, 48000,
         SF_FORMAT_FLOAT},
        {"inverted",
         [](std::vector<double> s) {
             for (double& v : s) v = -v;
             return s;
         },
         22050, SF_FORMAT_PCM_16},
        {"noise",
         [&](std::vector<double> s) {
             for (double& v : s) v = 0.5 * v + noise(rng);
             return s;
         },
         22050, SF_FORMAT_PCM_16},
    };
    for (const Variant& v : variants) {
        for (const bool is_zx81 : {true, false}) {
            SCOPED_TRACE(v.Name + (is_zx81 ? " ZX81" : " ZX80"));
            const std::vector<uint8_t>& image = is_zx81 ? zx81 : zx80;
            std::vector<double> samples = Tape(image, is_zx81 ? TARGET_ZX81 : TARGET_ZX80, "GAME1");
            if (v.Damage) samples = v.Damage(samples);
            const std::string path =
                (dir_ / (v.Name + (is_zx81 ? " ZX81" : " ZX80") + ".wav")).string();
            WriteRecording(path, samples, v.Rate, v.Format);
            const std::vector<TapeProgram> programs = Read(path);
            ASSERT_EQ(programs.size(), 1u);
            EXPECT_EQ(programs[0].Kind, is_zx81 ? TARGET_ZX81 : TARGET_ZX80);
            EXPECT_TRUE(programs[0].Image == image);
            EXPECT_TRUE(programs[0].Failed.empty()) << programs[0].Failed.front();
            EXPECT_EQ(Zx81FileName(programs[0].Name), is_zx81 ? "game1.p" : ".p");  // ZX80: no name
            EXPECT_GT(WorstMargin(programs[0]), v.Damage ? 0.0f : 0.5f);
            EXPECT_NEAR(programs[0].Start, 1.6, 0.01);
        }
    }
}

TEST_F(ReaderTest, SeveralProgramsInOneRecordingInOrder)
{
    const std::vector<uint8_t> first = WellFormedZx81Image(5, 4);
    const std::vector<uint8_t> second = WellFormedZx80Image(5, 5);
    const std::vector<uint8_t> third = WellFormedZx81Image(8, 6);
    std::vector<double> samples = Tape(first, TARGET_ZX81, "ONE");
    for (const double v : Tape(second, TARGET_ZX80, "")) samples.push_back(v);
    for (const double v : Tape(third, TARGET_ZX81, "THREE")) samples.push_back(v);
    const std::string path = (dir_ / "three.wav").string();
    WriteRecording(path, samples, 22050, SF_FORMAT_PCM_16);
    const std::vector<TapeProgram> programs = Read(path);
    ASSERT_EQ(programs.size(), 3u);
    EXPECT_TRUE(programs[0].Image == first);
    EXPECT_TRUE(programs[1].Image == second);
    EXPECT_TRUE(programs[2].Image == third);
    EXPECT_EQ(Zx81FileName(programs[2].Name), "three.p");
    EXPECT_LT(programs[0].End, programs[1].Start);
}

TEST(FailedChecks, EachCheckCatchesItsFault)
{
    const std::vector<uint8_t> zx81 = WellFormedZx81Image(6, 7);
    const std::vector<uint8_t> zx80 = WellFormedZx80Image(6, 8);
    const auto d_file = static_cast<size_t>(zx81[3] | zx81[4] << 8);  // address of the display file
    struct Case {
        std::string Fault;
        TargetFormat Kind;
        std::function<void(std::vector<uint8_t>&)> Spoil;
        std::string Failed;
    };
    const Case cases[] = {
        {"VERSN not 0", TARGET_ZX81, [](auto& i) { i[0] = 1; }, "VERSN"},
        {"D_FILE past VARS", TARGET_ZX81, [](auto& i) { i[4] = 0x7F; }, "pointers"},
        {"ZX80 VARS before the program", TARGET_ZX80, [](auto& i) { i[9] = 0x3F; }, "pointers"},
        {"no end marker", TARGET_ZX81, [](auto& i) { i.back() = 0x7F; }, "end marker"},
        {"ZX80 no end marker", TARGET_ZX80, [](auto& i) { i.back() = 0x00; }, "end marker"},
        {"a display line too long", TARGET_ZX81, [&](auto& i) { i[d_file - 0x4009 + 3] = 0; },
         "display file"},
        {"line numbers falling", TARGET_ZX81, [](auto& i) { i[116 + 1] = 0xFF; }, "BASIC lines"},
        {"ZX80 line numbers falling", TARGET_ZX80, [](auto& i) { i[40 + 1] = 0xFF; },
         "BASIC lines"},
        {"tape ends early", TARGET_ZX81, [](auto& i) { i.pop_back(); }, "truncated"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Fault);
        std::vector<uint8_t> image = c.Kind == TARGET_ZX81 ? zx81 : zx80;
        EXPECT_TRUE(FailedChecks(c.Kind, image, image.size()).empty());
        const size_t size = image.size();
        c.Spoil(image);
        const std::vector<std::string> failed = FailedChecks(c.Kind, image, size);
        EXPECT_NE(std::find(failed.begin(), failed.end(), c.Failed), failed.end());
    }
}

TEST(Naming, FileNamesFromTapeNamesAndRecordings)
{
    // ZX81 codes: 38 A, 49 L, 63 Z, 28 digit 0, 0 space, 27 full stop, 24 slash, 11 quote.
    EXPECT_EQ(Zx81FileName({38, 49, 63, 28}), "alz0.p");
    EXPECT_EQ(Zx81FileName({38, 0, 38}), "a_a.p");
    EXPECT_EQ(Zx81FileName({27, 27}), "_..p");
    EXPECT_EQ(Zx81FileName({24, 11, 200}), "___.p");
    EXPECT_EQ(Zx80FileName("tapes/side a.wav", 3), "side a-3.o");
    EXPECT_EQ(Zx80FileName("recording", 1), "recording-1.o");
}

TEST(Naming, NeverReplacesAFile)
{
    const fs::path dir = FreshTestFolder("zx8xread_");
    std::string written;
    for (const std::string expected : {"game.p", "game-2.p", "game-3.p"}) {
        ASSERT_TRUE(WriteNewFile(dir.string(), "game.p", {static_cast<uint8_t>(expected.size())},
                                 &written));
        EXPECT_EQ(written, (dir / expected).string());
    }
    EXPECT_EQ(ReadWholeFile((dir / "game.p").string()), std::vector<uint8_t>{6});
    EXPECT_FALSE(WriteNewFile((dir / "missing").string(), "game.p", {1}, &written));
    fs::remove_all(dir);
}

}  // namespace
