#include "files/zip.h"

namespace {

unsigned U16(const uint8_t* b) { return b[0] | unsigned{b[1]} << 8; }
uint32_t U32(const uint8_t* b) { return U16(b) | uint32_t{U16(b + 2)} << 16; }

constexpr uint32_t END_SIGNATURE = 0x06054B50;    // end of central directory
constexpr uint32_t ENTRY_SIGNATURE = 0x02014B50;  // central directory entry
constexpr uint32_t LOCAL_SIGNATURE = 0x04034B50;  // local header
constexpr size_t END_SIZE = 22, ENTRY_SIZE = 46, LOCAL_SIZE = 30;

// Where the end-of-directory record is: searched from the end, past a comment of up to 64K.
bool FindEnd(const uint8_t* zip, size_t size, size_t* end)
{
    if (size < END_SIZE) return false;
    for (size_t at = size - END_SIZE + 1; at-- > 0 && size - at <= END_SIZE + 65535;) {
        if (U32(zip + at) == END_SIGNATURE) {
            *end = at;
            return true;
        }
    }
    return false;
}

}  // namespace

bool ZipEntries(const uint8_t* zip, size_t size, std::vector<ZipEntry>* entries)
{
    entries->clear();
    size_t end = 0;
    if (!FindEnd(zip, size, &end)) return false;
    const unsigned count = U16(zip + end + 10);
    size_t at = U32(zip + end + 16);
    for (unsigned k = 0; k < count; ++k) {
        if (at > size || size - at < ENTRY_SIZE || U32(zip + at) != ENTRY_SIGNATURE) return false;
        const uint8_t* e = zip + at;
        const size_t name_size = U16(e + 28);
        const size_t local = U32(e + 42);
        const size_t next = at + ENTRY_SIZE + name_size + U16(e + 30) + U16(e + 32);
        if (next > size || local > size || size - local < LOCAL_SIZE ||
            U32(zip + local) != LOCAL_SIGNATURE) {
            return false;
        }
        ZipEntry entry;
        entry.Name.assign(reinterpret_cast<const char*>(e + ENTRY_SIZE), name_size);
        entry.Method = U16(e + 10);
        entry.Crc = U32(e + 16);
        entry.Packed = U32(e + 20);
        entry.Size = U32(e + 24);
        entry.Offset = local + LOCAL_SIZE + U16(zip + local + 26) + U16(zip + local + 28);
        if (entry.Offset > size || size - entry.Offset < entry.Packed) return false;
        if (!entry.Name.empty() && entry.Name.back() != '/') entries->push_back(entry);
        at = next;
    }
    return true;
}
