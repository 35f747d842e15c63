#include "files/zip.h"

#include "files/little_endian.h"

namespace {

constexpr uint32_t END_SIGNATURE = 0x06054B50;    // end of central directory
constexpr uint32_t ENTRY_SIGNATURE = 0x02014B50;  // central directory entry
constexpr uint32_t LOCAL_SIGNATURE = 0x04034B50;  // local header
constexpr size_t END_SIZE = 22, ENTRY_SIZE = 46, LOCAL_SIZE = 30;

// Where the end-of-directory record is: searched from the end, past a comment of up to 64K.
bool FindEnd(const uint8_t* zip, size_t size, size_t* end)
{
    if (size < END_SIZE) return false;
    for (size_t at = size - END_SIZE + 1; at-- > 0 && size - at <= END_SIZE + 65535;) {
        if (Little32(zip + at) == END_SIGNATURE) {
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
    const unsigned count = Little16(zip + end + 10);
    size_t at = Little32(zip + end + 16);
    for (unsigned k = 0; k < count; ++k) {
        if (at > size || size - at < ENTRY_SIZE || Little32(zip + at) != ENTRY_SIGNATURE)
            return false;
        const uint8_t* e = zip + at;
        const size_t name_size = Little16(e + 28);
        const size_t local = Little32(e + 42);
        const size_t next = at + ENTRY_SIZE + name_size + Little16(e + 30) + Little16(e + 32);
        if (next > size || local > size || size - local < LOCAL_SIZE ||
            Little32(zip + local) != LOCAL_SIGNATURE) {
            return false;
        }
        ZipEntry entry;
        entry.Name.assign(reinterpret_cast<const char*>(e + ENTRY_SIZE), name_size);
        entry.Method = Little16(e + 10);
        entry.Crc = Little32(e + 16);
        entry.Packed = Little32(e + 20);
        entry.Size = Little32(e + 24);
        entry.Offset = local + LOCAL_SIZE + Little16(zip + local + 26) + Little16(zip + local + 28);
        if (entry.Offset > size || size - entry.Offset < entry.Packed) return false;
        if (!entry.Name.empty() && entry.Name.back() != '/') entries->push_back(entry);
        at = next;
    }
    return true;
}
