// Tape files on arbitrary bytes: the .p81 and TZX readers never read outside the data, never
// loop without end, and what they accept holds whole programs and a bounded signal; the zip
// directory reader only gives entries whose data lies inside the archive.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "files/zip.h"
#include "image/tape_file.h"
#include "tape/tape.h"

namespace {

void Require(bool condition)
{
    if (!condition) std::abort();
}

void CheckTape(const TapeFile& tape)
{
    for (const TapePart& part : tape.Parts) {
        Require(part.Kind != PART_PROGRAM || part.BitCount <= 8 * part.Bytes.size());
        Require(part.NameSize <= part.Bytes.size());
    }
    const double seconds = TapePartStarts(tape).back();
    Require(seconds >= 0 && seconds <= LONGEST_TAPE_SECONDS + 3 * 3600);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TapeFile tape;
    if (ReadTzx(data, size, &tape)) CheckTape(tape);
    for (const bool strict : {false, true}) {
        if (ReadP81(data, size, strict, &tape)) {
            Require(ProgramCount(tape) > 0);
            CheckTape(tape);
        }
    }
    TapeFileKindOf("x.bin", data, size);
    std::vector<ZipEntry> entries;
    if (ZipEntries(data, size, &entries)) {
        for (const ZipEntry& e : entries) Require(e.Offset <= size && e.Packed <= size - e.Offset);
    }
    return 0;
}
