// Damage done to recordings the way old tapes, their decks and their copies do it: for the
// reading benchmark (bench/damage.cpp) and the reading-rate test alike.
//
// The operations, applied in the order given (words as the damage tool takes them):
//
//   gain DB             level change
//   noise SNR_DB        white noise, SNR_DB below the signal's RMS over its data
//   hum DB              50 Hz sine at DB relative to the signal's peak
//   dc OFFSET           a constant added
//   invert              polarity reversed
//   wow PERCENT HZ      speed varying by PERCENT at HZ
//   dropouts COUNT MS   COUNT silences of MS milliseconds at random places in the data
//   dips COUNT DB MS    COUNT dips of DB (negative) lasting MS milliseconds, at random places in
//                       the data, with 2 ms edges: how tape dropouts sound
//   lowpass HZ ORDER    Butterworth low-pass of ORDER (2, 4, 6...; 4 is 24 dB per octave)
//   highpass HZ ORDER   Butterworth high-pass
//   clip LEVEL          hard clipping at LEVEL of full scale
//   speed RATIO         played RATIO times as fast
//   cut FRACTION        the recording begins this far into the signal (0.5: half way)
//   chain NAME          a cassette chain (see damage.cpp), its parameters drawn from the seed
//   rate HZ             the output's sample rate (by linear interpolation)
#pragma once

#include <string>
#include <vector>

/// Applies the operations in `words` to the samples `x` at `*rate` samples per second (which
/// "rate" and "chain" change), drawing from a generator seeded with `seed`. False, with *error
/// set, for a chain of no such name.
bool ApplyDamage(std::vector<double>* x, double* rate, const std::vector<std::string>& words,
                 unsigned seed, std::string* error);
