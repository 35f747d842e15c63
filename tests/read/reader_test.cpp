// Reading tapes back: zx8xwav's own signals, clean and damaged, read into the images they came
// from, one recording or both channels of a stereo one.
#include "read/reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "read/naming.h"
#include "support/folders.h"
#include "support/images.h"
#include "support/machine_tape.h"
#include "support/recordings.h"
#include "support/wav_reader.h"

namespace fs = std::filesystem;

namespace {

// Silences the stretch [from, from + seconds) of a 22050 Hz recording.
std::vector<double> Silenced(std::vector<double> samples, double from, double seconds)
{
    const auto first = static_cast<size_t>(from * 22050);
    const auto count = static_cast<size_t>(seconds * 22050);
    for (size_t i = first; i < first + count && i < samples.size(); ++i) samples[i] = 0;
    return samples;
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
        TestEncoding Encoding;
    };
    const Variant variants[] = {
        {"as written", nullptr, 22050, PCM_8},
        {"44.1 kHz", [](std::vector<double> s) { return Resampled(s, 22050, 44100); }, 44100,
         PCM_16},
        {"48 kHz float", [](std::vector<double> s) { return Resampled(s, 22050, 48000); }, 48000,
         FLOAT_32_EXTENSIBLE},
        {"24 bits, inverted",
         [](std::vector<double> s) {
             for (double& v : s) v = -v;
             return s;
         },
         22050, PCM_24},
        {"noise",
         [&](std::vector<double> s) {
             for (double& v : s) v = 0.5 * v + noise(rng);
             return s;
         },
         22050, PCM_16},
    };
    for (const Variant& v : variants) {
        for (const bool is_zx81 : {true, false}) {
            SCOPED_TRACE(v.Name + (is_zx81 ? " ZX81" : " ZX80"));
            const std::vector<uint8_t>& image = is_zx81 ? zx81 : zx80;
            std::vector<double> samples =
                TapeSamples(image, is_zx81 ? TARGET_ZX81 : TARGET_ZX80, "GAME1");
            if (v.Damage) samples = v.Damage(samples);
            const std::string path =
                (dir_ / (v.Name + (is_zx81 ? " ZX81" : " ZX80") + ".wav")).string();
            ASSERT_TRUE(WriteTestWav(path, samples, v.Rate, 1, v.Encoding));
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
    std::vector<double> samples = TapeSamples(first, TARGET_ZX81, "ONE");
    for (const double v : TapeSamples(second, TARGET_ZX80, "")) samples.push_back(v);
    for (const double v : TapeSamples(third, TARGET_ZX81, "THREE")) samples.push_back(v);
    const std::string path = (dir_ / "three.wav").string();
    ASSERT_TRUE(WriteTestWav(path, samples, 22050, 1, PCM_16));
    const std::vector<TapeProgram> programs = Read(path);
    ASSERT_EQ(programs.size(), 3u);
    EXPECT_TRUE(programs[0].Image == first);
    EXPECT_TRUE(programs[1].Image == second);
    EXPECT_TRUE(programs[2].Image == third);
    EXPECT_EQ(Zx81FileName(programs[2].Name), "three.p");
    EXPECT_LT(programs[0].End, programs[1].Start);
}

TEST_F(ReaderTest, TapesJoinedWithoutAGapAreBothRead)
{
    // The second tape's lead-in cut to 10 ms: its program follows the first's end at once.
    const std::vector<uint8_t> first = WellFormedZx81Image(5, 11);
    const std::vector<uint8_t> second = WellFormedZx81Image(7, 12);
    std::vector<double> samples = TapeSamples(first, TARGET_ZX81, "ONE");
    samples.resize(samples.size() - static_cast<size_t>(0.39 * 22050));
    const std::vector<double> next = TapeSamples(second, TARGET_ZX81, "TWO");
    samples.insert(samples.end(), next.begin() + static_cast<long>(1.59 * 22050), next.end());
    const std::string path = (dir_ / "joined.wav").string();
    ASSERT_TRUE(WriteTestWav(path, samples, 22050, 1, PCM_16));
    const std::vector<TapeProgram> programs = Read(path);
    ASSERT_EQ(programs.size(), 2u);
    EXPECT_TRUE(programs[0].Image == first);
    EXPECT_TRUE(programs[1].Image == second);
}

TEST_F(ReaderTest, TheMachineCanBeGiven)
{
    // A ZX80 tape is found to be one, read as one when asked, and holds no ZX81 program.
    const std::vector<uint8_t> image = WellFormedZx80Image(6, 13);
    const std::string path = (dir_ / "zx80.wav").string();
    ASSERT_TRUE(WriteTestWav(path, TapeSamples(image, TARGET_ZX80, ""), 22050, 1, PCM_16));
    for (const TargetFormat machine : {TARGET_UNKNOWN, TARGET_ZX80}) {
        SCOPED_TRACE(machine);
        const std::vector<TapeProgram> programs = Read(path, machine);
        ASSERT_EQ(programs.size(), 1u);
        EXPECT_EQ(programs[0].Kind, TARGET_ZX80);
        EXPECT_TRUE(programs[0].Image == image);
    }
    EXPECT_TRUE(Read(path, TARGET_ZX81).empty());
}

TEST_F(ReaderTest, ARecordingStartedJustBeforeTheTapeIsWhole)
{
    // Started 0.1 s before the first bit: the program is whole; started in the middle of its bits,
    // it is not, however it reads.
    const std::vector<uint8_t> image = WellFormedZx81Image(12, 22);
    const std::vector<double> tape = TapeSamples(image, TARGET_ZX81, "LATE");
    size_t first = 0;
    while (tape[first] == 0.0) ++first;
    for (const double before : {0.1, -0.05}) {
        SCOPED_TRACE(before);
        const auto from = static_cast<size_t>(static_cast<double>(first) - before * 22050);
        const std::string path = (dir_ / "late.wav").string();
        ASSERT_TRUE(WriteTestWav(
            path, std::vector<double>(tape.begin() + static_cast<long>(from), tape.end()), 22050, 1,
            PCM_16));
        const std::vector<TapeProgram> programs = Read(path);
        ASSERT_FALSE(programs.empty());
        EXPECT_EQ(programs[0].MidTape, before < 0);
        if (before > 0) {
            EXPECT_TRUE(ProgramIsSound(programs[0]));
        }
    }
}

TEST_F(ReaderTest, ProgramsMomentsApartAreBothSound)
{
    // Two programs saved one right after the other: the pause between them, shorter or longer
    // than a bit's, says nothing against the bits beside it.
    auto trimmed = [](std::vector<double> tape) {
        while (!tape.empty() && tape.back() == 0.0) tape.pop_back();
        size_t first = 0;
        while (tape[first] == 0.0) ++first;
        return std::vector<double>(tape.begin() + static_cast<long>(first), tape.end());
    };
    const std::vector<uint8_t> one = WellFormedZx81Image(8, 23), two = WellFormedZx81Image(5, 24);
    const std::vector<double> a = trimmed(TapeSamples(one, TARGET_ZX81, "ONE"));
    const std::vector<double> b = trimmed(TapeSamples(two, TARGET_ZX81, "TWO"));
    for (const double ms : {0.5, 1.5, 4.0, 5.0, 10.0}) {
        SCOPED_TRACE(ms);
        std::vector<double> tape(22050, 0.0);
        tape.insert(tape.end(), a.begin(), a.end());
        tape.insert(tape.end(), static_cast<size_t>(ms * 22.05), 0.0);
        tape.insert(tape.end(), b.begin(), b.end());
        tape.insert(tape.end(), 22050, 0.0);
        const std::string path = (dir_ / "two.wav").string();
        ASSERT_TRUE(WriteTestWav(path, tape, 22050, 1, PCM_16));
        const std::vector<TapeProgram> programs = Read(path);
        ASSERT_EQ(programs.size(), 2u);
        EXPECT_TRUE(programs[0].Image == one && programs[1].Image == two);
        EXPECT_TRUE(ProgramIsSound(programs[0]) && ProgramIsSound(programs[1]));
    }
}

// The tape with the `nth` burst of 9 pulses cut to `pulses`: whole periods taken from its end,
// the pause after it left as it was.
std::vector<double> PulsesCut(std::vector<double> tape, int nth, int pulses)
{
    std::vector<size_t> rises;  // of the burst under way
    const size_t quiet = 20;    // samples without a rise (about 0.5 ms at 44.1 kHz) end a burst
    int seen = 0;
    for (size_t i = 1; i < tape.size(); ++i) {
        if (tape[i - 1] <= 0 && tape[i] > 0) {
            if (!rises.empty() && i - rises.back() > quiet) rises.clear();
            rises.push_back(i);
        }
        if (rises.size() == 9 && i - rises.back() == quiet && ++seen == nth) {
            const size_t end = rises[8] + (rises[8] - rises[7]);
            tape.erase(tape.begin() + static_cast<long>(rises[static_cast<size_t>(pulses)]),
                       tape.begin() + static_cast<long>(end));
            return tape;
        }
    }
    return {};
}

TEST_F(ReaderTest, APulseCountNoBitHasIsNeverSound)
{
    // A 1's burst cut to a count that is neither a 0's nor a 1's, its length near one of theirs:
    // on either tape, where every other count is exact, the program is in doubt.
    const std::vector<uint8_t> image = WellFormedZx81Image(20, 41);
    const std::vector<double> tapes[] = {
        Resampled(TapeSamples(image, TARGET_ZX81, "CUT"), 22050, 44100),
        MachineTapeSamples(image, TARGET_ZX81, {40, 58, 57 | 0x80})};
    for (const std::vector<double>& tape : tapes) {
        for (const int pulses : {3, 5, 7, 8}) {
            SCOPED_TRACE(pulses);
            const std::string path = (dir_ / "cut.wav").string();
            ASSERT_TRUE(WriteTestWav(path, PulsesCut(tape, 300, pulses), 44100, 1, PCM_16));
            const std::vector<TapeProgram> programs = Read(path);
            ASSERT_EQ(programs.size(), 1u);
            EXPECT_FALSE(ProgramIsSound(programs[0]));
        }
    }
}

TEST_F(ReaderTest, SkewedChannelsAreLinedUp)
{
    // A stereo deck's head not square to a mono tape: the right channel a few milliseconds late.
    const std::vector<uint8_t> image = WellFormedZx81Image(20, 21);
    const std::vector<double> tape = TapeSamples(image, TARGET_ZX81, "SKEW");
    for (const double ms : {1.0, 2.5, 12.0}) {
        SCOPED_TRACE(ms);
        const auto skew = static_cast<size_t>(ms * 22.05);
        std::vector<double> stereo;
        for (size_t i = 0; i < tape.size() + skew; ++i) {
            stereo.push_back(i < tape.size() ? tape[i] : 0.0);
            stereo.push_back(i >= skew ? tape[i - skew] : 0.0);
        }
        const std::string path = (dir_ / "skewed.wav").string();
        ASSERT_TRUE(WriteTestWav(path, stereo, 22050, 2, PCM_16));
        const std::vector<TapeProgram> programs = Read(path);
        ASSERT_EQ(programs.size(), 1u);
        EXPECT_TRUE(programs[0].Image == image);
        EXPECT_TRUE(ProgramIsSound(programs[0]));
        EXPECT_EQ(programs[0].Agreeing, 2);
        ASSERT_EQ(programs[0].Sources.size(), 2u);  // each channel with its own time
        EXPECT_NEAR(programs[0].Sources[1].Start - programs[0].Sources[0].Start, ms / 1000, 1e-4);
        // One channel alone, when asked for (--channel).
        ReadingSession session;
        std::string error;
        ASSERT_TRUE(OpenReading(path, 0, &session, &error, ReaderSettings{}, nullptr, 1));
        std::vector<TapeProgram> right;
        for (std::vector<TapeBlock> blocks; NextBlocks(&session, &blocks);) {
            for (TapeProgram& p : ProgramsInBlocks(blocks, TARGET_UNKNOWN)) right.push_back(p);
        }
        RecordingInfo info;
        CloseReading(&session, &info);
        ASSERT_EQ(right.size(), 1u);
        ASSERT_EQ(right[0].Sources.size(), 1u);
        EXPECT_EQ(right[0].Sources[0].Channel, 1);
        EXPECT_NEAR(right[0].Start - programs[0].Start, ms / 1000, 1e-4);
    }
}

TEST_F(ReaderTest, StereoChannelsAreReadingsOfOneTape)
{
    // Each channel lost a different stretch of the tape: each alone is wrong, together right.
    const std::vector<uint8_t> image = WellFormedZx81Image(30, 14);
    const std::vector<double> tape = TapeSamples(image, TARGET_ZX81, "BOTH");
    const std::vector<double> left = Silenced(tape, 3.0, 0.006);
    const std::vector<double> right = Silenced(tape, 5.0, 0.006);
    std::vector<double> stereo;
    for (size_t i = 0; i < tape.size(); ++i) {
        stereo.push_back(left[i]);
        stereo.push_back(right[i]);
    }
    const std::string path = (dir_ / "stereo.wav").string();
    ASSERT_TRUE(WriteTestWav(path, stereo, 22050, 2, PCM_16));
    ASSERT_TRUE(WriteFileBytes((dir_ / "expected").string().c_str(), image));
    const std::vector<TapeProgram> programs = Read(path);
    ASSERT_EQ(programs.size(), 1u);
    EXPECT_TRUE(programs[0].Image == image);
    EXPECT_EQ(programs[0].Sources.size(), 2u);
    EXPECT_TRUE(ProgramIsSound(programs[0]));
    for (const std::vector<double>* channel : {&left, &right}) {  // each alone is wrong
        const std::string mono = (dir_ / "mono.wav").string();
        ASSERT_TRUE(WriteTestWav(mono, *channel, 22050, 1, PCM_16));
        const std::vector<TapeProgram> alone = Read(mono);
        ASSERT_EQ(alone.size(), 1u);
        EXPECT_FALSE(alone[0].Image == image);
    }
}

TEST(DamagedTapes, NeverWrongAndCalledGood)
{
    // A few damages, quickly: every program read is either right, or not called good.
    const std::vector<uint8_t> zx81 = WellFormedZx81Image(25, 16);
    const std::vector<uint8_t> zx80 = WellFormedZx80Image(25, 17);
    const fs::path dir = FreshTestFolder("zx8xread_");
    std::mt19937 rng(18);
    std::normal_distribution<double> gauss;
    struct Damage {
        std::string Name;
        std::function<void(std::vector<double>&)> Apply;
    };
    const Damage damages[] = {
        {"noise 10 dB",
         [&](auto& s) {
             for (double& v : s) v = 0.5 * v + 0.11 * gauss(rng);
         }},
        {"dropouts",
         [&](auto& s) {
             for (double t : {2.3, 3.1, 4.7}) s = Silenced(s, t, 0.001);
         }},
        {"a dip of -20 dB",
         [&](auto& s) {
             for (size_t i = 3 * 22050; i < 3 * 22050 + 662; ++i) s[i] *= 0.1;
         }},
        {"speed 1.15", [&](auto& s) { s = Resampled(s, 22050, 19174); }},
    };
    int right = 0, total = 0;
    for (const Damage& damage : damages) {
        for (const bool is_zx81 : {true, false}) {
            SCOPED_TRACE(damage.Name + (is_zx81 ? " ZX81" : " ZX80"));
            const std::vector<uint8_t>& image = is_zx81 ? zx81 : zx80;
            std::vector<double> samples =
                TapeSamples(image, is_zx81 ? TARGET_ZX81 : TARGET_ZX80, "A");
            damage.Apply(samples);
            const std::string path =
                (dir / (damage.Name + (is_zx81 ? " ZX81" : " ZX80") + ".wav")).string();
            ASSERT_TRUE(WriteTestWav(path, samples, 22050, 1, PCM_16));
            ASSERT_TRUE(WriteFileBytes((path + ".expected").c_str(), image));
            std::vector<TapeProgram> programs;
            std::string error;
            RecordingInfo info;
            ASSERT_TRUE(ReadRecording(path, TARGET_UNKNOWN, &programs, &error, &info));
            for (const TapeProgram& program : programs) {
                std::cout << "[ INFO ] " << damage.Name << (is_zx81 ? " ZX81: " : " ZX80: ")
                          << (program.Image == image ? "right" : "wrong")
                          << (ProgramIsSound(program) ? ", sound" : ", in doubt") << "\n";
                if (program.Image != image) {
                    EXPECT_FALSE(ProgramIsSound(program));
                }
                right += program.Image == image;
            }
            ++total;
        }
    }
    EXPECT_GE(right, total - 1);
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

TEST(Corpus, EveryProgramReadsBack)
{
    const fs::path corpus = fs::path(ZX8XWAV_SOURCE_DIR) / ".." / "shared" / "corpus";
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus.string();
    const fs::path dir = FreshTestFolder("zx8xread_");
    for (const char* machine : {"zx81", "zx80"}) {
        for (const auto& entry : fs::directory_iterator(corpus / machine)) {
            SCOPED_TRACE(entry.path().string());
            const std::vector<uint8_t> file = ReadWholeFile(entry.path().string());
            const bool zx81 = machine == std::string("zx81");
            const TargetFormat target = zx81 ? TARGET_ZX81 : TARGET_ZX80;
            const int at = ELineAddress(target) - ImageStart(target);
            const auto end = static_cast<size_t>(
                (file[static_cast<size_t>(at)] | file[static_cast<size_t>(at) + 1] << 8) -
                ImageStart(target));
            const std::string path = (dir / "tape.wav").string();
            ASSERT_TRUE(WriteTestWav(path, TapeSamples(file, target, "GAME"), 22050, 1, PCM_8));
            std::vector<TapeProgram> programs;
            std::string error;
            RecordingInfo info;
            ASSERT_TRUE(ReadRecording(path, target, &programs, &error, &info));
            ASSERT_EQ(programs.size(), 1u);
            EXPECT_TRUE(programs[0].Image ==
                        std::vector<uint8_t>(file.begin(), file.begin() + static_cast<long>(end)));
            EXPECT_TRUE(DoubtfulBytes(programs[0]).empty());
        }
    }
    fs::remove_all(dir);
}

}  // namespace
