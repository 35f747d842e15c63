// What zx8xread says of each program it recovered: one line for a person, and the status that
// decides the exit status.
#pragma once

#include <string>

#include "read/program.h"

enum ProgramStatus {
    STATUS_OK,        // every check passed and nothing is in doubt
    STATUS_DOUBTFUL,  // the checks passed, but a byte or the name is in doubt, or it began mid-tape
    STATUS_FAILED,    // a check failed
};

ProgramStatus StatusOf(const TapeProgram& program);

/// The tape name as ASCII (see NameCharacter).
std::string TapeNameText(const TapeProgram& program);

/// Seconds as m:ss.s, or with `hundredths` as m:ss.ss.
std::string ClockText(double seconds, bool hundredths = false);

/// The line that reports a program written to `written`, without its newline: e.g.
/// `out/hello.p: ZX81, name "HELLO", 957 bytes, 0:01.6 to 0:21.5, checks OK, worst bit 88% clear`.
/// Where `recordings` readings of one tape were combined, a program that only some of them held
/// says in how many it was found.
std::string ProgramLine(const TapeProgram& program, const std::string& written, int recordings = 0);
