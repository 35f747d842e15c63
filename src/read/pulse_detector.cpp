#include "read/pulse_detector.h"

#include <algorithm>
#include <cmath>

#include "zx/machine.h"
#include "zx/tape.h"

namespace {

constexpr double PI = 3.14159265358979323846;

constexpr double HALF_PULSE = HALF_PULSE_SECONDS;
constexpr double PULSE_FREQUENCY = 1.0 / (2 * HALF_PULSE);

// Below the pulse frequency everything is removed: DC offsets and mains hum.
constexpr double HIGH_PASS_HZ = 700.0;

// A burst shorter than this is noise; a dip shorter than this inside a burst is no pause.
constexpr double SHORTEST_BURST = 0.35e-3;
constexpr double SHORTEST_PAUSE = 0.23;  // of a typical pause
// Pieces of a burst broken by noise: shorter than this part of a 0 burst, and apart by less than
// this part of a pause.
constexpr double FRAGMENT = 0.5;
constexpr double JOINING_PAUSE = 0.45;
// A silence this long ends a block; a program has none inside it.
constexpr double BLOCK_GAP = 20e-3;
// After this long without a burst, the level of the next signal is not known.
constexpr double LEVEL_MEMORY = 0.3;
// A block's first bits must follow each other at the tape's pace, or they were noise.
constexpr int SETTLED_BITS = 8;

// Entry and exit levels between the noise floor and the bursts' level.
constexpr double ENTER = 0.55;
constexpr double LEAVE = 0.45;
// While the bursts' level is unknown: how far above the noise a burst must rise, at least.
constexpr double FIRST_BURST_RATIO = 3.0;
// Levels below this (about -80 dB of full scale) are silence, however quiet the noise.
constexpr double LEAST_LEVEL = 1e-4;

// How quickly the tracked levels and lengths follow the recording.
constexpr double FLOOR_SECONDS = 5e-3;
constexpr double PEAK_WEIGHT = 0.25;
constexpr double LENGTH_WEIGHT = 0.15;

constexpr int RISES_KEPT = 32;
// The longest program a block can hold: the largest image after the longest name read.
constexpr size_t LONGEST_BLOCK = LONGEST_IMAGE + 64;
constexpr double HISTORY_SECONDS = 20e-3;
// The strength is measured over this many pulse periods: more smooths noise, fewer keeps edges
// sharp.
constexpr double WINDOW_PERIODS = 2.0;

void EndBlock(PulseDetector* d)
{
    if (!d->Block.Bytes.empty()) d->Finished.push_back(std::move(d->Block));
    d->Block = TapeBlock{};
    d->BlockBits = 0;
    d->ByteValue = 0;
    d->ByteBits = 0;
    d->ByteMargin = 1.0f;
    d->LastBitEnd = -1.0;
}

// Pulses that rose between the two instants, in seconds.
int RisesBetween(const PulseDetector* d, double from, double to)
{
    int count = 0;
    for (const double rise : d->Rises) count += rise >= from && rise <= to;
    return count;
}

// Adds a bit to the byte under way, and a finished byte to the block.
void AppendBit(PulseDetector* d, bool one, double margin, double end)
{
    d->ByteValue = (d->ByteValue << 1) | (one ? 1u : 0u);
    d->ByteMargin = std::min(d->ByteMargin, static_cast<float>(margin));
    if (++d->ByteBits == 8) {
        d->Block.Bytes.push_back(static_cast<uint8_t>(d->ByteValue));
        d->Block.ByteMargins.push_back(d->ByteMargin);
        d->Block.ByteEnds.push_back(end);
        d->ByteValue = 0;
        d->ByteBits = 0;
        d->ByteMargin = 1.0f;
        // No program is longer: a block never outgrows one, however long the signal goes on.
        if (d->Block.Bytes.size() >= LONGEST_BLOCK) EndBlock(d);
    }
}

// A burst from `start` to `end` (seconds, as the strength showed it) is a bit.
void TakeBurst(PulseDetector* d, double start, double end, bool louder)
{
    // The strength rises and falls over one window: the burst itself began half a window earlier.
    const double shift = 0.5 * d->Window / d->Rate;
    const int pulses =
        RisesBetween(d, start - shift - 0.4 * HALF_PULSE, end - shift + 0.4 * HALF_PULSE);

    const double boundary = std::sqrt(d->ZeroLength * d->OneLength);
    const double gap = d->LastBitEnd < 0 ? 0.0 : start - d->LastBitEnd;
    // A burst whose start was worn away (by noise or a dropout) follows a pause longer than
    // pauses are: when its own length is unclear, the excess counts as part of it.
    double length = end - start;
    const double excess = gap - d->PauseLength;
    if (d->BlockBits >= SETTLED_BITS && excess > 0.3e-3 &&
        excess < d->PauseLength + 0.5 * d->ZeroLength &&
        BitMargin(length, d->ZeroLength, d->OneLength) < 0.5) {
        length += excess;
    }
    bool one = length >= boundary;
    double margin = BitMargin(length, d->ZeroLength, d->OneLength);
    // A length near the boundary is settled by the pulses, where they are clear.
    const bool pulses_say_zero = pulses >= 3 && pulses <= 5;
    const bool pulses_say_one = pulses >= 8 && pulses <= 11;
    if (margin < 0.35 && (pulses_say_zero || pulses_say_one)) {
        one = pulses_say_one;
        margin = std::min(margin, 0.35);
    } else if ((one && pulses_say_zero) || (!one && pulses_say_one)) {
        margin = std::min(margin, 0.2);
    }

    // The first bits of a block must keep the tape's pace, and a much louder burst starts a new
    // signal: bits before were noise.
    if (d->LastBitEnd >= 0 && d->BlockBits < SETTLED_BITS &&
        (louder || gap < 0.4 * d->PauseLength || gap > 2.5 * d->PauseLength)) {
        EndBlock(d);
    }
    if (d->LastBitEnd >= 0 && gap > BLOCK_GAP) EndBlock(d);

    // A burst lost entirely, to noise or a dropout, leaves a gap of two pauses around the place it
    // had: its bit is put back, as long as that place, with no margin.
    const double missing = gap - 2.0 * d->PauseLength;
    if (d->BlockBits >= SETTLED_BITS && missing > 0.5 * d->ZeroLength &&
        missing < 1.3 * d->OneLength) {
        AppendBit(d, missing >= boundary, 0.0, start - d->PauseLength - shift);
        ++d->BlockBits;
    }

    if (d->BlockBits == 0) d->Block.Start = start - shift;
    if (d->BlockBits >= SETTLED_BITS && gap < 2.5 * d->PauseLength) {
        d->PauseLength += LENGTH_WEIGHT * (gap - d->PauseLength);
    }
    d->LastBitEnd = end;
    ++d->BlockBits;

    // Follow the tape's speed and level.
    double& typical = one ? d->OneLength : d->ZeroLength;
    if (d->BlockBits >= SETTLED_BITS && margin > 0.2 && length > 0.5 * d->ZeroLength &&
        length < 2.0 * d->OneLength) {
        typical += LENGTH_WEIGHT * (length - typical);
    }

    AppendBit(d, one, margin, end - shift);
}

void FlushPending(PulseDetector* d)
{
    if (!d->Pending) return;
    d->Pending = false;
    if (d->PendingEnd - d->PendingStart >= SHORTEST_BURST) {
        TakeBurst(d, d->PendingStart, d->PendingEnd, d->PendingLouder);
    }
}

// A burst has ended. It joins the one before when the dip between them is too short for a
// pause, or when both are more than noise, the dip is well short of a pause and together they
// make no more than a 1: noise can break a burst in two. Otherwise the one before is a bit, and
// this one waits its turn.
void BurstEnded(PulseDetector* d, double start, double end, double loudest, bool louder)
{
    if (d->Pending) {
        const double gap = start - d->PendingEnd;
        const double fragment = FRAGMENT * d->ZeroLength;
        const bool pieces = end - start >= fragment &&
                            d->PendingEnd - d->PendingStart >= fragment &&
                            end - d->PendingStart <= 1.2 * d->OneLength;
        // A much louder burst is a new signal, not the rest of a faint one.
        const bool apart = loudest > 2.0 * d->PendingMax;
        if (!apart && (gap < SHORTEST_PAUSE * d->PauseLength ||
                       (pieces && gap < JOINING_PAUSE * d->PauseLength))) {
            d->PendingEnd = end;
            d->PendingMax = std::max(d->PendingMax, loudest);
            d->PendingLouder = d->PendingLouder || louder;
            return;
        }
        FlushPending(d);
    }
    d->Pending = true;
    d->PendingStart = start;
    d->PendingEnd = end;
    d->PendingMax = loudest;
    d->PendingLouder = louder;
}

// The instant, in seconds, at which the strength crossed `level` between the previous sample
// and this one.
double Crossing(const PulseDetector* d, double previous, double current, double level)
{
    const double fraction = current != previous ? (level - previous) / (current - previous) : 1.0;
    return (static_cast<double>(d->Sample) - 1.0 + std::clamp(fraction, 0.0, 1.0)) / d->Rate;
}

// A burst entered while the level was unknown was entered low on its rising edge, perhaps even
// on the faint ringing ahead of it: now that its level is known, its start is where the strength
// first crossed the entry level for that level.
void PlaceUnknownStart(PulseDetector* d)
{
    const auto size = static_cast<int64_t>(d->History.size());
    if (d->Sample - d->EntrySample >= size - 1) return;  // too long ago to look back on
    const double level = d->Floor + ENTER * (d->BurstMax - d->Floor);
    double before = d->History[static_cast<size_t>((d->EntrySample - 1) % size)];
    for (int64_t n = d->EntrySample; n <= d->Sample; ++n) {
        const double now = d->History[static_cast<size_t>(n % size)];
        if (now >= level) {
            const double fraction = now != before ? (level - before) / (now - before) : 1.0;
            d->BurstStart =
                (static_cast<double>(n) - 1.0 + std::clamp(fraction, 0.0, 1.0)) / d->Rate;
            return;
        }
        before = now;
    }
}

}  // namespace

double BitMargin(double length, double zero_length, double one_length)
{
    const double boundary = std::sqrt(zero_length * one_length);
    const double margin = length >= boundary
                              ? std::log(length / boundary) / std::log(one_length / boundary)
                              : std::log(boundary / length) / std::log(boundary / zero_length);
    return std::min(margin, 1.0);
}

void StartDetector(PulseDetector* d, double rate)
{
    *d = PulseDetector{};
    d->Rate = rate;

    // Second-order Butterworth high-pass.
    const double w = std::tan(PI * HIGH_PASS_HZ / rate);
    const double q = std::sqrt(2.0);
    const double norm = 1.0 / (1.0 + q * w + w * w);
    d->B0 = norm;
    d->B1 = -2.0 * norm;
    d->B2 = norm;
    d->A1 = 2.0 * (w * w - 1.0) * norm;
    d->A2 = (1.0 - q * w + w * w) * norm;

    d->Window = std::max(1, static_cast<int>(std::lround(WINDOW_PERIODS * rate / PULSE_FREQUENCY)));
    d->RingI.assign(static_cast<size_t>(d->Window), 0.0);
    d->RingQ.assign(static_cast<size_t>(d->Window), 0.0);
    d->StepRe = std::cos(2 * PI * PULSE_FREQUENCY / rate);
    d->StepIm = std::sin(2 * PI * PULSE_FREQUENCY / rate);
    d->Rises.assign(RISES_KEPT, -1.0);
    d->History.assign(static_cast<size_t>(HISTORY_SECONDS * rate) + 2, 0.0);

    d->ZeroLength = ZERO_BURST_SECONDS;
    d->OneLength = ONE_BURST_SECONDS;
    d->PauseLength = BIT_PAUSE_SECONDS;
}

void FeedDetector(PulseDetector* d, const float* samples, int64_t count, int stride)
{
    const double floor_weight = 1.0 / (FLOOR_SECONDS * d->Rate);
    const double scale = 2.0 / d->Window;
    const auto level_memory = static_cast<int64_t>(LEVEL_MEMORY * d->Rate);
    for (int64_t n = 0; n < count; ++n) {
        const double x = samples[n * stride];
        const double y = d->B0 * x + d->B1 * d->X1 + d->B2 * d->X2 - d->A1 * d->Y1 - d->A2 * d->Y2;
        d->X2 = d->X1;
        d->X1 = x;
        d->Y2 = d->Y1;
        d->Y1 = y;

        // Strength of the pulse frequency over the last window.
        const double i = y * d->PhasorRe;
        const double q = y * d->PhasorIm;
        d->SumI += i - d->RingI[static_cast<size_t>(d->RingAt)];
        d->SumQ += q - d->RingQ[static_cast<size_t>(d->RingAt)];
        d->RingI[static_cast<size_t>(d->RingAt)] = i;
        d->RingQ[static_cast<size_t>(d->RingAt)] = q;
        if (++d->RingAt == d->Window) d->RingAt = 0;
        const double re = d->PhasorRe * d->StepRe - d->PhasorIm * d->StepIm;
        d->PhasorIm = d->PhasorRe * d->StepIm + d->PhasorIm * d->StepRe;
        d->PhasorRe = re;
        if ((d->Sample & 1023) == 0) {  // keep the phasor on the unit circle
            const double length = std::hypot(d->PhasorRe, d->PhasorIm);
            d->PhasorRe /= length;
            d->PhasorIm /= length;
        }
        const double previous = d->Envelope;
        const double envelope = std::sqrt(d->SumI * d->SumI + d->SumQ * d->SumQ) * scale;
        d->Envelope = envelope;
        ++d->Sample;
        d->History[static_cast<size_t>(d->Sample % static_cast<int64_t>(d->History.size()))] =
            envelope;

        if (d->LastBurstSample >= 0 && d->Sample - d->LastBurstSample > level_memory) {
            d->Peak = 0;  // a new signal may come at another level
            d->LastBurstSample = -1;
        }
        const bool known = d->Peak > 0;
        const double span = std::max(0.0, d->Peak - d->Floor);
        const double enter =
            std::max(LEAST_LEVEL, known ? std::max(d->Floor + ENTER * span, 1.5 * d->Floor)
                                        : FIRST_BURST_RATIO * d->Floor);
        // Inside a burst louder than those before (the first after a silence, say), its own
        // loudest moment stands for the level.
        const double top = std::max(d->Peak, d->InBurst ? 0.7 * d->BurstMax : 0.0);
        const double leave =
            std::max(LEAST_LEVEL * 0.8, d->Floor + LEAVE * std::max(0.0, top - d->Floor));

        // Pulses: rises of the filtered signal through a band around zero.
        const double band = 0.3 * (known ? d->Peak : enter);
        if (d->High ? y < -band : y > band) {
            d->High = !d->High;
            if (d->High) {
                d->Rises[static_cast<size_t>(d->RiseAt)] = static_cast<double>(d->Sample) / d->Rate;
                d->RiseAt = (d->RiseAt + 1) % RISES_KEPT;
            }
        }

        if (!d->InBurst) {
            if (envelope > enter) {
                d->InBurst = true;
                d->BurstStart = Crossing(d, previous, envelope, enter);
                d->BurstMax = envelope;
                d->LevelAtEntry = d->Peak;
                d->EntrySample = d->Sample;
                // Too far from the burst before to join it: that one is a bit of its own.
                if (d->Pending && d->BurstStart - d->PendingEnd >= JOINING_PAUSE * d->PauseLength) {
                    FlushPending(d);
                }
            } else {
                if (envelope < leave || !known) d->Floor += floor_weight * (envelope - d->Floor);
                if (d->Pending && static_cast<double>(d->Sample) / d->Rate - d->PendingEnd >=
                                      JOINING_PAUSE * d->PauseLength) {
                    FlushPending(d);
                }
                if (d->LastBitEnd >= 0 &&
                    static_cast<double>(d->Sample) / d->Rate - d->LastBitEnd > BLOCK_GAP) {
                    EndBlock(d);
                }
            }
        } else {
            d->BurstMax = std::max(d->BurstMax, envelope);
            if (envelope < leave) {
                d->InBurst = false;
                // Much louder than the level it was entered at: a new signal, entered low on
                // its rising edge or even on faint ringing ahead of it.
                if (d->BurstMax > 2.0 * d->LevelAtEntry) PlaceUnknownStart(d);
                const double end = Crossing(d, previous, envelope, leave);
                BurstEnded(d, d->BurstStart, end, d->BurstMax, d->BurstMax > 2.0 * d->LevelAtEntry);
                d->LastBurstSample = d->Sample;
                // A burst much louder than the level sets it at once; others move it a little.
                if (d->BurstMax > 2.0 * d->Peak) {
                    d->Peak = d->BurstMax;
                } else if (end - d->BurstStart >= SHORTEST_BURST) {
                    d->Peak += PEAK_WEIGHT * (d->BurstMax - d->Peak);
                }
            }
        }
    }
}

void FinishDetector(PulseDetector* d)
{
    if (d->InBurst) {
        d->InBurst = false;
        BurstEnded(d, d->BurstStart, static_cast<double>(d->Sample) / d->Rate, d->BurstMax, false);
    }
    FlushPending(d);
    EndBlock(d);
}
