#include "read/comparator.h"

#include <algorithm>

#include "zx/tape.h"

void StartComparator(Comparator* c, double rate, const ReaderSettings& settings)
{
    *c = Comparator{};
    c->Attack = settings.ComparatorAttack;
    c->Release = 1.0 / (settings.ComparatorReleaseSeconds * rate);
    c->Hysteresis = settings.ComparatorHysteresis;
    c->Follow = 1.0 / (settings.ComparatorRestingSeconds * rate);
    c->Away = settings.ComparatorAway;
    c->PeakFollow = settings.ComparatorPeakFollow;
    c->PeakLeast = settings.ComparatorPeakLeast;
    c->Onset = settings.ComparatorOnset;
    c->SideRatio = settings.ComparatorSideRatio;
    c->PauseStay = BIT_PAUSE_SECONDS * rate;
}

namespace {

// The resting side. Pulses are narrow, so where a tape begins (its swing grows many times over)
// the mean lies on the resting side of the middle. Within a tape the mean is no guide: a lossy
// copy's ringing in the pauses may reach further than the pulses, and a deck's high-pass may
// leave the pauses beyond the level between pulses, so the mean and the middle change places.
// There the side is the one the signal stays on longest (the pauses), and it turns only where
// the other side's stays are clearly longer.
void FollowRestingSide(Comparator* c, double x, double middle)
{
    const bool above = x > middle;
    if (above != c->StayAbove) {
        c->StayAbove = above;
        c->Stay = 0;
    }
    ++c->Stay;
    c->LongestAbove -= c->Follow * c->LongestAbove;
    c->LongestBelow -= c->Follow * c->LongestBelow;
    const auto stay = static_cast<double>(c->Stay);
    if (above) {
        c->LongestAbove = std::max(c->LongestAbove, stay);
    } else {
        c->LongestBelow = std::max(c->LongestBelow, stay);
    }

    const double swing = c->Top - c->Bottom;
    c->Quiet = std::min(c->Quiet, swing);
    if (swing > c->Onset * c->Quiet) {
        c->Quiet = swing;
        c->RestsLow = c->Mean < middle;
        // As if a pause had just been seen on it and nothing else: the first pulses cannot turn
        // it, nor can the long stays of the silence before.
        c->LongestBelow = c->RestsLow ? c->PauseStay : 0;
        c->LongestAbove = c->RestsLow ? 0 : c->PauseStay;
        return;
    }
    const double resting = c->RestsLow ? c->LongestBelow : c->LongestAbove;
    const double other = c->RestsLow ? c->LongestAbove : c->LongestBelow;
    if (other > c->SideRatio * resting) c->RestsLow = !c->RestsLow;
}

}  // namespace

void Compare(Comparator* comparator, const float* samples, int64_t count, int stride, float* out,
             float* away)
{
    // Worked on in a copy of its own, which the compiler keeps in registers: the samples written
    // out cannot then be taken to change it.
    Comparator state = *comparator;
    Comparator* c = &state;
    for (int64_t n = 0; n < count; ++n) {
        const double x = samples[n * stride];
        const double gap = c->Top - c->Bottom;
        // A level beyond the last moves it part of the way: one sample's overshoot (a lossy
        // copy's ringing at an edge) does not carry the middle with it.
        c->Top = x > c->Top ? c->Top + c->Attack * (x - c->Top) : c->Top - c->Release * gap;
        c->Bottom =
            x < c->Bottom ? c->Bottom + c->Attack * (x - c->Bottom) : c->Bottom + c->Release * gap;
        const double middle = 0.5 * (c->Top + c->Bottom);
        const double band = c->Hysteresis * (c->Top - c->Bottom);
        if (c->High ? x < middle - band : x > middle + band) c->High = !c->High;
        // As loud as the signal's swing, so that noise between blocks stays as faint as it was.
        const double half = 0.5 * (c->Top - c->Bottom);
        out[n] = static_cast<float>(c->High ? half : -half);
        c->Mean = c->Started ? c->Mean + c->Follow * (x - c->Mean) : x;
        if (!c->Started) c->Rest = x;
        c->Started = true;
        FollowRestingSide(c, x, middle);
        const bool rests_low = c->RestsLow;
        // Away from the resting level is as the machine has it: a fixed part of the way to the
        // pulses' peak. Both levels are typical ones, not extremes: a lossy copy's ringing
        // overshoots every edge, and extremes it carried would put the threshold above the weaker
        // pulses of a burst that the machine still hears.
        const bool beyond = rests_low ? x > middle : x < middle;
        if (beyond) {
            c->Furthest = !c->Beyond  ? x
                          : rests_low ? std::max(c->Furthest, x)
                                      : std::min(c->Furthest, x);
        } else {
            // Only an excursion heard as a pulse moves the peak: the faint ones of noise and
            // ringing would pull it, and the threshold with it, down to their own level.
            if (c->Beyond && c->Heard) {
                c->Peak =
                    c->PeakSeen ? c->Peak + c->PeakFollow * (c->Furthest - c->Peak) : c->Furthest;
                c->PeakSeen = true;
            }
            c->Rest += c->Follow * (x - c->Rest);
        }
        // The peak stays in the outer part of the way from the middle to the extreme: the
        // extremes follow a louder signal at once (a tape after silence, where they shrank to the
        // noise) and a quieter one within their release, and the peak with them.
        const double extreme = rests_low ? c->Top : c->Bottom;
        const double least = middle + c->PeakLeast * (extreme - middle);
        const double peak = !c->PeakSeen ? extreme
                            : rests_low  ? std::clamp(c->Peak, least, extreme)
                                         : std::clamp(c->Peak, extreme, least);
        const double level = c->Rest + c->Away * (peak - c->Rest);
        const bool away_now = rests_low ? x > level : x < level;
        c->Heard = (beyond && c->Beyond && c->Heard) || away_now;
        c->Beyond = beyond;
        away[n] = static_cast<float>(away_now ? half : -half);
    }
    *comparator = state;
}
