#include "tape/signal.h"

#include <algorithm>
#include <cmath>
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
std::atomic<int32_t> wavReady{0};

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
    // Faulting in a fresh 46 MB buffer 4 KB at a time costs more than the signal: ask for 2 MB
    // pages.
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

// A bit's samples depend only on where it starts between two sample instants, as long as every
// time sum within it is rounded the same way. Between two powers of two (a binade) a double's
// spacing is fixed, and the clock is a whole number of spacings; adding a duration then adds a
// fixed whole number of spacings, unless the duration lies exactly halfway between two. So within
// a binade the run ends of a bit are fixed steps of where it starts, and a bit is one of at most
// twenty patterns of runs: these are worked out once for each binade the clock passes through.
constexpr int FIRST_BINADE = 0;    // clocks from 1 s
constexpr int LAST_BINADE = 11;    // to 4096 s, beyond the longest tape
constexpr int PATTERN_BYTES = 96;  // the longest bit, 89 samples, stored in one whole copy
constexpr int MAX_RUNS = 2 * 9 + 1;

struct BitPatterns {
    bool Ready = false;         // worked out
    bool Usable = false;        // no duration falls halfway between two spacings here
    int64_t PeriodUnits = 0;    // the sample period, in spacings
    int64_t Total[2] = {0, 0};  // spacings a 0 bit and a 1 bit add to the clock
    int Count[2] = {0, 0};      // patterns of each
    // Pattern j of a bit applies while the start's distance to the next sample instant, in
    // spacings, is below Below[j] (and not below Below[j - 1]).
    int64_t Below[2][MAX_RUNS + 1] = {};
    // The first pattern that can apply to a distance, by the distance's top bits.
    int BucketShift = 0;
    uint8_t FirstBelow[2][256] = {};
    int Length[2][MAX_RUNS + 1] = {};
    uint8_t Samples[2][MAX_RUNS + 1][PATTERN_BYTES] = {};
};

BitPatterns bitPatterns[LAST_BINADE - FIRST_BINADE + 1];

// Spacings a duration adds within the binade [2^binade, 2^(binade+1)); false if it lies halfway.
bool SpacingsIn(double duration, int binade, int64_t* spacings)
{
    const double units = std::ldexp(duration, 52 - binade);  // exact: a power of two
    if (units - std::floor(units) == 0.5) return false;
    *spacings = std::llround(units);
    return true;
}

const BitPatterns& PatternsFor(int binade)
{
    BitPatterns& p = bitPatterns[binade - FIRST_BINADE];
    if (p.Ready) return p;
    p.Ready = true;
    int64_t pause = 0;
    int64_t half = 0;
    if (!SpacingsIn(Signal.InterbitDelay, binade, &pause) ||
        !SpacingsIn(Signal.HalfPulsDuration, binade, &half)) {
        return p;
    }
    p.PeriodUnits = std::llround(std::ldexp(SAMPLE_PERIOD, 52 - binade));  // a whole number
    for (int one = 0; one < 2; ++one) {
        const int runs = 2 * (one ? Signal.PulsesOne : Signal.PulsesZero) + 1;
        // The clock after each run, from the bit's start, and where a run's end steps.
        int64_t after[MAX_RUNS];
        int64_t steps[MAX_RUNS + 1];
        for (int k = 0; k < runs; ++k) {
            after[k] = (k == 0 ? 0 : after[k - 1]) + (k == 0 ? pause : half);
            steps[k] = after[k] % p.PeriodUnits;
        }
        p.Total[one] = after[runs - 1];
        steps[runs] = p.PeriodUnits;
        std::sort(steps, steps + runs + 1);
        const int64_t* last = std::unique(steps, steps + runs + 1);
        // The start lies `distance` spacings before a sample instant; run k then ends
        // after[k] / period samples on, or one more while the distance is below after[k] % period.
        int64_t from = 0;
        for (const int64_t* below = steps; below != last; ++below) {
            if (*below == from) continue;
            const int j = p.Count[one]++;
            p.Below[one][j] = *below;
            int64_t end = 0;
            uint8_t* samples = p.Samples[one][j];
            for (int k = 0; k < runs; ++k) {
                const int64_t next =
                    after[k] / p.PeriodUnits + (from < after[k] % p.PeriodUnits ? 1 : 0);
                const uint8_t level = k == 0 ? middleLevel : k % 2 == 1 ? pulseLevel : pauseLevel;
                for (int64_t i = end; i < next; ++i) samples[i] = level;
                end = next;
            }
            p.Length[one][j] = static_cast<int>(end);
            from = *below;
        }
    }
    while (((p.PeriodUnits - 1) >> p.BucketShift) >= 256) ++p.BucketShift;
    for (int one = 0; one < 2; ++one) {
        for (int bucket = 0; bucket < 256; ++bucket) {
            int j = 0;
            while (j + 1 < p.Count[one] && (int64_t{bucket} << p.BucketShift) >= p.Below[one][j])
                ++j;
            p.FirstBelow[one][bucket] = static_cast<uint8_t>(j);
        }
    }
    p.Usable = true;
    return p;
}

// Appends the bits of `byte`, most significant first, by their patterns, for as long as that
// can be done exactly, and returns how many it appended (the rest go the general way). Patterns
// need a signal under way, a clock within the binades worked out that does not leave its binade,
// a counter that is the first sample at or after the clock, and room for a whole copy.
int AppendBitsByPattern(uint8_t byte)
{
    int64_t counter = wavCounter;
    const double time = wavWriteTime;
    if (counter == 0) return 0;
    if (!(time >= std::ldexp(1.0, FIRST_BINADE) && time < std::ldexp(1.0, LAST_BINADE + 1)))
        return 0;
    const double instant = static_cast<double>(counter) * SAMPLE_PERIOD;
    if (!(time <= instant && instant - SAMPLE_PERIOD < time)) return 0;
    const int binade = std::ilogb(time);
    const BitPatterns& p = PatternsFor(binade);
    if (!p.Usable) return 0;
    int64_t clock = static_cast<int64_t>(std::ldexp(time, 52 - binade));  // exact
    // How far the clock lies before the next sample instant, in spacings: below one period.
    int64_t distance = counter * p.PeriodUnits - clock;
    uint8_t* const samples = wavFile.get();
    const int64_t room = static_cast<int64_t>(wavFileSize) - PATTERN_BYTES;
    int done = 0;
    for (; done < 8; ++done) {
        const int one = (byte >> (7 - done)) & 1;
        if (counter > room || clock + p.Total[one] >= (int64_t{1} << 53)) break;
        int j = p.FirstBelow[one][distance >> p.BucketShift];
        while (distance >= p.Below[one][j]) ++j;
        std::memcpy(samples + counter, p.Samples[one][j], PATTERN_BYTES);
        counter += p.Length[one][j];
        clock += p.Total[one];
        distance += p.Length[one][j] * p.PeriodUnits - p.Total[one];
    }
    wavCounter = static_cast<int32_t>(counter);
    wavWriteTime = std::ldexp(static_cast<double>(clock), binade - 52);
    return done;
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

void PublishSamples()
{
    // Runs are filled a chunk at a time past their end, but never below wavCounter.
    wavReady.store(wavCounter, std::memory_order_release);
}

void OutputLevel(uint8_t level, double duration) { AppendRuns(level, duration, 0); }

void OutputBit(uint8_t is_one)
{
    AppendRuns(middleLevel, Signal.InterbitDelay,
               is_one != 0 ? Signal.PulsesOne : Signal.PulsesZero);
}

void OutputByte(uint8_t the_byte)
{
    const int done = AppendBitsByPattern(the_byte);
    for (unsigned mask = 0x80u >> done; mask != 0; mask >>= 1) {
        OutputBit(static_cast<uint8_t>(the_byte & mask));
    }
}

double BitsSeconds(uint8_t the_byte, int bits)
{
    double seconds = 0;
    for (int k = 0; k < bits; ++k) {
        const bool one = (the_byte << k & 0x80) != 0;
        seconds += Signal.InterbitDelay +
                   2 * Signal.HalfPulsDuration * (one ? Signal.PulsesOne : Signal.PulsesZero);
    }
    return seconds;
}
