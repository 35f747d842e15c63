#include "image/file_names.h"

#include <cctype>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>

#include "conversion.h"
#include "files/paths.h"

void TransferFileNames(const char* infilename)
{
    const size_t length = std::strlen(infilename);
    // Just after the last separator, and the last dot of the base name: a dot in a directory
    // name starts no extension, and a dot at position 0 counts as none.
    size_t namestart = 0;
    size_t extdotpos = 0;
    for (size_t i = 0; i < length; ++i) {
        if (IsPathSeparator(infilename[i])) {
            namestart = i + 1;
            extdotpos = 0;
        } else if (infilename[i] == '.') {
            extdotpos = i;
        }
    }

    // A ".p" file (or ".81", the same format) is a ZX81 program, whatever was chosen before.
    if (extdotpos != 0 && (std::strcmp(infilename + extdotpos, ".p") == 0 ||
                           std::strcmp(infilename + extdotpos, ".81") == 0)) {
        targetFormat = TARGET_ZX81;
    }

    // The output goes beside the input: the whole path up to the extension.
    outFileName.assign(infilename, extdotpos != 0 ? extdotpos : length);
    if (!outFileName.empty()) {
        if (targetFormat == TARGET_ZX80) outFileName += "_ZX80";
        outFileName += ".wav";
    }

    if (!zxFileName.empty()) return;  // given on the command line

    // The tape name is the base name up to its extension.
    const size_t name_end = extdotpos != 0 ? extdotpos : length;
    if (name_end - namestart > MAX_ZXNAME_LENGTH) return;  // too long: stays empty
    for (size_t i = namestart; i < name_end; ++i) {
        zxFileName += static_cast<char>(std::toupper(static_cast<unsigned char>(infilename[i])));
    }
}

bool NameTheSameFile(const std::string& path_a, const std::string& path_b)
{
    if (path_a == path_b) return true;
    try {
        std::error_code error;
        // Paths in the platform's own narrow encoding, as the command line gives them.
        const bool same = std::filesystem::equivalent(std::filesystem::path(path_a),
                                                      std::filesystem::path(path_b), error);
        return !error && same;
    } catch (const std::exception&) {
        return false;  // a path the file system cannot even represent names no existing file
    }
}
