// The doubtful bytes a report written by zx8xread gives for one program, read back so that a
// listing can show them in context.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/slips.h"

/// A doubtful byte as the report gives it.
struct ReportedDoubt {
    size_t Offset = 0;
    uint8_t Value = 0;
    double Margin = 0.0;
    std::vector<int> Bits;      // the bits in doubt, 7 the first on tape
    std::vector<int> Readings;  // each combined reading's value, -1 where it lacks one
};

/// The doubtful bytes the report `json` gives for the program written as `file`, or, when no
/// program was written under that very name, for the one whose file has the same name in
/// another folder. False, with the reason in `error`, when `json` is no report or names no such
/// program.
/// Where `slips` is given, it receives the repairs of a bit lost or gained the report offers.
bool ReportedDoubts(const std::string& json, const std::string& file,
                    std::vector<ReportedDoubt>* doubts, std::string* error,
                    std::vector<BitSlip>* slips = nullptr);
