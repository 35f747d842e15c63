#include "read/reader.h"

#include <algorithm>

#include "read/audio_input.h"

namespace {

constexpr int64_t FRAMES_PER_READ = 65536;

bool Better(const TapeProgram& a, const TapeProgram& b)
{
    if (a.Failed.size() != b.Failed.size()) return a.Failed.size() < b.Failed.size();
    if (a.Image.size() != b.Image.size()) return a.Image.size() > b.Image.size();
    return WorstMargin(a) > WorstMargin(b);
}

void TakeBlocks(Framer* framer, TargetFormat machine, std::vector<TapeProgram>* found)
{
    for (const TapeBlock& block : framer->Finished) {
        for (TapeProgram& program : ProgramsInBlock(block, machine)) {
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
        TakeBlocks(&r->Framers[c], r->Machine, &r->Found[c]);
    }
    r->Frames += frames;
}

void FinishReader(RecordingReader* r)
{
    for (size_t c = 0; c < r->Detectors.size(); ++c) {
        FinishBurstDetector(&r->Detectors[c]);
        FrameFound(&r->Detectors[c], &r->Framers[c]);
        FinishFramer(&r->Framers[c], static_cast<double>(r->Frames) / r->Rate);
        TakeBlocks(&r->Framers[c], r->Machine, &r->Found[c]);
    }
}

std::vector<TapeProgram> ReaderPrograms(const RecordingReader* r)
{
    // The first channel's programs, each replaced by a better reading of the same stretch of
    // tape on another channel; then what only other channels hold, in order.
    std::vector<TapeProgram> programs;
    for (const std::vector<TapeProgram>& channel : r->Found) {
        for (const TapeProgram& candidate : channel) {
            bool placed = false;
            for (TapeProgram& kept : programs) {
                if (candidate.Start < kept.End && kept.Start < candidate.End) {
                    if (Better(candidate, kept)) kept = candidate;
                    placed = true;
                    break;
                }
            }
            if (!placed) programs.push_back(candidate);
        }
    }
    std::stable_sort(programs.begin(), programs.end(),
                     [](const TapeProgram& a, const TapeProgram& b) { return a.Start < b.Start; });
    return programs;
}

bool ReadRecording(const std::string& path, TargetFormat machine,
                   std::vector<TapeProgram>* programs, std::string* error, std::string* warning,
                   double* seconds)
{
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
    *warning = recording.Truncation;
    CloseRecording(&recording);
    FinishReader(&reader);
    *programs = ReaderPrograms(&reader);
    if (seconds != nullptr) *seconds = static_cast<double>(reader.Frames) / reader.Rate;
    return true;
}
