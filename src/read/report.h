// The report a person can act on: every recording read and every program recovered, with each
// doubtful byte and where on the tape it lies, as JSON.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "read/program.h"
#include "read/reader.h"

/// A recording as the report tells of it.
struct RecordingReport {
    std::string File;
    RecordingInfo Info;
    std::string Error;  // why it could not be read at all, or empty
};

/// A program as the report tells of it: the program and the file it was written to.
struct ProgramReport {
    ProgramReport(const TapeProgram* program, std::string written, std::string tzx = "")
        : Program(program), Written(std::move(written)), Tzx(std::move(tzx))
    {
    }
    const TapeProgram* Program = nullptr;
    std::string Written;
    std::string Tzx;  // the TZX of the whole tape that holds it, where one was written
};

/// `text` as a JSON string, in quotes, with quotes, backslashes and control characters escaped.
std::string JsonQuoted(const std::string& text);

/// The report as JSON text (see the README for its fields), ending in a newline.
std::string ReportJson(const std::vector<RecordingReport>& recordings,
                       const std::vector<ProgramReport>& programs);
