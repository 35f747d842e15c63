// Files that hold a whole tape rather than one image: .p81 (each program's name as it went on
// tape, then its image, one record after another) and TZX (the archivists' tape: blocks of
// signal in the order of the cassette, with the pauses between them). Both are read into the
// parts of one tape, in the order they are played.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zx/machine.h"

/// A stretch of signal at one level, high or low.
struct TapeLevel {
    float Seconds;
    bool High;
};

enum TapePartKind : uint8_t {
    PART_PROGRAM,  // bits in the machines' own encoding
    PART_SOUND,    // any other signal, as levels
    PART_PAUSE,    // silence
};

/// One part of a tape.
struct TapePart {
    TapePartKind Kind = PART_PROGRAM;
    size_t Offset = 0;  // where the part starts in the file, in bytes
    int Block = 0;      // its TZX block, counted from 1; 0 in a .p81
    // PART_PROGRAM
    TargetFormat Machine = TARGET_UNKNOWN;  // TARGET_UNKNOWN: the encoding, but no image in it
    std::vector<uint8_t> Bytes;             // what goes on tape: a ZX81's name, then the image
    size_t NameSize = 0;                    // the bytes of Bytes that are the name
    size_t BitCount = 0;  // bits sent, most significant first: 8 per byte unless a TZX says less
    // PART_SOUND
    std::vector<TapeLevel> Levels;
    // PART_PAUSE
    double Seconds = 0;
    bool Stop = false;  // the tape stops here until it is started again
};

/// The parts of a tape, or why the file could not be read.
struct TapeFile {
    std::vector<TapePart> Parts;
    std::string Error;  // empty when the file was read
};

/// Silence between two programs of a .p81 file, in seconds: what the machine's own SAVE leaves
/// before each program, and time for a program that loads the next part to ask for it.
constexpr double P81_PAUSE_SECONDS = 5.0;
/// Silence played where a TZX stops the tape, in seconds: a WAV cannot stop, so the program that
/// asked for the stop gets the time of a SAVE's lead-in.
constexpr double STOP_PAUSE_SECONDS = 5.0;
/// Longest tape a TZX may describe, in seconds; anything longer is taken as a damaged file.
constexpr double LONGEST_TAPE_SECONDS = 4 * 3600.0;

/// What kind of file holds a tape.
enum TapeFileKind {
    TAPE_FILE_NONE,  // one program image: .p, .81, .o, .80, or bytes that are no tape file
    TAPE_FILE_P81,
    TAPE_FILE_TZX,
    TAPE_FILE_T81,  // a container nobody has documented, refused
};

/// The kind of the file at `path` holding `data`: by content first (the TZX signature; a ZX81 or
/// ZX80 image is no tape file; bytes that are all whole .p81 records are one), then by the
/// extension (.tzx, .p81, .t81, in any case).
TapeFileKind TapeFileKindOf(const std::string& path, const uint8_t* data, size_t size);

/// Whether the data starts with the TZX signature "ZXTape!" and its end-of-text byte.
bool IsTzx(const uint8_t* data, size_t size);

/// Reads a .p81 file: records of a name (ZX81 codes, the last with bit 7 set) and an image,
/// with P81_PAUSE_SECONDS of silence between programs. With `strict`, every record's image must
/// also end in the 0x80 marker and start with VERSN 0, as a file's content is judged when its
/// name does not say .p81. False, with Error set, where a record does not parse or there is none.
bool ReadP81(const uint8_t* data, size_t size, bool strict, TapeFile* tape);

/// Reads a TZX file: every block that makes sound becomes a part, blocks without sound are
/// skipped, ZX81 and ZX80 programs become program parts. False, with Error set, where the file
/// is cut short, a block cannot be read or the tape grows beyond LONGEST_TAPE_SECONDS.
bool ReadTzx(const uint8_t* data, size_t size, TapeFile* tape);

/// The programs of a tape, ZX81 or ZX80 (not the program parts whose bytes hold no image).
size_t ProgramCount(const TapeFile& tape);

/// A program part's tape name as text (digits, letters and the other characters as they look;
/// empty for a ZX80 program, which has none).
std::string PartName(const TapePart& part);

/// A program part's image: its bytes after the name.
std::vector<uint8_t> PartImage(const TapePart& part);
