#include "read/reader.h"

#include <algorithm>

#include "read/audio_input.h"
#include "read/pulse_detector.h"

namespace {

constexpr int64_t FRAMES_PER_READ = 65536;

bool Better(const TapeProgram& a, const TapeProgram& b)
{
    if (a.Failed.size() != b.Failed.size()) return a.Failed.size() < b.Failed.size();
    if (a.Image.size() != b.Image.size()) return a.Image.size() > b.Image.size();
    return a.Margin > b.Margin;
}

void TakePrograms(PulseDetector* detector, TargetFormat machine, std::vector<TapeProgram>* found)
{
    for (const TapeBlock& block : detector->Finished) {
        TapeProgram program;
        if (ProgramInBlock(block, machine, &program)) found->push_back(std::move(program));
    }
    detector->Finished.clear();
}

}  // namespace

bool ReadRecording(const std::string& path, TargetFormat machine,
                   std::vector<TapeProgram>* programs, std::string* error, std::string* warning)
{
    Recording recording;
    if (!OpenRecording(path, &recording, error)) return false;
    *warning = recording.Truncation;

    const auto channels = static_cast<size_t>(recording.Channels);
    std::vector<PulseDetector> detectors(channels);
    std::vector<std::vector<TapeProgram>> found(channels);
    for (PulseDetector& detector : detectors) StartDetector(&detector, recording.Rate);
    std::vector<float> samples;
    while (ReadFrames(&recording, &samples, FRAMES_PER_READ) > 0) {
        const auto frames = static_cast<int64_t>(samples.size() / channels);
        for (size_t c = 0; c < channels; ++c) {
            FeedDetector(&detectors[c], samples.data() + c, frames, recording.Channels);
            TakePrograms(&detectors[c], machine, &found[c]);
        }
    }
    CloseRecording(&recording);
    for (size_t c = 0; c < channels; ++c) {
        FinishDetector(&detectors[c]);
        TakePrograms(&detectors[c], machine, &found[c]);
    }

    // The first channel's programs, each replaced by a better reading of the same stretch of
    // tape on another channel; then what only other channels hold, in order.
    programs->clear();
    for (size_t c = 0; c < channels; ++c) {
        for (TapeProgram& candidate : found[c]) {
            bool placed = false;
            for (TapeProgram& kept : *programs) {
                if (candidate.Start < kept.End && kept.Start < candidate.End) {
                    if (Better(candidate, kept)) kept = std::move(candidate);
                    placed = true;
                    break;
                }
            }
            if (!placed) programs->push_back(std::move(candidate));
        }
    }
    std::stable_sort(programs->begin(), programs->end(),
                     [](const TapeProgram& a, const TapeProgram& b) { return a.Start < b.Start; });
    return true;
}
