// zx8xread end to end: what it prints, writes and exits with, for good recordings and bad files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "conversion.h"
#include "support/folders.h"
#include "support/images.h"
#include "support/in_memory.h"
#include "support/recordings.h"
#include "tape/signal.h"
#include "wav/wav_writer.h"

namespace fs = std::filesystem;

namespace {

// Writes the WAV zx8xwav makes for the image as a ZX81 tape named GAME1.
void WriteTape(const fs::path& path, const std::vector<uint8_t>& image)
{
    ASSERT_TRUE(ConvertTapeInMemory(image, TARGET_ZX81, "GAME1"));
    FILE* file = fopen(path.string().c_str(), "wb");
    ASSERT_TRUE(WriteWavFile(file, wavFile.get(), wavCounter));
    fclose(file);
}

TEST(Zx8xread, OutputsAndExitStatus)
{
    const fs::path dir = FreshTestFolder("zx8xread_");
    const std::vector<uint8_t> image = WellFormedZx81Image(10, 9);
    WriteTape(dir / "good.wav", image);
    std::vector<uint8_t> spoilt = image;
    spoilt[0] = 1;  // VERSN
    WriteTape(dir / "spoilt.wav", spoilt);
    WriteTape(dir / "other.wav", WellFormedZx81Image(14, 10));
    const std::string good = FileText(dir / "good.wav");
    std::ofstream(dir / "cut.wav", std::ios::binary) << good.substr(0, good.size() / 2);
    std::ofstream(dir / "notes.txt") << "not a recording\n";
    std::ofstream(dir / "empty.wav");
    ASSERT_TRUE(WriteTestWav((dir / "silence.wav").string(), std::vector<double>(44100, 0.0), 22050,
                             1, PCM_16));
    ASSERT_TRUE(
        WriteTestWav((dir / "slow.wav").string(), std::vector<double>(8000, 0.0), 4000, 1, PCM_16));
    // A dropout of 2 ms in the data: the program is right, one byte in doubt.
    std::vector<double> damaged = TapeSamples(image, TARGET_ZX81, "GAME1");
    for (size_t i = 2 * 22050; i < 2 * 22050 + 44; ++i) damaged[i] = 0.0;
    ASSERT_TRUE(WriteTestWav((dir / "dropout.wav").string(), damaged, 22050, 1, PCM_16));

    struct Case {
        std::string Args;
        int Status;
        std::string Out;        // the start of standard output
        std::string Err;        // standard error, whole
        std::string Says = "";  // in standard output, or in the report r.json
    };
    const std::string size = std::to_string(image.size());
    const Case cases[] = {
        {"-d out good.wav", 0,
         "out/game1.p: ZX81, name \"GAME1\", " + std::to_string(image.size()) +
             " bytes, 0:01.6 to ",
         ""},
        {"-dout good.wav", 0, "out/game1-2.p: ZX81", ""},
        {"-d out spoilt.wav", 1, "out/game1-3.p: ZX81", ""},
        {"-d out cut.wav", 2, "out/game1-4.p: ZX81",
         "zx8xread: cut.wav: truncated WAV: its data chunk declares " +
             std::to_string(good.size() - 44) + " bytes, the file holds " +
             std::to_string(good.size() / 2 - 44) + "\n"},
        {"notes.txt", 2, "",
         "zx8xread: notes.txt: not a recording this program can read (Format not recognised.)\n"},
        {"empty.wav", 2, "",
         "zx8xread: empty.wav: not a recording this program can read (Format not recognised.)\n"},
        {"missing.wav", 2, "", "zx8xread: missing.wav: cannot read: No such file or directory\n"},
        {"silence.wav", 1, "", "zx8xread: silence.wav: no program found\n"},
        {"-h", 0,
         "Usage: zx8xread [-d DIR] [-80 | -81] [-m] [--channel SIDE] [--report FILE] "
         "RECORDING...\n",
         ""},
        {"--channel middle good.wav", 2, "",
         "zx8xread: option --channel takes left, right or both\n"},
        {"--channel right -d c good.wav", 0, "c/game1.p: ZX81", ""},
        {"-x good.wav", 2, "", "zx8xread: unknown option -x\n"},
        {"slow.wav", 2, "",
         "zx8xread: slow.wav: its rate of 4000 samples per second is too low: 8 kHz or more is "
         "needed\n"},
        {"-d d dropout.wav", 1, "d/game1.p: ZX81, name \"GAME1\", " + size + " bytes, 0:01.6 to ",
         "", ", checks passed, 1 doubtful byte: "},
        {"-d p - < good.wav", 0, "p/game1.p: ZX81", ""},
        {"-d p /dev/stdin < good.wav", 0, "p/game1-2.p: ZX81", ""},
        {"-d p -80 - < good.wav", 1, "p/stdin-1.o: ZX80", ""},
        {"-m -d m good.wav dropout.wav", 0, "m/game1.p: ZX81", "",
         "checks OK, 2 of 2 readings agree"},
        {"--report r.json -d r dropout.wav", 1, "r/game1.p", "", "\"status\": \"doubtful\""},
        // Readings of different tapes: each program written, each saying where it was found.
        {"-m -d n good.wav other.wav", 0, "n/game1.p: ZX81", "",
         "checks OK, found in 1 of 2 recordings"},
        {"-m -d s silence.wav silence.wav", 1, "",
         "zx8xread: silence.wav: no program found\nzx8xread: silence.wav: no program found\n"},
        // The whole tape beside the programs, never replacing one; a copy read again is named.
        {"--tzx -d t good.wav good.wav", 0, "t/game1.p: ZX81", "",
         ", the same as t/game1.p\nt/good-2.tzx: the whole tape, 1 of 1 programs as blocks, the "
         "rest as it sounded\n"},
        {"--tzx --report r.json -d u dropout.wav", 1, "u/game1.p", "",
         "\"tzx\": \"u/dropout.tzx\""},
        // A report on standard output is the JSON alone; the lines go to standard error.
        {"--report - -d q good.wav", 0, "{\n  \"version\": 1,", "q/game1.p: ZX81, name",
         "\"file\": \"q/game1.p\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Args);
        const std::string command =
            "cd '" + dir.string() + "' && " + ZX8XREAD_EXE + " " + c.Args + " >stdout 2>stderr";
        const int raw = std::system(command.c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, c.Status);
        EXPECT_EQ(FileText(dir / "stdout").substr(0, c.Out.size()), c.Out);
        const std::string err = FileText(dir / "stderr");
        EXPECT_EQ(c.Err.empty() ? err : err.substr(0, c.Err.size()), c.Err);
        const std::string said = FileText(dir / "stdout") + FileText(dir / "r.json");
        EXPECT_NE(said.find(c.Says), std::string::npos) << said;
    }
    EXPECT_EQ(fs::file_size(dir / "out" / "game1.p"), image.size());
    EXPECT_EQ(FileText(dir / "out" / "game1-3.p")[0], 1);
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

}  // namespace
