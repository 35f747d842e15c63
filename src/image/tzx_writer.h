// Writing TZX files: the header and the blocks the family writes, each appended to a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zx/machine.h"

/// T-states per second: the TZX format's unit of time.
constexpr double TZX_T_STATES_PER_SECOND = 3500000.0;

/// The seconds a program block written by AppendProgramBlock lasts: the converter's own bits,
/// 2.5 ms for a 0 and 4 ms for a 1, sent most significant first.
double ProgramBlockSeconds(const std::vector<uint8_t>& bytes);

/// A new TZX file: its signature and version 1.20.
std::vector<uint8_t> TzxFileHeader();

/// A hardware block (0x33) listing the machines a tape runs on.
void AppendHardware(std::vector<uint8_t>* tzx, bool zx81, bool zx80);

/// An archive info block (0x32) with a title and a comment, each cut to 255 bytes.
void AppendArchiveInfo(std::vector<uint8_t>* tzx, const std::string& title,
                       const std::string& comment);

/// A text description block (0x30), cut to 255 bytes.
void AppendText(std::vector<uint8_t>* tzx, const std::string& text);

/// A program in the machines' own encoding, as a generalized data block (0x19) with no pilot and
/// two symbols, runs of 4 and 9 pulses of 150 us at the converter's own timing (a 0 bit lasts
/// 2.5 ms, a 1 bit 4 ms): `bytes` (a ZX81's name, then the image) most significant bit first,
/// then `pause_ms` of silence.
void AppendProgramBlock(std::vector<uint8_t>* tzx, const std::vector<uint8_t>& bytes,
                        unsigned pause_ms);

/// A pause (0x20) of `ms` milliseconds, split into several where it exceeds 65535; nothing for 0.
void AppendPause(std::vector<uint8_t>* tzx, double ms);

/// A direct recording block (0x15): `count` levels (1 high, 0 low, packed 8 to a byte, the first
/// in the most significant bit) of `t_per_sample` T-states each, then `pause_ms` of silence.
/// Longer recordings are split into several blocks.
void AppendDirectRecording(std::vector<uint8_t>* tzx, const std::vector<uint8_t>& levels,
                           size_t first, size_t count, unsigned t_per_sample, unsigned pause_ms);
