// Facts about the ZX81 and the ZX80 that every part of the family shares: where a program sits
// in memory, the system variables a program image holds, the largest image, and the machine
// enumeration. Nothing here is a choice of this program; it is how the machines are built.
#pragma once

#include <cstdint>

/// The machine a tape or an image is for. Everything but TARGET_ZX80 gets the ZX81 treatment;
/// a reader takes TARGET_UNKNOWN as "either".
enum TargetFormat : int32_t {
    TARGET_UNKNOWN = 0,
    TARGET_ZX80 = 1,
    TARGET_ZX81 = 2,
};

/// Largest image there can be: the RAM a program can occupy, in bytes.
constexpr int LONGEST_IMAGE = 65544;

// A ZX81 image (.p) is the memory from VERSN up to E_LINE; the system variables before VERSN
// are not saved.
constexpr int ZX81_IMAGE_START = 0x4009;
constexpr int ZX81_VERSN = 0x4009;    // 0 on every ZX81 BASIC
constexpr int ZX81_E_PPC = 0x400A;    // the current line, where the listing's cursor is
constexpr int ZX81_D_FILE = 0x400C;   // the display file
constexpr int ZX81_DF_CC = 0x400E;    // the print position in the display file
constexpr int ZX81_VARS = 0x4010;     // the variables area
constexpr int ZX81_E_LINE = 0x4014;   // the line being edited: the image ends here
constexpr int ZX81_DB_ST = 0x4027;    // the debounce status, which SAVE overwrites
constexpr int ZX81_MARGIN = 0x4028;   // lines above the picture: 55 at 50 Hz, 31 at 60 Hz
constexpr int ZX81_NXTLIN = 0x4029;   // the next line to run: a program saved running autoruns
constexpr int ZX81_CDFLAG = 0x403B;   // bit 6: SLOW mode, which loading takes up again
constexpr int ZX81_PROGRAM = 0x407D;  // the first BASIC line

// A ZX80 image (.o, .80) is the memory from 0x4000 up to E_LINE; its display file is made
// after loading and is not saved.
constexpr int ZX80_IMAGE_START = 0x4000;
constexpr int ZX80_E_PPC = 0x4006;
constexpr int ZX80_VARS = 0x4008;
constexpr int ZX80_E_LINE = 0x400A;
constexpr int ZX80_PROGRAM = 0x4028;

/// RAM ends here on a machine with 1K, and with a 16K pack.
constexpr int RAM_END_1K = 0x4400;
constexpr int RAM_END_16K = 0x8000;

/// The byte that ends each BASIC line and each display line.
constexpr uint8_t NEWLINE = 0x76;
/// The byte that ends the variables area, just before E_LINE.
constexpr uint8_t END_MARKER = 0x80;

/// The memory address of an image's first byte.
constexpr int ImageStart(TargetFormat machine)
{
    return machine == TARGET_ZX80 ? ZX80_IMAGE_START : ZX81_IMAGE_START;
}

/// The address of the system variable E_LINE, whose value is where the image ends.
constexpr int ELineAddress(TargetFormat machine)
{
    return machine == TARGET_ZX80 ? ZX80_E_LINE : ZX81_E_LINE;
}

/// The address of the first BASIC line.
constexpr int ProgramAddress(TargetFormat machine)
{
    return machine == TARGET_ZX80 ? ZX80_PROGRAM : ZX81_PROGRAM;
}

/// The address of the variables area's pointer.
constexpr int VarsAddress(TargetFormat machine)
{
    return machine == TARGET_ZX80 ? ZX80_VARS : ZX81_VARS;
}
