// How the ZX81 and the ZX80 put bits on tape. Every bit is a pause followed by a train of
// pulses, four for a 0 and nine for a 1; bytes go most significant bit first, with no header,
// length or checksum. A ZX81 tape starts with the program's name, its last character marked by
// bit 7; a ZX80 tape has no name.
#pragma once

/// Pulses in the train of a 0 bit and of a 1 bit.
constexpr int PULSES_ZERO = 4;
constexpr int PULSES_ONE = 9;
/// Each half of a pulse (high, then low), in seconds: the pulses are at 3.33 kHz.
constexpr double HALF_PULSE_SECONDS = 150e-6;
/// The pause before each bit's pulses, in seconds.
constexpr double BIT_PAUSE_SECONDS = 1.3e-3;
/// A 0 bit's and a 1 bit's pulse train, in seconds.
constexpr double ZERO_BURST_SECONDS = PULSES_ZERO * 2 * HALF_PULSE_SECONDS;
constexpr double ONE_BURST_SECONDS = PULSES_ONE * 2 * HALF_PULSE_SECONDS;
/// A 0 bit and a 1 bit whole, pulse train and pause, in seconds.
constexpr double ZERO_BIT_SECONDS = ZERO_BURST_SECONDS + BIT_PAUSE_SECONDS;
constexpr double ONE_BIT_SECONDS = ONE_BURST_SECONDS + BIT_PAUSE_SECONDS;

/// The machine's own SAVE, timed from its code at 3.25 MHz: pulses of 151 us on a resting level
/// (so the pulse and the rest between pulses are each about half a period), about 1.5 ms of rest
/// between bits, and a lead-in of about 5 s.
constexpr double MACHINE_PULSE_SECONDS = 492 / 3.25e6;
constexpr double MACHINE_BIT_PAUSE_SECONDS = 4872 / 3.25e6;
constexpr double MACHINE_LEAD_IN_SECONDS = 5.0;
