// What a recording sounded like, kept while it is read so that a tape can be archived whole:
// the signal through a comparator (rid of hum and DC, then which side of the middle it is on),
// one bit per frame, and how loud each 10 ms of it is.
#pragma once

#include <cstdint>
#include <vector>

#include "read/filter.h"

/// Seconds of the windows whose loudness is kept, as near as whole frames make it.
constexpr double CAPTURE_WINDOW_SECONDS = 0.01;

struct SignalCapture {
    double Rate = 0;
    int Channels = 0;
    std::vector<Biquad> HighPass;
    bool High = false;            // the comparator's output now
    int64_t Quiet = 0;            // frames the signal has stayed near the middle
    std::vector<uint8_t> Levels;  // the comparator's output, a bit per frame, first frame first
    int64_t Frames = 0;
    std::vector<float> Loudness;  // the root mean square of each window, as compared
    int64_t Window = 1;           // frames in a window
    double WindowSum = 0;         // of the window being filled: its squares and frames
    int64_t WindowFrames = 0;
};

/// Starts keeping `channels` interleaved channels at `rate` frames per second (their mean).
void StartCapture(SignalCapture* capture, double rate, int channels);
/// Keeps `frames` frames of interleaved samples in -1..1.
void CaptureFrames(SignalCapture* capture, const float* samples, int64_t frames);
