#include "tape/signal.h"

#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

static_assert(SAMPLE_PERIOD == 6233059.0 / 137438953472.0,
              "the sample period is 1/22050 rounded to single precision");

std::unique_ptr<uint8_t[], FreeSamples> wavFile;
int32_t wavFileSize = 0;
int32_t wavCounter = 0;
double wavWriteTime = 0.0;
bool wavOverflow = false;

namespace {

// The sample instants n x SAMPLE_PERIOD are multiples of 2^-37 s. Below 2^53 such steps, that is
// for every n below MAX_EXACT_SAMPLES, each one is exact in double, and so is the sum or the
// difference of two of them: instants can be stepped by adding periods instead of multiplying.
constexpr int64_t MAX_EXACT_SAMPLES = int64_t{1} << 30;

// Samples per second as the reciprocal of the rounded period, for estimates only.
constexpr double SAMPLES_PER_SECOND = 1.0 / SAMPLE_PERIOD;

// A head start for finding a run's end: the whole sample periods in `duration` (the run's length
// give or take one sample), and their span in seconds, exact. Durations that are not positive,
// or too long to count in periods, get none.
struct WholePeriods {
    int64_t Samples;
    double Seconds;
};

WholePeriods WholePeriodsIn(double duration)
{
    const double periods = duration * SAMPLES_PER_SECOND;
    if (!(periods > 0.0 && periods < static_cast<double>(MAX_EXACT_SAMPLES))) return {0, 0.0};
    const auto samples = static_cast<int64_t>(periods);
    return {samples, static_cast<double>(samples) * SAMPLE_PERIOD};
}

// Stores `level` at the indices [from, to) of a buffer of `capacity` samples. Runs are short
// (3 to 29 samples within a bit), so they are written 16 samples at a time, spilling past `to`
// into the part of the buffer that no run has reached yet, where the next runs overwrite it.
void FillRun(uint8_t* samples, int64_t from, int64_t to, int64_t capacity, uint8_t level)
{
    constexpr int64_t CHUNK = 16;
    if (to + CHUNK <= capacity) {
        uint8_t chunk[CHUNK];
        std::memset(chunk, level, sizeof chunk);
        for (int64_t i = from; i < to; i += CHUNK) std::memcpy(samples + i, chunk, sizeof chunk);
    } else {
        std::memset(samples + from, level, static_cast<size_t>(to - from));
    }
}

// Appends a run at `lead_level` for `lead_duration`, then `pulses` pulses of a high and a low
// half each: with no pulses a single run, with some a whole bit. Every run of the signal is made
// here. The counter and the clock are kept in locals while the runs are written, since stores
// into the byte buffer could otherwise alias the module variables and force them through
// memory after every run.
void AppendRuns(uint8_t lead_level, double lead_duration, int pulses)
{
    uint8_t* const samples = wavFile.get();
    const int64_t capacity = wavFileSize;
    int64_t counter = wavCounter;
    double time = wavWriteTime;
    bool overflow = wavOverflow;
    double instant = static_cast<double>(counter) * SAMPLE_PERIOD;  // of sample `counter`

    // A run ends at the first sample whose instant is not before the time requested so far: the
    // smallest end >= counter with end x SAMPLE_PERIOD >= time. Start from the whole periods of
    // the duration, then settle the end with that exact comparison.
    auto append_run = [&](uint8_t level, double duration, WholePeriods head_start) {
        // A new signal starts its clock at 0.
        time = (counter == 0 ? 0.0 : time) + duration;
        int64_t end = counter;
        double end_instant = instant;
        if (head_start.Samples <= capacity - counter) {
            end += head_start.Samples;
            end_instant += head_start.Seconds;
        }
        // Up to one sample more than the buffer holds, which tells that the run does not fit.
        while (end <= capacity && end_instant < time) {
            ++end;
            end_instant += SAMPLE_PERIOD;
        }
        while (end > counter && end_instant - SAMPLE_PERIOD >= time) {
            --end;
            end_instant -= SAMPLE_PERIOD;
        }
        if (end > capacity) {
            end = capacity;
            end_instant -= SAMPLE_PERIOD;
            overflow = true;
        }
        if (end > counter) {
            FillRun(samples, counter, end, capacity, level);
            counter = end;
            instant = end_instant;
        }
    };

    append_run(lead_level, lead_duration, WholePeriodsIn(lead_duration));
    const WholePeriods half_pulse = WholePeriodsIn(Signal.HalfPulsDuration);
    for (int i = 0; i < pulses; ++i) {
        append_run(pulseLevel, Signal.HalfPulsDuration, half_pulse);
        append_run(pauseLevel, Signal.HalfPulsDuration, half_pulse);
    }

    wavCounter = static_cast<int32_t>(counter);
    wavWriteTime = time;
    wavOverflow = overflow;
}

// Memory for `size` samples, released with std::free.
uint8_t* AllocateSamples(size_t size)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Faulting in a fresh 46 MB buffer 4 KB at a time costs more than the signal: ask for 2 MB pages.
    constexpr size_t HUGE_PAGE = size_t{2} << 20;
    if (size >= HUGE_PAGE) {
        void* memory = nullptr;
        if (posix_memalign(&memory, HUGE_PAGE, size) == 0) {
            // Only advice: ordinary pages if refused. The tail short of 2 MB stays on ordinary
            // pages, so that no more memory is touched than the signal needs.
            madvise(memory, size / HUGE_PAGE * HUGE_PAGE, MADV_HUGEPAGE);
            return static_cast<uint8_t*>(memory);
        }
    }
#endif
    return static_cast<uint8_t*>(std::malloc(size > 0 ? size : 1));
}

}  // namespace

void FreeSamples::operator()(uint8_t* samples) const { std::free(samples); }

bool AllocateSampleBuffer(int32_t size)
{
    ReleaseSampleBuffer();
    // Above MAX_EXACT_SAMPLES (13 hours of signal) sample instants would not be exact.
    if (size < 0 || size > MAX_EXACT_SAMPLES) return false;
    // Not value-initialised: every sample is written before it is read.
    wavFile.reset(AllocateSamples(static_cast<size_t>(size)));
    if (!wavFile) return false;
    wavFileSize = size;
    wavCounter = 0;
    wavOverflow = false;
    return true;
}

void ReleaseSampleBuffer()
{
    wavFile.reset();
    wavFileSize = 0;
}

void OutputLevel(uint8_t level, double duration)
{
    AppendRuns(level, duration, 0);
}

void OutputBit(uint8_t is_one)
{
    AppendRuns(middleLevel, Signal.InterbitDelay, is_one != 0 ? Signal.PulsesOne : Signal.PulsesZero);
}

void OutputByte(uint8_t the_byte)
{
    for (unsigned mask = 0x80; mask != 0; mask >>= 1) {
        OutputBit(static_cast<uint8_t>(the_byte & mask));
    }
}
