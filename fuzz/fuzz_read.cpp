// The reader on arbitrary input. With a first byte of 0 the rest is a file to open as a
// recording (a WAV of any header); otherwise the rest is 16-bit samples, on one or two channels
// at a rate the first byte picks, read into blocks and programs. Nothing may crash, and every
// program's parts must agree in size.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "read/audio_input.h"
#include "read/reader.h"

namespace {

void Require(bool condition)
{
    if (!condition) std::abort();
}

void CheckPrograms(const std::vector<TapeProgram>& programs)
{
    for (const TapeProgram& p : programs) {
        Require(p.BitMargins.size() == 8 * p.Image.size());
        Require(p.NameMargins.size() == 8 * p.Name.size());
        Require(p.ByteTimes.size() == p.Image.size());
        Require(!p.Sources.empty());
        for (const ProgramSource& s : p.Sources)
            Require(s.Image.empty() || s.Image.size() == p.Image.size());
        for (const float m : p.BitMargins) Require(m >= 0.0f && m <= 1.0f);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 1 << 20) return 0;
    if (data[0] == 0) {
        FILE* stream = fmemopen(const_cast<uint8_t*>(data + 1), size - 1, "rb");
        if (stream == nullptr) return 0;
        Recording recording;
        std::string error;
        if (OpenRecordingStream(stream, true, &recording, &error)) {
            Require(recording.Channels > 0 && recording.Channels <= MOST_CHANNELS &&
                    recording.Rate >= LOWEST_RATE);
            std::vector<float> samples;
            while (ReadFrames(&recording, &samples, 4096) > 0) {
                for (const float v : samples) Require(v >= -1.0f && v <= 1.0f);
            }
        }
        CloseRecording(&recording);
        return 0;
    }
    static const int RATES[] = {8000, 11025, 22050, 44100};
    const int channels = 1 + (data[0] & 1);
    const int rate = RATES[(data[0] >> 1) & 3];
    std::vector<float> samples;
    for (size_t i = 1; i + 1 < size; i += 2) {
        samples.push_back(
            static_cast<float>(static_cast<int16_t>(data[i] | data[i + 1] << 8) / 32768.0));
    }
    samples.resize(samples.size() / static_cast<size_t>(channels) * static_cast<size_t>(channels));
    RecordingReader reader;
    const auto machine = static_cast<TargetFormat>((data[0] >> 3) % 3);
    StartReader(&reader, channels, rate);
    // Fed in uneven pieces, as a recording arrives.
    std::vector<TapeBlock> blocks;
    size_t at = 0;
    const auto frames = static_cast<int64_t>(samples.size() / static_cast<size_t>(channels));
    for (int64_t done = 0, piece = 1 + data[0]; done < frames; done += piece) {
        const int64_t count = std::min<int64_t>(piece, frames - done);
        FeedReader(&reader, samples.data() + at, count);
        at += static_cast<size_t>(count * channels);
        for (TapeBlock& block : TakeBlocks(&reader)) blocks.push_back(std::move(block));
    }
    FinishReader(&reader);
    for (TapeBlock& block : TakeBlocks(&reader)) blocks.push_back(std::move(block));
    for (const TapeBlock& block : blocks) {
        Require(block.Margins.size() == block.Bits.size() &&
                block.Times.size() == block.Bits.size());
        Require(block.Starts.size() == block.StartMargins.size() && !block.Starts.empty());
    }
    CheckPrograms(ProgramsInBlocks(blocks, machine));
    return 0;
}
