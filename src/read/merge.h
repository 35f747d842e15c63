// Several readings of one tape combined bit by bit: the channels of a stereo recording, repeated
// passes of a tape, the same tape played on two decks.
//
// Blocks that hold the same stretch of tape are matched (by time for the channels of one
// recording, by order and content for separate recordings), their bits lined up (a reading may
// have lost or gained a bit where the tape was damaged), and each bit settled by the readings'
// margins: the surer of two, the majority where three or more disagree. A combined bit is as
// sure as its surest reading where the readings agree, and in doubt where they disagree with
// conviction.
#pragma once

#include <vector>

#include "read/framer.h"

/// Combines the blocks of the channels of one recording (each in order) into one list: blocks
/// are matched by where they lie in time. Each combined block lists its readings in Sources,
/// with their bits lined up with its own.
std::vector<TapeBlock> MergeChannels(const std::vector<std::vector<TapeBlock>>& channels);
/// The same for the views of one channel (see reader.h), the filtered first. A later view
/// settles bits only where it heard the stretch more surely than the first; the last (the
/// machine's timing, which a copy that smears pulses does not mislead) is also heard where the
/// first is in doubt. A bit any of them counted pulses for that no bit has stays in doubt
/// (combining channels or recordings, only a bit that every one of them counted so).
std::vector<TapeBlock> MergeViews(std::vector<std::vector<TapeBlock>> views);
/// The share of `block`'s sure bits that `others` (readings of the same signal) heard surely at
/// the same moment, with the same value, among those they heard surely; *both: how many.
double SureAgreement(const TapeBlock& block, const std::vector<TapeBlock>& others, size_t* both);
/// Whether `others` (readings of the same signal) heard bit `i` of `block` otherwise: their bit
/// that began nearest it, `reach` seconds apart at most, has the other value.
bool HeardOtherwise(const TapeBlock& block, size_t i, const std::vector<TapeBlock>& others,
                    double reach);
/// The same for separate recordings of one tape: blocks are matched by order and by how well
/// their bits agree.
std::vector<TapeBlock> MergeReadings(const std::vector<std::vector<TapeBlock>>& readings);
