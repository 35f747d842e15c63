// The signal a real machine's SAVE puts on tape, modelled from its code's timing: pulses of 492
// T-states (3.25 MHz) rising from a resting level, 483 T-states of rest between the pulses of a
// bit, and a longer rest after each bit, longer still after a byte. Each sample is the mean level
// over its interval, so edges between samples are kept. Unlike the converter's signal, it is
// one-sided: the resting level is below zero and the channel must remove the DC.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zx/machine.h"

/// The tape a ZX81 (with the tape name in ZX81 codes, the last one's bit 7 set here) or a ZX80
/// saves of `image`, as samples in -0.5..0.5 at `rate` per second, after `lead_in` seconds of rest.
std::vector<double> MachineTapeSamples(const std::vector<uint8_t>& image, TargetFormat target,
                                       const std::vector<uint8_t>& name, int rate = 44100,
                                       double lead_in = 1.0);
