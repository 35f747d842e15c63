#include "read/reader.h"

#include <algorithm>

#include "read/audio_input.h"
#include "read/merge.h"

namespace {

constexpr int64_t FRAMES_PER_READ = 65536;

void TakeBlocks(Framer* framer, TargetFormat machine, int channel, std::vector<TapeProgram>* found)
{
    for (const TapeBlock& block : framer->Finished) {
        for (TapeProgram& program : ProgramsInBlock(block, machine)) {
            ProgramSource source;
            source.Channel = channel;
            source.Start = program.Start;
            source.End = program.End;
            program.Sources.push_back(source);
            found->push_back(std::move(program));
        }
    }
    framer->Finished.clear();
}

// Hands the bursts a channel's detector found to its framer, and the silence since.
void FrameFound(BurstDetector* detector, Framer* framer)
{
    for (const Burst& burst : detector->Found) FrameBurst(framer, burst);
    detector->Found.clear();
    const int64_t quiet_until = detector->InBurst ? detector->EntrySample : detector->Sample;
    FrameSilenceUntil(framer, static_cast<double>(quiet_until) / detector->Rate);
}

}  // namespace

void StartReader(RecordingReader* r, int channels, double rate, TargetFormat machine)
{
    *r = RecordingReader{};
    r->Machine = machine;
    r->Channels = channels;
    r->Rate = rate;
    r->Detectors.resize(static_cast<size_t>(channels));
    r->Framers.resize(static_cast<size_t>(channels));
    r->Found.resize(static_cast<size_t>(channels));
    for (size_t c = 0; c < r->Detectors.size(); ++c) {
        StartBurstDetector(&r->Detectors[c], rate);
        StartFramer(&r->Framers[c]);
    }
}

void FeedReader(RecordingReader* r, const float* samples, int64_t frames)
{
    for (size_t c = 0; c < r->Detectors.size(); ++c) {
        FeedBurstDetector(&r->Detectors[c], samples + c, frames, r->Channels);
        FrameFound(&r->Detectors[c], &r->Framers[c]);
        TakeBlocks(&r->Framers[c], r->Machine, static_cast<int>(c), &r->Found[c]);
    }
    r->Frames += frames;
}

void FinishReader(RecordingReader* r)
{
    for (size_t c = 0; c < r->Detectors.size(); ++c) {
        FinishBurstDetector(&r->Detectors[c]);
        FrameFound(&r->Detectors[c], &r->Framers[c]);
        FinishFramer(&r->Framers[c], static_cast<double>(r->Frames) / r->Rate);
        TakeBlocks(&r->Framers[c], r->Machine, static_cast<int>(c), &r->Found[c]);
    }
}

std::vector<TapeProgram> ReaderPrograms(const RecordingReader* r)
{
    // The channels are readings of the same tape, bit by bit.
    return MergeReadings(r->Found, true);
}

bool ReadRecording(const std::string& path, TargetFormat machine,
                   std::vector<TapeProgram>* programs, std::string* error, RecordingInfo* info)
{
    *info = RecordingInfo{};
    Recording recording;
    if (!OpenRecording(path, &recording, error)) {
        CloseRecording(&recording);
        return false;
    }
    RecordingReader reader;
    StartReader(&reader, recording.Channels, recording.Rate, machine);
    std::vector<float> samples;
    int64_t frames;
    while ((frames = ReadFrames(&recording, &samples, FRAMES_PER_READ)) > 0) {
        FeedReader(&reader, samples.data(), frames);
    }
    info->Warning = recording.Truncation;
    info->Rate = recording.Rate;
    info->Channels = recording.Channels;
    info->Seconds = static_cast<double>(reader.Frames) / reader.Rate;
    CloseRecording(&recording);
    FinishReader(&reader);
    *programs = ReaderPrograms(&reader);
    return true;
}
