// What a ZX81 or ZX80 program image holds, item by item: the system variables that matter, the
// BASIC lines as the machine's LIST shows them, and the variables with their values. Every item
// keeps the bytes it came from, so that a front end can link it to a hex view or to the tape.
// Broken structure never stops the listing: it is noted where it is found, and listing goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zx/machine.h"

/// Bytes of the image: offsets from its first byte, End excluded.
struct ByteRange {
    size_t Begin = 0;
    size_t End = 0;
};

/// Text as the machine puts it on screen: one character code per cell (0-63, or 128-191 for the
/// same in inverse video), each with the offset of the image byte it shows.
struct ScreenText {
    std::vector<uint8_t> Codes;
    std::vector<size_t> Sources;
};

/// Something wrong with the image's structure, found at an offset.
struct Problem {
    size_t Offset = 0;
    std::string Text;
};

/// A system variable worth knowing, with what its value means.
struct SystemValue {
    std::string Name;
    ByteRange Bytes;
    std::string Text;
};

struct ListedLine {
    int Number = 0;
    ByteRange Bytes;        // the whole line: number, length where the machine keeps one, NEWLINE
    ScreenText Text;        // what LIST shows after the number
    ByteRange MachineCode;  // a REM's bytes that do not all show as text; empty otherwise
    std::vector<Problem> Problems;
};

struct ListedVariable {
    ByteRange Bytes;
    ScreenText Text;   // the name, "=", and the value as the machine would print it
    std::string Note;  // what the text cannot say: a FOR loop's limit, step and line
    std::vector<Problem> Problems;
};

/// A row of a ZX81's display file: its bytes up to its NEWLINE, and what it shows.
struct DisplayRow {
    ByteRange Bytes;
    ScreenText Text;
};

struct Listing {
    TargetFormat Machine = TARGET_ZX81;
    std::vector<SystemValue> System;
    std::vector<ListedLine> Lines;
    std::vector<ListedVariable> Variables;
    std::vector<Problem> Problems;        // outside any line or variable
    std::vector<DisplayRow> DisplayRows;  // a ZX81's display file
};

/// Lists `image`, a program image for `machine` (TARGET_ZX80, else a ZX81).
Listing ListImage(const std::vector<uint8_t>& image, TargetFormat machine);

/// A line number as LIST prints it, in four places; from 10000 on the thousands show as a
/// character of their own (10 as A, 11 as B ...), as the machine prints them.
std::string LineNumberText(int number);

/// Whether anything in the listing is damaged.
bool HasProblems(const Listing& listing);
