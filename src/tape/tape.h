// A whole tape: the sequence of silences and bytes the driver asks of the generator.
#pragma once

#include <cstdint>

/// Starts a new signal in the sample buffer and emits the whole tape for the image of `size`
/// bytes: the lead-in, the name block for zxFileName (for every target but TARGET_ZX80), every
/// image byte as loaded, and the lead-out. False if the tape name holds a character without a
/// ZX81 code; that character is stored in *bad_char and the signal is left unfinished.
bool OutputTape(const uint8_t* image, int size, char* bad_char);
