#include "image/tape_file.h"

#include <cstdio>
#include <utility>

#include "files/little_endian.h"
#include "files/paths.h"
#include "image/detect.h"
#include "image/image.h"
#include "zx/charset.h"

namespace {

constexpr double TZX_CLOCK = 3500000.0;  // T-states per second, the format's unit of time
constexpr size_t LONGEST_NAME = 127;     // bytes of a .p81 or TZX program's name
constexpr int LEAST_IMAGE = 0x74;        // a ZX81 image holds at least its system variables
constexpr size_t P81_GARBAGE = 13;       // fewer bytes after the last record are ignored
constexpr size_t MOST_LEVELS = size_t{32} << 20;  // 256 MB of levels at most
constexpr size_t TZX_HEADER = 10;                 // "ZXTape!", 0x1A, major, minor
constexpr size_t MOST_BLOCK_PLAYS = 1000000;      // blocks played, loops included

std::string Text(size_t value) { return std::to_string(value); }

// ---- .p81 -------------------------------------------------------------------------------------

// The size of the name of the record at `at`, the bytes up to the first with bit 7 set; 0 if
// none ends within LONGEST_NAME bytes.
size_t NameSizeAt(const uint8_t* data, size_t size, size_t at)
{
    for (size_t i = at; i < size && i - at < LONGEST_NAME; ++i) {
        if ((data[i] & 0x80) != 0) return i - at + 1;
    }
    return 0;
}

// Why the record at `at` does not parse, or "" with its name's and image's sizes.
const char* ParseRecord(const uint8_t* data, size_t size, size_t at, bool strict, size_t* name,
                        size_t* image)
{
    *name = NameSizeAt(data, size, at);
    if (*name == 0) return "no name ends within 127 bytes";
    const size_t start = at + *name;
    const int length = ELineSize(data + start, size - start, TARGET_ZX81);
    if (length < 0) return "the file ends before the image's E_LINE";
    if (length < LEAST_IMAGE) return "its E_LINE lies inside the system variables";
    if (static_cast<size_t>(length) > size - start) return "its E_LINE lies beyond the file's end";
    if (strict && DoesFileLookLikeZx81(data + start, length) == 0) {
        return "the image does not end in the 0x80 marker";
    }
    *image = static_cast<size_t>(length);
    return "";
}

void AddPause(TapeFile* tape, double seconds, size_t offset, int block, bool stop)
{
    TapePart pause;
    pause.Kind = PART_PAUSE;
    pause.Offset = offset;
    pause.Block = block;
    pause.Seconds = seconds;
    pause.Stop = stop;
    tape->Parts.push_back(std::move(pause));
}

// ---- TZX: playing blocks ----------------------------------------------------------------------

// The signal being built from a TZX, block by block.
struct TzxPlayer {
    TapeFile* Tape = nullptr;
    bool High = false;  // the level the next pulse is played at
    int Block = 0;      // the block being played, and where it starts in the file
    size_t Offset = 0;
    size_t Levels = 0;      // levels so far, to bound memory
    double Seconds = 0;     // the tape's length so far
    bool TooLong = false;   // the tape grew beyond what this program plays
    bool SaysZx80 = false;  // a hardware block lists the ZX80, and the ZX81 family
    bool SaysZx81 = false;
};

bool Grow(TzxPlayer* p, double seconds)
{
    p->Seconds += seconds;
    if (p->Seconds > LONGEST_TAPE_SECONDS || p->Levels > MOST_LEVELS) p->TooLong = true;
    return !p->TooLong;
}

// Plays `seconds` at a level, as part of the block's sound. False once the tape is too long.
bool Level(TzxPlayer* p, double seconds, bool high)
{
    std::vector<TapePart>& parts = p->Tape->Parts;
    if (parts.empty() || parts.back().Kind != PART_SOUND || parts.back().Block != p->Block) {
        TapePart sound;
        sound.Kind = PART_SOUND;
        sound.Offset = p->Offset;
        sound.Block = p->Block;
        parts.push_back(std::move(sound));
    }
    std::vector<TapeLevel>& levels = parts.back().Levels;
    if (!levels.empty() && levels.back().High == high) {
        levels.back().Seconds += static_cast<float>(seconds);
    } else {
        levels.push_back({static_cast<float>(seconds), high});
        ++p->Levels;
    }
    return Grow(p, seconds);
}

// A pulse of `t_states`: the level held, then an edge.
bool Pulse(TzxPlayer* p, double t_states)
{
    const bool played = Level(p, t_states / TZX_CLOCK, p->High);
    p->High = !p->High;
    return played;
}

// Silence of `ms` after a block: a millisecond at the level reached finishes the last edge
// where the block ended in sound. A 0 ms pause is none.
void PauseAfter(TzxPlayer* p, unsigned ms)
{
    if (ms == 0) return;
    double seconds = ms / 1000.0;
    const std::vector<TapePart>& parts = p->Tape->Parts;
    if (!parts.empty() && parts.back().Kind == PART_SOUND && parts.back().Block == p->Block) {
        Level(p, 0.001, p->High);
        seconds -= 0.001;
    }
    if (seconds > 0) AddPause(p->Tape, seconds, p->Offset, p->Block, false);
    p->High = false;
    Grow(p, seconds);
}

// The bits of `data` as pulse pairs of `zero` or `one` T-states, most significant bit first;
// the last byte plays only its first `used` bits.
void PlayBits(TzxPlayer* p, const uint8_t* data, size_t size, unsigned used, unsigned zero,
              unsigned one)
{
    if (used == 0 || used > 8) used = 8;
    for (size_t i = 0; i < size && !p->TooLong; ++i) {
        const unsigned bits = i + 1 == size ? used : 8;
        for (unsigned k = 0; k < bits; ++k) {
            const unsigned length = (data[i] << k & 0x80) != 0 ? one : zero;
            Pulse(p, length);
            Pulse(p, length);
        }
    }
}

void PlayTone(TzxPlayer* p, unsigned length, unsigned count)
{
    for (unsigned i = 0; i < count && !p->TooLong; ++i) Pulse(p, length);
}

// 0x10, 0x11, 0x14: the Spectrum's encoding, with its pilot and sync pulses where it has them.
void PlaySpectrumData(TzxPlayer* p, uint8_t id, const uint8_t* b)
{
    if (id == 0x10) {
        const size_t size = Little16(b + 2);
        PlayTone(p, 2168, size > 0 && b[4] < 128 ? 8063 : 3223);
        Pulse(p, 667);
        Pulse(p, 735);
        PlayBits(p, b + 4, size, 8, 855, 1710);
        PauseAfter(p, Little16(b));
    } else if (id == 0x11) {
        PlayTone(p, Little16(b), Little16(b + 0x0A));
        Pulse(p, Little16(b + 2));
        Pulse(p, Little16(b + 4));
        PlayBits(p, b + 0x12, Little24(b + 0x0F), b[0x0C], Little16(b + 6), Little16(b + 8));
        PauseAfter(p, Little16(b + 0x0D));
    } else {
        PlayBits(p, b + 0x0A, Little24(b + 7), b[4], Little16(b), Little16(b + 2));
        PauseAfter(p, Little16(b + 5));
    }
}

// 0x15: one bit per sample, most significant first, at `t_per_sample` T-states each.
void PlayDirect(TzxPlayer* p, const uint8_t* b)
{
    const double seconds = Little16(b) / TZX_CLOCK;
    const size_t size = Little24(b + 5);
    const unsigned used = b[4] == 0 || b[4] > 8 ? 8 : b[4];
    for (size_t i = 0; i < size && !p->TooLong; ++i) {
        const unsigned bits = i + 1 == size ? used : 8;
        for (unsigned k = 0; k < bits; ++k) Level(p, seconds, (b[8 + i] << k & 0x80) != 0);
        if (bits > 0) p->High = (b[8 + i] << (bits - 1) & 0x80) != 0;
    }
    PauseAfter(p, Little16(b + 2));
}

// 0x18: pulses as run lengths of samples; a 0 is followed by a 32-bit length.
const char* PlayCsw(TzxPlayer* p, const uint8_t* b, size_t length)
{
    if (b[9] != 1) return "its CSW data is compressed (Z-RLE), which this program does not unpack";
    const unsigned rate = Little24(b + 6);
    if (rate == 0) return "its sample rate is 0";
    bool last = p->High;
    for (size_t i = 0x0E; i < length && !p->TooLong;) {
        uint64_t samples = b[i++];
        if (samples == 0) {
            if (length - i < 4) return "a long pulse is cut short";
            samples = Little32(b + i);
            i += 4;
        }
        last = p->High;
        Level(p, static_cast<double>(samples) / rate, p->High);
        p->High = !p->High;
    }
    p->High = last;  // the level after the block is the last one played
    PauseAfter(p, Little16(b + 4));
    return "";
}

// ---- TZX: generalized data (0x19) -------------------------------------------------------------

// The layout of a generalized data block, with every table's place checked against its length.
struct Generalized {
    unsigned Pause = 0;
    uint64_t Pilots = 0, Datas = 0;  // symbols in the pilot and data streams
    unsigned PilotPulses = 0, DataPulses = 0, PilotAlphabet = 0, DataAlphabet = 0;
    const uint8_t* PilotTable = nullptr;
    const uint8_t* Runs = nullptr;  // the pilot stream: symbol, repeats
    const uint8_t* DataTable = nullptr;
    const uint8_t* Stream = nullptr;
    unsigned BitsPerSymbol = 0;
};

const char* ParseGeneralized(const uint8_t* b, size_t length, Generalized* g)
{
    g->Pause = Little16(b + 4);
    g->Pilots = Little32(b + 6);
    g->PilotPulses = b[0x0A];
    g->PilotAlphabet = b[0x0B] == 0 ? 256 : b[0x0B];
    g->Datas = Little32(b + 0x0C);
    g->DataPulses = b[0x10];
    g->DataAlphabet = b[0x11] == 0 ? 256 : b[0x11];
    while ((1u << g->BitsPerSymbol) < g->DataAlphabet) ++g->BitsPerSymbol;
    uint64_t at = 0x12;
    if (g->Pilots > 0) {
        g->PilotTable = b + at;
        at += uint64_t{2 * g->PilotPulses + 1} * g->PilotAlphabet;
        g->Runs = b + (at <= length ? at : 0);
        at += 3 * g->Pilots;
    }
    if (g->Datas > 0) {
        g->DataTable = b + (at <= length ? at : 0);
        at += uint64_t{2 * g->DataPulses + 1} * g->DataAlphabet;
        g->Stream = b + (at <= length ? at : 0);
        at += (g->BitsPerSymbol * g->Datas + 7) / 8;
    }
    return at <= length ? "" : "its symbol tables and streams overrun the block";
}

// Plays symbol `index` of a table of `pulses`-pulse symbols: its first pulse's level as its
// flags say, then its pulses up to the first of length 0.
void PlaySymbol(TzxPlayer* p, const uint8_t* table, unsigned pulses, unsigned index)
{
    const uint8_t* symbol = table + size_t{2 * pulses + 1} * index;
    switch (symbol[0] & 3) {
        case 1:  // no edge: the previous pulse goes on
            p->High = !p->High;
            break;
        case 2:
            p->High = false;
            break;
        case 3:
            p->High = true;
            break;
        default:
            break;
    }
    for (unsigned k = 0; k < pulses; ++k) {
        const unsigned length = Little16(symbol + 1 + 2 * k);
        if (length == 0 || !Pulse(p, length)) return;
    }
}

// The symbol of data stream position `i`.
unsigned DataSymbol(const Generalized& g, uint64_t i)
{
    unsigned symbol = 0;
    for (unsigned k = 0; k < g.BitsPerSymbol; ++k) {
        const uint64_t bit = i * g.BitsPerSymbol + k;
        symbol = symbol << 1 | (g.Stream[bit / 8] >> (7 - bit % 8) & 1);
    }
    return symbol;
}

const char* PlayGeneralized(TzxPlayer* p, const Generalized& g)
{
    for (uint64_t i = 0; i < g.Pilots && !p->TooLong; ++i) {
        const unsigned symbol = g.Runs[3 * i];
        if (symbol >= g.PilotAlphabet) return "a pilot symbol lies outside its alphabet";
        for (unsigned n = Little16(g.Runs + 3 * i + 1); n > 0 && !p->TooLong; --n) {
            PlaySymbol(p, g.PilotTable, g.PilotPulses, symbol);
        }
    }
    for (uint64_t i = 0; i < g.Datas && !p->TooLong; ++i) {
        const unsigned symbol = DataSymbol(g, i);
        if (symbol >= g.DataAlphabet) return "a data symbol lies outside its alphabet";
        PlaySymbol(p, g.DataTable, g.DataPulses, symbol);
    }
    PauseAfter(p, g.Pause);
    return "";
}

// The waves of a symbol that is a run of pulses and a gap (its pulses up to the first of length
// 0, two to a wave), or 0 if a pulse before the gap is too long to be one of the machines'.
unsigned Waves(const uint8_t* table, unsigned pulses, unsigned index)
{
    const uint8_t* symbol = table + size_t{2 * pulses + 1} * index;
    unsigned count = 0;
    while (count < pulses && Little16(symbol + 1 + 2 * count) != 0) ++count;
    for (unsigned k = 0; k + 1 < count; ++k) {
        const unsigned length = Little16(symbol + 1 + 2 * k);
        if (length < 100 || length > 2000) return 0;
    }
    return (count + 1) / 2;
}

// Which data symbol is a 1 bit, if the block is in the ZX81's and ZX80's encoding: two symbols,
// runs of 3-5 waves (a 0) and 6-9 waves (a 1), and no pilot; -1 if it is not.
int OneSymbol(const Generalized& g)
{
    if (g.Pilots != 0 || g.Datas == 0 || g.DataAlphabet != 2) return -1;
    const unsigned a = Waves(g.DataTable, g.DataPulses, 0);
    const unsigned b = Waves(g.DataTable, g.DataPulses, 1);
    const auto zero = [](unsigned waves) { return waves >= 3 && waves <= 5; };
    const auto one = [](unsigned waves) { return waves >= 6 && waves <= 9; };
    if (zero(a) && one(b)) return 1;
    if (one(a) && zero(b)) return 0;
    return -1;
}

void AddProgram(TzxPlayer* p, const Generalized& g, int one)
{
    TapePart program;
    program.Offset = p->Offset;
    program.Block = p->Block;
    // The stream lies within the block, so its bits are counted in a size_t.
    program.BitCount = static_cast<size_t>(g.Datas);
    program.Bytes.assign((program.BitCount + 7) / 8, 0);
    for (size_t i = 0; i < program.BitCount; ++i) {
        const bool bit = static_cast<int>(DataSymbol(g, i)) == one;
        if (bit) program.Bytes[i / 8] |= static_cast<uint8_t>(0x80 >> i % 8);
    }
    // The machine's own encoding: 2.5 ms for a 0 bit, 4 ms for a 1 at most.
    Grow(p, static_cast<double>(g.Datas) * 0.004);
    p->Tape->Parts.push_back(std::move(program));
    p->High = false;
    PauseAfter(p, g.Pause);
}

const char* PlayGeneralizedBlock(TzxPlayer* p, const uint8_t* b, size_t length)
{
    Generalized g;
    const char* why = ParseGeneralized(b, length, &g);
    if (*why != 0) return why;
    const int one = OneSymbol(g);
    if (one < 0) return PlayGeneralized(p, g);
    AddProgram(p, g, one);
    return "";
}

// ---- TZX: blocks ------------------------------------------------------------------------------

// The length of a block's body (the bytes after its ID), from the fields its length rule reads;
// false if the `avail` bytes left do not hold those fields. An ID the format does not define
// follows the rule of every later block: a 32-bit length first.
bool BodyLength(uint8_t id, const uint8_t* b, size_t avail, uint64_t* length)
{
    // Each rule is read only once the bytes it reads are known to be there.
    const auto rule = [&](uint64_t value) {
        *length = value;
        return true;
    };
    switch (id) {
        case 0x10:
            return avail >= 4 && rule(Little16(b + 2) + 4u);
        case 0x11:
            return avail >= 0x12 && rule(Little24(b + 0x0F) + 0x12u);
        case 0x12:
            return rule(4);
        case 0x13:
            return avail >= 1 && rule(b[0] * 2u + 1);
        case 0x14:
            return avail >= 0x0A && rule(Little24(b + 7) + 0x0Au);
        case 0x15:
            return avail >= 8 && rule(Little24(b + 5) + 8u);
        case 0x16:
            return avail >= 0x28 && rule(Little24(b + 0x25) + 0x28u);
        case 0x17:
            return avail >= 0x16 && rule(Little24(b + 0x13) + 0x16u);
        case 0x20:
        case 0x23:
        case 0x24:
            return rule(2);
        case 0x21:
        case 0x30:
            return avail >= 1 && rule(b[0] + 1u);
        case 0x22:
        case 0x25:
        case 0x27:
            return rule(0);
        case 0x26:
            return avail >= 2 && rule(Little16(b) * 2u + 2);
        case 0x28:
        case 0x32:
            return avail >= 2 && rule(Little16(b) + 2u);
        case 0x2A:
            return rule(4);
        case 0x2B:
            return rule(5);
        case 0x31:
            return avail >= 2 && rule(b[1] + 2u);
        case 0x33:
            return avail >= 1 && rule(b[0] * 3u + 1);
        case 0x34:
            return rule(8);
        case 0x35:
            return avail >= 0x14 && rule(uint64_t{Little32(b + 0x10)} + 0x14);
        case 0x40:
            return avail >= 4 && rule(Little24(b + 1) + 4u);
        case 0x5A:
            return rule(9);
        default:
            return avail >= 4 && rule(uint64_t{Little32(b)} + 4);  // 0x18, 0x19 and unknown IDs
    }
}

void NoteHardware(TzxPlayer* p, const uint8_t* b)
{
    for (unsigned i = 0; i < b[0]; ++i) {
        const uint8_t* entry = b + 1 + 3 * i;
        if (entry[0] != 0 || entry[2] == 3) continue;  // not a computer, or one it does not run on
        if (entry[1] == 0x0C) p->SaysZx80 = true;
        if (entry[1] == 0x0D || (entry[1] >= 0x2A && entry[1] <= 0x2D)) p->SaysZx81 = true;
    }
}

// Plays one block; why it cannot be played, or "". Blocks without sound play nothing.
const char* PlayBlock(TzxPlayer* p, uint8_t id, const uint8_t* b, size_t length)
{
    switch (id) {
        case 0x10:
        case 0x11:
        case 0x14:
            PlaySpectrumData(p, id, b);
            return "";
        case 0x12:
            PlayTone(p, Little16(b), Little16(b + 2));
            return "";
        case 0x13:
            for (unsigned i = 0; i < b[0]; ++i) Pulse(p, Little16(b + 1 + 2 * i));
            return "";
        case 0x15:
            PlayDirect(p, b);
            return "";
        case 0x18:
            if (length < 0x0E) return "it is shorter than its fields";
            return PlayCsw(p, b, length);
        case 0x19:
            if (length < 0x12) return "it is shorter than its fields";
            return PlayGeneralizedBlock(p, b, length);
        case 0x20:
            if (Little16(b) == 0) {
                AddPause(p->Tape, STOP_PAUSE_SECONDS, p->Offset, p->Block, true);
                p->High = false;
                Grow(p, STOP_PAUSE_SECONDS);
            } else {
                PauseAfter(p, Little16(b));
            }
            return "";
        case 0x2B:
            p->High = b[4] != 0;
            return "";
        case 0x33:
            NoteHardware(p, b);
            return "";
        default:
            return "";
    }
}

// Settles what each program part holds: a ZX80 image (where its bytes or the tape's hardware
// block say so), a ZX81 name and image (whose E_LINE fits, like a .p81 record's), or neither.
void ClassifyPrograms(const TzxPlayer& p, TapeFile* tape)
{
    const bool zx80_first = p.SaysZx80 && !p.SaysZx81;
    for (TapePart& part : tape->Parts) {
        if (part.Kind != PART_PROGRAM) continue;
        const uint8_t* bytes = part.Bytes.data();
        const size_t size = part.Bytes.size();
        size_t name = 0;
        size_t image = 0;
        const bool zx81 = *ParseRecord(bytes, size, 0, false, &name, &image) == 0;
        const bool clean_zx81 = zx81 && DoesFileLookLikeZx81(bytes + name, static_cast<int>(image));
        const bool zx80 = DoesFileLookLikeZx80(bytes, static_cast<int>(size)) != 0;
        if (zx80 && (zx80_first || !clean_zx81)) {
            part.Machine = TARGET_ZX80;
        } else if (zx81) {
            part.Machine = TARGET_ZX81;
            part.NameSize = name;
        }
    }
}

std::string BlockError(int block, uint8_t id, size_t offset, const std::string& what)
{
    char id_text[8];
    std::snprintf(id_text, sizeof id_text, "0x%02X", id);
    return "TZX block " + Text(static_cast<size_t>(block)) + " (ID " + id_text + ") at offset " +
           Text(offset) + " " + what;
}

}  // namespace

TapeFileKind TapeFileKindOf(const std::string& path, const uint8_t* data, size_t size)
{
    if (IsTzx(data, size)) return TAPE_FILE_TZX;
    const std::string extension = LowerExtension(path);
    if (extension == ".t81") return TAPE_FILE_T81;
    if (extension == ".tzx") return TAPE_FILE_TZX;
    if (extension == ".p81") return TAPE_FILE_P81;
    if (DetectTarget(data, static_cast<int>(size < LONGEST_IMAGE ? size : LONGEST_IMAGE)) !=
        TARGET_UNKNOWN) {
        return TAPE_FILE_NONE;
    }
    TapeFile records;
    return ReadP81(data, size, true, &records) ? TAPE_FILE_P81 : TAPE_FILE_NONE;
}

bool IsTzx(const uint8_t* data, size_t size)
{
    static const uint8_t signature[8] = {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A};
    if (size < sizeof signature) return false;
    for (size_t i = 0; i < sizeof signature; ++i) {
        if (data[i] != signature[i]) return false;
    }
    return true;
}

bool ReadP81(const uint8_t* data, size_t size, bool strict, TapeFile* tape)
{
    tape->Parts.clear();
    tape->Error.clear();
    for (size_t at = 0; at < size && (tape->Parts.empty() || size - at >= P81_GARBAGE);) {
        size_t name = 0;
        size_t image = 0;
        const char* why = ParseRecord(data, size, at, strict, &name, &image);
        if (*why != 0) {
            tape->Error = "the .p81 record at offset " + Text(at) + " does not parse: " + why;
            return false;
        }
        if (!tape->Parts.empty()) AddPause(tape, P81_PAUSE_SECONDS, at, 0, false);
        TapePart program;
        program.Offset = at;
        program.Machine = TARGET_ZX81;
        program.Bytes.assign(data + at, data + at + name + image);
        program.NameSize = name;
        program.BitCount = 8 * program.Bytes.size();
        tape->Parts.push_back(std::move(program));
        at += name + image;
    }
    if (tape->Parts.empty()) tape->Error = "holds no program";
    return tape->Error.empty();
}

bool ReadTzx(const uint8_t* data, size_t size, TapeFile* tape)
{
    tape->Parts.clear();
    tape->Error.clear();
    if (!IsTzx(data, size)) {
        tape->Error = "not a TZX file: it does not start with \"ZXTape!\"";
        return false;
    }
    if (size < TZX_HEADER) {
        tape->Error = "the TZX header is cut short";
        return false;
    }
    if (data[8] != 1) {
        tape->Error = "TZX version " + Text(data[8]) + "." + Text(data[9]) +
                      ", which this program cannot read";
        return false;
    }
    TzxPlayer p;
    p.Tape = tape;
    size_t loop_start = 0;  // where a loop's blocks start, and how often they are still played
    int loop_block = 0;
    unsigned loop_left = 0;
    size_t plays = 0;
    for (size_t pos = TZX_HEADER; pos < size;) {
        const uint8_t id = data[pos];
        const uint8_t* body = data + pos + 1;
        const size_t avail = size - pos - 1;
        uint64_t length = 0;
        p.Block += 1;
        p.Offset = pos;
        if (++plays > MOST_BLOCK_PLAYS) {
            tape->Error = BlockError(p.Block, id, pos, "cannot be read: its loops play too long");
            return false;
        }
        if (!BodyLength(id, body, avail, &length) || length > avail) {
            tape->Error = BlockError(p.Block, id, pos, "is cut short by the end of the file");
            return false;
        }
        const char* why = PlayBlock(&p, id, body, static_cast<size_t>(length));
        if (*why == 0 && p.TooLong) why = "makes the tape longer than 4 hours";
        if (*why != 0) {
            tape->Error = BlockError(p.Block, id, pos, std::string("cannot be read: ") + why);
            return false;
        }
        pos += 1 + static_cast<size_t>(length);
        if (id == 0x24) {
            loop_start = pos;
            loop_block = p.Block;
            loop_left = Little16(body);
        } else if (id == 0x25 && loop_left > 1) {
            --loop_left;
            pos = loop_start;
            p.Block = loop_block;
        }
    }
    ClassifyPrograms(p, tape);
    return true;
}

size_t ProgramCount(const TapeFile& tape)
{
    size_t count = 0;
    for (const TapePart& part : tape.Parts) {
        if (part.Kind == PART_PROGRAM && part.Machine != TARGET_UNKNOWN) ++count;
    }
    return count;
}

std::string PartName(const TapePart& part)
{
    std::string name;
    for (size_t i = 0; i < part.NameSize; ++i) {
        const unsigned code = part.Bytes[i] & 0x7F;
        name += code < 64 ? ZX81_CHARACTERS[code] : "?";
    }
    return name;
}

std::vector<uint8_t> PartImage(const TapePart& part)
{
    return std::vector<uint8_t>(part.Bytes.begin() + static_cast<std::ptrdiff_t>(part.NameSize),
                                part.Bytes.end());
}
