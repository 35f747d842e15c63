// The signal as the machine's tape input has it: which side of a threshold each sample is on,
// with the DC kept.
//
// A lossy copy (MP3, Ogg) rings around the resting level in the pauses between pulses. Once a
// high-pass filter has removed the DC, that ringing sits at the middle of the signal and looks
// like weak pulses; a comparator on the signal as it came keeps the resting level far below its
// threshold and ignores it, as the machine does. The threshold lies halfway between the signal's
// recent highest and lowest levels, which follow its peaks at once and let go of them slowly, so
// that it suits any level, offset or polarity. The output is a clean two-level signal, as loud as
// the signal's swing, that the burst detector reads as it reads any other; and the same turned,
// where need be, to be high where the signal is away from its resting level (pulses).
//
// A signal whose pauses lie at the middle (not at one side, as the machine's do) leaves the
// comparator's state in them to chance: its pulse counts then stop agreeing with the lengths, and
// the view is not heard (see TapeBlock::CountsAgree).
#pragma once

#include "read/settings.h"

struct Comparator {
    double Top = 0, Bottom = 0;  // the recent highest and lowest levels
    double Attack = 0;           // part of the way to a level beyond them taken per sample
    double Release = 0;          // part of the gap between them let go per sample
    double Hysteresis = 0;       // part of the gap the signal must pass the middle by to switch
    bool High = false;
    bool Started = false;
    double Mean = 0;       // the signal's recent mean
    double Follow = 0;     // part of the way the mean moves per sample
    bool RestsLow = true;  // the resting level lies below the middle
    double Quiet = 0;      // the least swing since the tape's level last grew
    double Onset = 0;      // the swing grows this many times over where a tape begins
    double SideRatio = 0;  // the stays on the other side are this many times as long to turn
    double PauseStay = 0;  // samples in a pause between bits
    int64_t Stay = 0;      // samples the signal has stayed on its side of the middle
    bool StayAbove = false;
    double LongestAbove = 0, LongestBelow = 0;  // the longest recent stays above and below
    double Away = 0;  // part of the way from the resting level to the pulses' peak that is away
    double Rest = 0;  // the resting level: the recent mean of the samples on its side
    double Peak = 0;  // the pulses' typical peak
    bool PeakSeen = false;
    double PeakFollow = 0;  // part of the way the peak moves per pulse
    double PeakLeast = 0;   // part of the way from the middle to the extreme the peak lies beyond
    bool Beyond = false;    // past the middle on the pulses' side
    double Furthest = 0;    // the furthest level since
    bool Heard = false;     // and whether it was away
};

/// Prepares a comparator for a channel of `rate` samples per second.
void StartComparator(Comparator* comparator, double rate, const ReaderSettings& settings);
/// Compares `count` samples, taking every `stride`-th float of `samples`, into `out`: +-half the
/// swing, + above the middle; and into `away`: + away from the resting level.
void Compare(Comparator* comparator, const float* samples, int64_t count, int stride, float* out,
             float* away);
