// Turns bursts of pulses into bits, bits into bytes, and bytes into blocks: the runs of bits
// between silences that hold programs.
//
// A bit is a burst of 4 pulses (a 0) or 9 (a 1) after a pause. The framer tells them apart by
// the burst's length against the lengths it has seen (which follow the tape's speed), lets the
// pulse count settle a burst whose length is ambiguous, joins the pieces of a burst that noise or
// a dropout broke, puts back a bit whose burst was lost entirely, and counts a worn start back
// into its burst. Every bit gets a margin that carries all the evidence about it: its length
// against the typical lengths, whether its pulse count agrees, the pauses before and after it,
// and how far it stood above the noise. A bit that had to be reconstructed has no margin at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "read/burst_detector.h"

/// One reading a block was read from: a recording and one of its channels. Where several
/// readings were combined, each one's bits and their times, lined up with the combined block's
/// (NO_BIT where it has none there).
struct BlockSource {
    int Recording = 0;
    int Channel = 0;
    std::vector<uint8_t> Bits;
    std::vector<double> Times;
};
constexpr uint8_t NO_BIT = 2;

/// A run of bits between long silences. Each bit has a margin: 1 for a bit with every sign of
/// being right, 0 for one that is no more likely than its opposite (see BitMargin).
struct TapeBlock {
    std::vector<uint8_t> Bits;   // each 0 or 1, in order
    std::vector<float> Margins;  // per bit
    std::vector<double> Times;   // per bit: where its burst starts, in seconds
    // The bits at which the block may really begin: 0, and each of its first bits that broke
    // the tape's pace or level (what came before it may have been noise); and the margin of
    // each such bit where the block begins at it, without the break before it as evidence.
    std::vector<size_t> Starts;
    std::vector<float> StartMargins;
    // The bits whose margin a pause beside them lowered, each with its margin without that pause:
    // where the pause turns out to lie between two programs, it says nothing against them.
    std::vector<size_t> PausedBits;
    std::vector<float> UnpausedMargins;
    // The bits whose burst had a pulse count that no bit has (neither a 0's nor a 1's), counted
    // where counts are exact and have proved reliable: whatever its length says, such a bit is
    // in doubt, in this reading and in any it is combined with; and each one's margin as the rest
    // of its evidence has it.
    std::vector<size_t> OddCounts;
    std::vector<float> UncountedMargins;
    // The share of its bits clear by their length whose pulse count agreed with it.
    float CountsAgree = 1;
    double Start = 0;               // seconds: the first bit's start
    double End = 0;                 // seconds: the last bit's end
    double SilenceBefore = 0;       // seconds without bits before it (from the recording's start)
    bool FirstInRecording = false;  // no block came before it: its silence began the recording
    bool ClearStart = false;        // its first burst stood well clear of the noise before it
    // The readings it was read from; the first is the one whose times it has. Bits and Times
    // are left empty for a block read from one reading alone.
    std::vector<BlockSource> Sources;
};

/// A margin a block keeps for some of its bits only (`bits`, in order, each with its `margins`:
/// PausedBits with UnpausedMargins, OddCounts with UncountedMargins), for bit `i`; -1 where it
/// has none.
float ListedMargin(const std::vector<size_t>& bits, const std::vector<float>& margins, size_t i);
/// Lists bit `i` with `margin` among such bits, in order, unless it is listed already.
void ListBit(std::vector<size_t>* bits, std::vector<float>* margins, size_t i, float margin);
/// Lowers to `cap` each margin a block keeps for bit `i` (its own, and those without a pause's or
/// an odd count's doubt) that is above it.
void CapMargins(TapeBlock* block, size_t i, float cap);
/// The margin of a block's bit `i` on its own evidence, without what a pause beside it lowered.
float OwnMargin(const TapeBlock& block, size_t i);
/// Keeps the bits of a block that `keep` marks (one flag per bit), with what it keeps for each,
/// numbered anew. A block may always begin at its first bit kept.
void KeepBits(TapeBlock* block, const std::vector<bool>& keep);

/// The tape's pace, followed from a block's first bits: the typical lengths, in seconds, of a 0
/// burst, a 1 burst and the pause between bursts, and how often the pulse count has agreed with
/// clear lengths lately (1 always, 0 never).
struct TapePace {
    double ZeroLength = 0, OneLength = 0, PauseLength = 0;
    double PulseTrust = 1;
};

/// A burst that may still be joined by the next one.
struct PendingBurst {
    bool Waiting = false;
    Burst Piece;
    bool Joined = false;  // already made of pieces, or put back: a reconstruction
    // A fragment too short to be a bit, a pause after the piece: the last pulse of a burst whose
    // middle a dip took, or something else, as the next burst's moment tells.
    bool HasTail = false;
    Burst Tail;
};

/// A bit waiting for the pause after it, which is part of its evidence.
struct HeldBit {
    bool Waiting = false;
    bool One = false;
    double Margin = 0, Start = 0, End = 0, Length = 0;
    double Strength = 0, Level = 0;  // its burst's strength, and the block's level before it
    bool Breaks = false;             // it may begin the block
    bool OddCount = false;           // its pulses, counted exactly, were neither a 0's nor a 1's
    // Its margin were the pauses beside it as they should be: its margin if it begins the block
    // (no break before it then), or if the pauses lie between two programs.
    double Unpaused = 0;
};

/// The block being read, and its bits since its first bits last broke the tape's pace.
struct BlockUnderWay {
    TapeBlock Block;
    int Bits = 0;
    int SinceBreak = 0;
    double LastBitEnd = -1;  // seconds; -1 before the block's first bit
    double Level = 0;        // the strength of the block's bursts
    // Its bits clear by their length, and those of them whose pulse count agreed.
    int Counted = 0, CountsAgreed = 0;
};

/// The state of framing one channel.
struct Framer {
    ReaderSettings Settings;
    TapePace Pace;
    PendingBurst Pending;
    std::vector<Burst> Faint;  // faint bursts, waiting to be told from noise by the next loud one
    HeldBit Held;
    BlockUnderWay Current;
    double LastBlockEnd = 0;  // seconds: where the last block, or the recording, left off
    // Its bursts' pulses are counted exactly (see BurstDetector::TwoLevel): a count is then a 0's
    // or a 1's, or neither, with no pulse to spare.
    bool ExactCounts = false;
    // Its bursts are timed as the machine times them, from where the input left its resting level
    // until it rested again (see RunDetector).
    bool Timed = false;
    int BlocksKept = 0;
    std::vector<TapeBlock> Finished;  // blocks finished, in order, for the caller to take
    // Where to write a line for each burst, bit and block decision (--trace), and the channel
    // it names; null: nowhere.
    FILE* Trace = nullptr;
    int Channel = 0;
};

/// Prepares a framer for a new recording.
void StartFramer(Framer* framer, const ReaderSettings& settings = ReaderSettings{});
/// Frames the next burst; bursts come in order.
void FrameBurst(Framer* framer, const Burst& burst);
/// Nothing has come since the last burst up to `now` (seconds): a long enough silence ends the
/// block under way.
void FrameSilenceUntil(Framer* framer, double now);
/// The recording has ended at `now`: finishes the block under way.
void FinishFramer(Framer* framer, double now);

/// How sure a bit of burst length `length` is, given the typical lengths: 1 at the typical
/// length of its kind (or beyond), 0 at the boundary between the two kinds.
double BitMargin(double length, double zero_length, double one_length);

/// A silence at least this long, in seconds, ends a block: a program has none inside it.
constexpr double BLOCK_GAP_SECONDS = 20e-3;
/// A block that follows less silence than this, in seconds, did not start where a tape starts;
/// the first block of a recording, less than the second figure from the recording's start (a
/// block ends at 20 ms of silence, so bits before it would have been heard).
constexpr double LEAD_IN_SECONDS = 0.25;
constexpr double RECORDING_LEAD_IN_SECONDS = 0.05;
