#include "read/capture.h"

#include <algorithm>
#include <cmath>

namespace {

// The comparator changes side only beyond this distance from the middle: about -54 dB, above
// the hiss of a quiet recording, far below a tape's pulses.
constexpr double HYSTERESIS = 0.002;
// Hum and DC are removed below this: a fast loader's or a voice's sound is kept whole.
constexpr double HIGH_PASS_HZ = 100;

}  // namespace

void StartCapture(SignalCapture* capture, double rate, int channels)
{
    *capture = SignalCapture{};
    capture->Rate = rate;
    capture->Channels = channels;
    capture->HighPass = ButterworthSections(rate, HIGH_PASS_HZ, 2, true);
    capture->Window = std::max<int64_t>(1, std::lround(rate * CAPTURE_WINDOW_SECONDS));
}

void CaptureFrames(SignalCapture* capture, const float* samples, int64_t frames)
{
    const int64_t window = capture->Window;
    const int channels = capture->Channels;
    for (int64_t n = 0; n < frames; ++n) {
        double x = 0;
        for (int c = 0; c < channels; ++c) x += samples[n * channels + c];
        const double y = RunSections(&capture->HighPass, x / channels);
        if (y > HYSTERESIS) capture->High = true;
        if (y < -HYSTERESIS) capture->High = false;
        // Silence rests low, as a tape's pauses do, so that the next pulse rises from it.
        capture->Quiet = std::fabs(y) > HYSTERESIS ? 0 : capture->Quiet + 1;
        if (static_cast<double>(capture->Quiet) * 1000 > capture->Rate) capture->High = false;
        const int64_t frame = capture->Frames++;
        if (frame % 8 == 0) capture->Levels.push_back(0);
        if (capture->High) capture->Levels.back() |= static_cast<uint8_t>(0x80 >> frame % 8);
        capture->WindowSum += y * y;
        if (++capture->WindowFrames == window) {
            capture->Loudness.push_back(
                static_cast<float>(std::sqrt(capture->WindowSum / static_cast<double>(window))));
            capture->WindowSum = 0;
            capture->WindowFrames = 0;
        }
    }
}
