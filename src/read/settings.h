// Every tuning value of the reader, in one place, with its default and how it was chosen.
//
// The detector and the framer take them at start; nothing else reads them. The defaults were
// chosen on the damage benchmark's tuning set (bench/read_damage.py) and checked on its held-out
// set. A benchmark or a diagnosis may change any of them by name (SetReaderSetting, and
// zx8xread's --setting) without editing code.
#pragma once

#include <string>
#include <vector>

#include "zx/tape.h"

struct ReaderSettings {
    // --- the burst detector ---------------------------------------------------------------------
    // The high-pass filter in front of the detector removes DC, hum, and the low tones that a
    // pulse train sampled at a low rate carries besides its own frequency (which dominate once a
    // tape's treble is lost): its corner, in Hz, and its (even) order.
    double HighPassHz = 1800.0;
    int HighPassOrder = 4;
    // The strength is measured over this many seconds (two pulse periods): more smooths noise,
    // fewer keeps edges sharp. A burst shorter than that never shows its full strength.
    double StrengthWindowSeconds = 2 * 2 * HALF_PULSE_SECONDS;
    // A burst begins where the strength rises this many times above the noise; within a run of
    // bursts (this long after the last loud one), where a burst is expected, it need rise less.
    double EnterNoise = 3.5;
    double EnterNoiseInRun = 2.5;
    double RunSeconds = 30e-3;
    // A burst ends where the strength falls below this part of its greatest strength, or this
    // many times the noise.
    double LeaveFraction = 0.3;
    double LeaveNoise = 1.8;
    // After a burst, the next one begins only once the strength rises this many times above the
    // least it fell to (the last one's tail only falls).
    double RiseFromValley = 2.0;
    // Strengths below this (about -80 dB of full scale) are silence, however quiet the noise.
    double LeastLevel = 1e-4;
    // A burst ends only below this part of that level (it began above it).
    double LeastLevelLeave = 0.8;
    // The noise floor is the mean strength between bursts: it follows, within this many seconds,
    // the strength where it stays below this many times the floor (above that are bursts and
    // their tails), and creeps up within the last figure's seconds where it does not.
    double FloorSeconds = 5e-3;
    double FloorGate = 2.0;
    double FloorCreepSeconds = 0.2;
    // The first moments of a recording only show how loud its noise is.
    double WarmUpSeconds = 10e-3;
    // The strength is remembered this long: longer than any burst.
    double HistorySeconds = 40e-3;
    // The Schmitt trigger that counts pulses switches at this part of the current strength; the
    // last this many rises are kept for counting.
    double PulseBand = 0.35;
    int RisesKept = 32;
    // A dip inside a burst lies between two stretches at least this part of its greatest.
    double DipSides = 0.6;

    // --- the comparator, the second view of the signal ------------------------------------------
    // Its threshold lies halfway between the signal's recent highest and lowest levels. A level
    // beyond them moves them this part of the way per sample (a lone overshoot barely moves
    // them), and they let go of a level within about this many seconds: long enough that the
    // threshold stays put through the pauses and bytes of a program, as the machine's does
    // (shorter lets a lossy copy's ringing through), yet follows the tape's level. It switches
    // once the signal passes the middle by this part of the gap between them.
    double ComparatorReleaseSeconds = 0.5;
    double ComparatorAttack = 0.25;
    // Its reading of a block is heard only where at least this share of its bits clear by their
    // length had the pulse count of their kind, exactly.
    double ComparatorCountsAgree = 0.99;
    double ComparatorHysteresis = 0.1;
    // The signal's mean, and its longest stays on either side of the middle, are followed over
    // about this many seconds (a few bits).
    double ComparatorRestingSeconds = 10e-3;
    // Where the signal's swing grows this many times over (a tape after silence), the resting
    // side is taken afresh from the mean; elsewhere it turns only where the signal stays on the
    // other side this many times as long as on its own (pauses lie on the resting side).
    double ComparatorOnset = 4;
    double ComparatorSideRatio = 3;
    // The signal is away from its resting level (a pulse, as the machine sees it) beyond this
    // part of the way from the resting level to the pulses' typical peak, which moves this part
    // of the way to each pulse's own, and lies at least this part of the way from the middle to
    // the pulses' extreme.
    double ComparatorAway = 0.6;
    double ComparatorPeakFollow = 0.05;
    double ComparatorPeakLeast = 0.5;
    // The machine's timing of bursts, a third view (on the comparator's output): a rest shorter
    // than this, in seconds, lies inside a burst (the machine waits about 0.4 ms).
    double RunBridgeSeconds = 0.5e-3;
    // Where the comparator's counts do not agree with the lengths, its timed reading of a block
    // is heard only where at least this share of its sure bits agree with the filtered view's
    // sure bits at the same moments.
    double TimedAgreement = 0.98;

    // --- the framer ------------------------------------------------------------------------------
    // A burst shorter than this, in seconds, is noise.
    double ShortestBurst = 0.35e-3;
    // A dip shorter than this part of a pause is no pause: the bursts on either side are one.
    double ShortestPause = 0.23;
    // Two bursts are taken for pieces of one only where that is clearly likelier than two bits.
    double JoinPreference = 0.2;
    // A burst too long for a 1 whose strength falls below this part of its greatest, for as long
    // as a pause may be, is two bits with the pause between them filled in.
    double SplitDepth = 0.5;
    // A burst below this part of the level of those around it is faint; this many wait at most.
    double Faint = 0.5;
    int FaintKept = 4;
    // A block's first this many bits must follow each other at the tape's pace (pauses within
    // these parts of the typical pause) and at one level (within this factor), or they were
    // noise.
    int SettledBits = 16;
    double LevelChange = 3.0;
    double YoungPauseLow = 0.6, YoungPauseHigh = 1.8;
    // Until then a burst must be at least this part of a 0 burst and at most this part of a 1
    // (at the tape's own speed: 0.8 to 1.2 times its lengths are bits).
    double YoungShortest = 0.6, YoungLongest = 1.5;
    // Bits that break the pace this often, never settling, are noise.
    int UnsettledLimit = 48;
    // How quickly the typical lengths and the level follow the tape's speed and level.
    double LengthWeight = 0.15;
    double LevelWeight = 0.1;
    // Only pauses shorter than this many typical pauses are taken into the typical pause, and
    // only bursts within these parts of a 0 and of a 1, read with a margin above the last figure,
    // into the typical lengths.
    double PaceLongestPause = 2.5;
    double PaceShortest = 0.5, PaceLongest = 2.0, PaceMargin = 0.2;
    // A burst down to this part of a 0's length, or up to this part beyond a 1's, fits its kind;
    // at these limits it fits neither.
    double ShortOk = 0.85, TooShort = 0.6;
    double LongOk = 1.15, TooLong = 1.5;
    // Margins this far apart tell two bursts apart.
    double Clearly = 0.2;
    // A burst below this part of the level before it was weakened by what damaged the tape there.
    double Weakened = 0.85;
    // A pause longer than usual by more than this part of a pause holds something worn away; by
    // more than this part of a 0's length, it belongs somewhere.
    double WornExcess = 0.25;
    double LargeExcess = 0.5;
    // A burst whose length is this unclear may have lost part of itself to a longer pause beside
    // it.
    double WornMargin = 0.5;
    // A burst lost entirely left room (beyond two pauses) of this part of a 0 to this of a 1.
    double LostShortest = 0.5, LostLongest = 1.3;
    // The pulse count is trusted while it has agreed with this share of the bits whose length is
    // at least this clear, counted with this weight for the latest; a new block starts with the
    // first share, unknown.
    double TrustedPulses = 0.9;
    double ClearLength = 0.6;
    double TrustWeight = 0.05;
    double FirstTrust = 0.5;
    // Counts within this many pulses below, and the second figure above, a 0's or a 1's count
    // speak for that bit (a 1's burst may ring on by a pulse more).
    int PulsesBelow = 1, PulsesAbove = 1, OnePulsesAbove = 2;
    // Trusted pulses settle a length whose margin is below the first figure, leaving it that
    // margin at most; they overrule one below the second that disagrees with them, and a bit
    // they disagree with keeps the third at most.
    double PulsesSettle = 0.35;
    double PulsesOverrule = 0.7;
    double PulsesDisagree = 0.2;
    // Counted exactly, a 0's or a 1's count that agrees with the length gives the bit this margin
    // at least; a count that is neither leaves it this at most (below doubt: see DOUBT_MARGIN).
    double PulsesCounted = 0.6;
    double PulsesOdd = 0.2;
    // Such a count is heard only where the burst's length is nearer the length of that many
    // pulses than this part of its distance from a 0's and a 1's.
    double PulsesOddLength = 0.5;
    // Pauses within these parts of the typical pause are as they should be; the margin of a bit
    // next to one shorter or longer falls to nothing at the outer limits: something was joined,
    // or may have been lost.
    double PauseNormalLow = 0.7, PauseNormalHigh = 1.45;
    double PauseLimitLow = 0.4, PauseLimitHigh = 2.0;
    // A burst this many times above the noise is measured cleanly; nearer the noise its length is
    // less sure, and at the second figure not at all.
    double ClearOfNoise = 8.0;
    double NoiseEntry = 3.0;
};

/// A setting that can be changed by name.
struct SettingInfo {
    const char* Name;
    double ReaderSettings::*Real;  // or, for a count,
    int ReaderSettings::*Count;
};
/// Every setting, in the order of the struct.
const std::vector<SettingInfo>& ReaderSettingList();

/// Changes the setting `name` to `value`, for benchmarks and diagnosis. False, with *error set,
/// for a name no setting has or a value it cannot take.
bool SetReaderSetting(ReaderSettings* settings, const std::string& name, double value,
                      std::string* error);
