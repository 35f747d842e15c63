// The entries of a zip archive, found from its central directory: where each one's data lies,
// how it is packed, and its CRC-32. Unpacking is left to the caller (the browser's own).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ZipEntry {
    std::string Name;
    size_t Offset = 0;    // where the packed data starts in the archive
    size_t Packed = 0;    // bytes of packed data
    size_t Size = 0;      // bytes once unpacked
    unsigned Method = 0;  // 0 stored, 8 deflated
    uint32_t Crc = 0;
};

/// The files in the zip archive of `size` bytes at `zip`, in the order of its directory
/// (folders left out). False where the archive's directory cannot be read, or an entry's data
/// lies outside the archive.
bool ZipEntries(const uint8_t* zip, size_t size, std::vector<ZipEntry>* entries);
