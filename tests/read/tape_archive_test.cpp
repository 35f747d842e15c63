// A recording kept whole as a TZX: read here with a parser of its own, written from the format's
// layouts, its programs must be the exact bytes, the rest kept as it sounded, and its time the
// recording's.
#include "read/tape_archive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/tape_file.h"
#include "read/reader.h"
#include "support/images.h"
#include "support/tape_files.h"
#include "tape/estimate.h"
#include "tape/signal.h"
#include "tape/tape.h"

namespace {

struct Block {
    uint8_t Id;
    std::vector<uint8_t> Body;
};

unsigned Word(const std::vector<uint8_t>& b, size_t at) { return b[at] | unsigned{b[at + 1]} << 8; }

// The blocks of a TZX that holds only the blocks an archive is made of.
std::vector<Block> Blocks(const std::vector<uint8_t>& tzx)
{
    std::vector<Block> blocks;
    EXPECT_EQ(std::string(tzx.begin(), tzx.begin() + 8), std::string("ZXTape!\x1A", 8));
    for (size_t at = 10; at < tzx.size();) {
        const uint8_t id = tzx[at++];
        size_t length = 0;
        switch (id) {
            case 0x19:
                length = 4 + (Word(tzx, at) | size_t{Word(tzx, at + 2)} << 16);
                break;
            case 0x15:
                length = 8 + (Word(tzx, at + 5) | size_t{tzx[at + 7]} << 16);
                break;
            case 0x20:
                length = 2;
                break;
            case 0x30:
                length = 1 + size_t{tzx[at]};
                break;
            case 0x32:
                length = 2 + size_t{Word(tzx, at)};
                break;
            case 0x33:
                length = 1 + 3 * size_t{tzx[at]};
                break;
            default:
                ADD_FAILURE() << "block " << int{id};
                return blocks;
        }
        blocks.push_back({id, std::vector<uint8_t>(tzx.begin() + static_cast<long>(at),
                                                   tzx.begin() + static_cast<long>(at + length))});
        at += length;
    }
    return blocks;
}

// The seconds a block plays, its pause included: program blocks of 4- and 9-pulse symbols.
double BlockSeconds(const Block& b)
{
    constexpr double T = 1 / 3500000.0;
    if (b.Id == 0x20) return Word(b.Body, 0) / 1000.0;
    if (b.Id == 0x15) {
        const size_t bits = 8 * (b.Body.size() - 9) + b.Body[4];
        return static_cast<double>(bits) * Word(b.Body, 0) * T + Word(b.Body, 2) / 1000.0;
    }
    if (b.Id != 0x19) return 0;
    double seconds = Word(b.Body, 4) / 1000.0;
    for (size_t i = 0x12 + 2 * 37; i < b.Body.size(); ++i) {
        for (int k = 0; k < 8; ++k) {
            const size_t symbol = 0x12 + 37 * ((b.Body[i] << k & 0x80) != 0 ? 1 : 0);
            for (size_t p = 0; p < 18 && Word(b.Body, symbol + 1 + 2 * p) != 0; ++p) {
                seconds += Word(b.Body, symbol + 1 + 2 * p) * T;
            }
        }
    }
    return seconds;
}

TEST(TapeArchive, ProgramsAreExactBlocksTheRestSoundsAsRecordedAndTimeIsKept)
{
    const std::vector<uint8_t> first = P81Record("FIRST", WellFormedZx81Image(3, 31));
    std::vector<uint8_t> failed_image = WellFormedZx81Image(2, 32);
    failed_image[0] = 7;  // VERSN: the checks fail
    const std::vector<uint8_t> failed = P81Record("BAD", failed_image);
    const std::vector<uint8_t> last = P81Record("LAST", WellFormedZx81Image(1, 33));
    std::vector<uint8_t> turbo_body;  // a fast loader: 40 bytes at four times the speed
    for (const auto& [value, size] : std::vector<std::pair<unsigned, int>>{{700, 2},
                                                                           {200, 2},
                                                                           {200, 2},
                                                                           {200, 2},
                                                                           {400, 2},
                                                                           {800, 2},
                                                                           {8, 1},
                                                                           {100, 2},
                                                                           {40, 3}}) {
        PutLittle(&turbo_body, value, size);
    }
    turbo_body.resize(turbo_body.size() + 40, 0x5A);
    std::vector<uint8_t> source = TzxHeader();
    for (const std::vector<uint8_t>& block :
         {TzxProgramBlock(first, 2000), TzxBlock(0x11, turbo_body), TzxProgramBlock(failed, 1200),
          TzxProgramBlock(last, 700)}) {
        source.insert(source.end(), block.begin(), block.end());
    }
    TapeFile tape;
    ASSERT_TRUE(ReadTzx(source.data(), source.size(), &tape)) << tape.Error;
    ASSERT_TRUE(AllocateSampleBuffer(SampleBufferSize(TapePartStarts(tape).back() + 1)));
    OutputTapeFile(tape);
    std::vector<float> samples(static_cast<size_t>(wavCounter));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = (wavFile[i] - 128) / 128.0f;

    RecordingReader reader;
    SignalCapture capture;
    StartReader(&reader, 1, sampleRate);
    StartCapture(&capture, sampleRate, 1);
    FeedReader(&reader, samples.data(), static_cast<int64_t>(samples.size()));
    CaptureFrames(&capture, samples.data(), static_cast<int64_t>(samples.size()));
    FinishReader(&reader);
    const std::vector<TapeProgram> programs = ProgramsInBlocks(TakeBlocks(&reader), TARGET_UNKNOWN);
    ASSERT_EQ(programs.size(), 3u);

    const std::vector<Block> blocks = Blocks(TapeArchive(programs, capture, "t.wav"));
    std::vector<uint8_t> ids;
    double seconds = 0;
    for (const Block& b : blocks) {
        ids.push_back(b.Id);
        seconds += BlockSeconds(b);
    }
    EXPECT_EQ(ids, (std::vector<uint8_t>{0x33, 0x32, 0x20, 0x19, 0x30, 0x15, 0x19}));
    EXPECT_NEAR(seconds, static_cast<double>(samples.size()) / sampleRate, 0.002);
    const auto data = [](const Block& b) {
        return std::vector<uint8_t>(b.Body.begin() + 0x12 + 2 * 37, b.Body.end());
    };
    EXPECT_EQ(data(blocks[3]), first);
    EXPECT_EQ(data(blocks[6]), last);
    // The fast loader and the program that failed are one stretch of sound, said to be so.
    const std::string text(blocks[4].Body.begin() + 1, blocks[4].Body.end());
    EXPECT_EQ(text.rfind("Program \"BAD\" failed its checks, at 0:", 0), 0u) << text;
    const std::string info(blocks[1].Body.begin(), blocks[1].Body.end());
    EXPECT_NE(info.find("FIRST"), std::string::npos);
    EXPECT_NE(info.find("Read by zx8xread from t.wav: 3 programs, 0 bytes in doubt"),
              std::string::npos);
}

}  // namespace
