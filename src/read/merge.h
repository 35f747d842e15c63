// Several readings of one tape combined bit by bit: the channels of a stereo recording, repeated
// passes of a tape, the same tape played on two decks.
//
// Readings of the same program are matched (by where they lie in the recording for channels, by
// machine, name and order for recordings), their bits aligned (a reading may have lost or gained
// a bit where the tape was damaged), and each bit settled by the readings' margins: the more
// certain of two, the majority where three or more disagree. A merged bit is as certain as its
// most certain reading where the readings agree, and in doubt where they disagree with
// conviction.
#pragma once

#include <vector>

#include "read/program.h"

/// Combines the programs of several readings (each in order) into one list, in the order of the
/// first reading that holds each. With `same_timeline` (the channels of one recording) programs
/// are matched by where they lie in time; otherwise by machine, name and order.
std::vector<TapeProgram> MergeReadings(const std::vector<std::vector<TapeProgram>>& readings,
                                       bool same_timeline);
