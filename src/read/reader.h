// A whole recording read into the programs on it.
#pragma once

#include <string>
#include <vector>

#include "read/program.h"

/// Reads every program in the recording at `path`, in order, streaming it a block at a time.
/// Each channel is read on its own; of a program found on several, the better reading is taken
/// (the one that passes more checks, then the one with the wider margin). False if the file
/// cannot be read at all; *warning says why a file that could be read is damaged (a truncated
/// WAV), and is empty otherwise.
bool ReadRecording(const std::string& path, TargetFormat machine,
                   std::vector<TapeProgram>* programs, std::string* error, std::string* warning);
