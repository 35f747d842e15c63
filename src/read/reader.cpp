#include "read/reader.h"

#include <algorithm>

#include "read/merge.h"

namespace {

constexpr int64_t FRAMES_PER_READ = 65536;

// Hands the bursts a channel's detector found to its framer, and the silence since.
void FrameFound(BurstDetector* detector, Framer* framer)
{
    for (const Burst& burst : detector->Found) FrameBurst(framer, burst);
    detector->Found.clear();
    const int64_t quiet_until =
        detector->State.InBurst ? detector->State.EntrySample : detector->Sample;
    FrameSilenceUntil(framer, static_cast<double>(quiet_until) / detector->Rate);
}

// Moves a channel's finished blocks to the reader, each marked with where it was read.
void CollectBlocks(RecordingReader* r, size_t channel)
{
    for (TapeBlock& block : r->Framers[channel].Finished) {
        BlockSource source;
        source.Channel = r->ChannelsRead[channel];
        block.Sources.assign(1, source);
        r->Blocks[channel].push_back(std::move(block));
    }
    r->Framers[channel].Finished.clear();
}

}  // namespace

void StartReader(RecordingReader* r, int channels, double rate, const ReaderSettings& settings,
                 FILE* trace, int only)
{
    *r = RecordingReader{};
    r->Channels = channels;
    r->Rate = rate;
    for (int c = 0; c < channels; ++c) {
        if (only == ALL_CHANNELS || c == std::min(only, channels - 1)) r->ChannelsRead.push_back(c);
    }
    const size_t read = r->ChannelsRead.size();
    r->Detectors.resize(read);
    r->Framers.resize(read);
    r->Blocks.resize(read);
    for (size_t c = 0; c < read; ++c) {
        StartBurstDetector(&r->Detectors[c], rate, settings);
        StartFramer(&r->Framers[c], settings);
        r->Framers[c].Trace = trace;
        r->Framers[c].Channel = r->ChannelsRead[c];
    }
}

void FeedReader(RecordingReader* r, const float* samples, int64_t frames)
{
    for (size_t c = 0; c < r->Detectors.size(); ++c) {
        FeedBurstDetector(&r->Detectors[c], samples + r->ChannelsRead[c], frames, r->Channels);
        FrameFound(&r->Detectors[c], &r->Framers[c]);
        CollectBlocks(r, c);
    }
    r->Frames += frames;
}

void FinishReader(RecordingReader* r)
{
    for (size_t c = 0; c < r->Detectors.size(); ++c) {
        FinishBurstDetector(&r->Detectors[c]);
        FrameFound(&r->Detectors[c], &r->Framers[c]);
        FinishFramer(&r->Framers[c], static_cast<double>(r->Frames) / r->Rate);
        CollectBlocks(r, c);
    }
    r->Finished = true;
}

std::vector<TapeBlock> TakeBlocks(RecordingReader* r)
{
    if (r->Blocks.size() == 1) {
        std::vector<TapeBlock> blocks;
        blocks.swap(r->Blocks[0]);
        return blocks;
    }
    // A stretch of tape is complete once no channel can still be reading a block that overlaps
    // it: every channel's block under way (if any) begins after it ends.
    double complete_until = r->Finished ? 1e300 : static_cast<double>(r->Frames) / r->Rate;
    if (!r->Finished) {
        for (const Framer& framer : r->Framers) {
            if (framer.Current.Bits > 0) {
                complete_until = std::min(complete_until, framer.Current.Block.Start);
            }
        }
    }
    std::vector<std::vector<TapeBlock>> ready(r->Blocks.size());
    for (size_t c = 0; c < r->Blocks.size(); ++c) {
        auto& blocks = r->Blocks[c];
        const auto split = std::find_if(blocks.begin(), blocks.end(), [&](const TapeBlock& b) {
            return b.End >= complete_until;
        });
        ready[c].assign(std::make_move_iterator(blocks.begin()), std::make_move_iterator(split));
        blocks.erase(blocks.begin(), split);
    }
    return MergeChannels(ready);
}

std::vector<TapeProgram> ProgramsInBlocks(const std::vector<TapeBlock>& blocks,
                                          TargetFormat machine)
{
    std::vector<TapeProgram> programs;
    for (const TapeBlock& block : blocks) {
        for (TapeProgram& program : ProgramsInBlock(block, machine)) {
            programs.push_back(std::move(program));
        }
    }
    return programs;
}

bool OpenReading(const std::string& path, int index, ReadingSession* s, std::string* error,
                 const ReaderSettings& settings, FILE* trace, int only)
{
    if (!OpenRecording(path, &s->File, error)) {
        CloseRecording(&s->File);
        return false;
    }
    StartReader(&s->Reader, s->File.Channels, s->File.Rate, settings, trace, only);
    s->Index = index;
    return true;
}

bool NextBlocks(ReadingSession* s, std::vector<TapeBlock>* blocks)
{
    blocks->clear();
    while (blocks->empty()) {
        if (s->Reader.Finished) return false;
        const int64_t frames = ReadFrames(&s->File, &s->Samples, FRAMES_PER_READ);
        if (frames > 0) {
            FeedReader(&s->Reader, s->Samples.data(), frames);
            if (s->Capture != nullptr) CaptureFrames(s->Capture, s->Samples.data(), frames);
        } else {
            FinishReader(&s->Reader);
        }
        *blocks = TakeBlocks(&s->Reader);
    }
    for (TapeBlock& block : *blocks) {
        for (BlockSource& source : block.Sources) source.Recording = s->Index;
    }
    return true;
}

void CloseReading(ReadingSession* s, RecordingInfo* info)
{
    *info = RecordingInfo{};
    info->Warning = s->File.Truncation;
    info->Rate = s->File.Rate;
    info->Channels = s->File.Channels;
    info->Seconds = s->Reader.Rate > 0 ? static_cast<double>(s->Reader.Frames) / s->Reader.Rate : 0;
    CloseRecording(&s->File);
}

bool ReadRecording(const std::string& path, TargetFormat machine,
                   std::vector<TapeProgram>* programs, std::string* error, RecordingInfo* info)
{
    ReadingSession session;
    programs->clear();
    if (!OpenReading(path, 0, &session, error)) return false;
    std::vector<TapeBlock> blocks;
    while (NextBlocks(&session, &blocks)) {
        for (TapeProgram& program : ProgramsInBlocks(blocks, machine)) {
            programs->push_back(std::move(program));
        }
    }
    CloseReading(&session, info);
    return true;
}
