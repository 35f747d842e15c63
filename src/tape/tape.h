// A whole tape: the sequence of silences and bytes the driver asks of the generator.
#pragma once

#include <cstdint>
#include <vector>

/// Starts a new signal in the sample buffer and emits the whole tape for the image of `size`
/// bytes: the lead-in, the name block for zxFileName (for every target but TARGET_ZX80), every
/// image byte as loaded, and the lead-out. False if the tape name holds a character without a
/// ZX81 code; that character is stored in *bad_char and the signal is left unfinished.
bool OutputTape(const uint8_t* image, int size, char* bad_char);

struct TapeFile;

/// Where each part of a tape file starts in its signal, in seconds, and last where the lead-out
/// starts: the lead-in, then every part's exact length (a program's bits take 2.5 or 4 ms each).
std::vector<double> TapePartStarts(const TapeFile& tape);

/// Starts a new signal in the sample buffer and emits a whole tape file: the lead-in, every
/// part in order (programs in the machines' encoding, other sound as pulse and pause levels,
/// pauses as silence) and the lead-out.
void OutputTapeFile(const TapeFile& tape);
