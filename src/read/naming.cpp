#include "read/naming.h"

#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#endif

#include "read/program.h"

namespace {

// What ends a folder's name in a path.
#ifdef _WIN32
const char SEPARATORS[] = "/\\:";
#else
const char SEPARATORS[] = "/";
#endif

// Creates `path` for writing, or gives nullptr with errno EEXIST where a file of that name
// exists. The C library of Windows ignores fopen's "x", so there the file is created with
// _O_EXCL itself.
FILE* CreateNewFile(const std::string& path)
{
#ifdef _WIN32
    const int fd =
        _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) _close(fd);
    return file;
#else
    return std::fopen(path.c_str(), "wbx");
#endif
}

}  // namespace

std::string Zx81FileName(const std::vector<uint8_t>& tape_name)
{
    std::string name;
    for (const uint8_t code : tape_name) {
        char c = NameCharacter(code);
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        const bool fits = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                          (c == '.' && !name.empty());
        name += fits ? c : '_';
    }
    return name + ".p";
}

std::string Zx80FileName(const std::string& recording_path, int n)
{
    const size_t slash = recording_path.find_last_of(SEPARATORS);
    std::string base =
        slash == std::string::npos ? recording_path : recording_path.substr(slash + 1);
    const size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    return base + "-" + std::to_string(n) + ".o";
}

bool WriteNewFile(const std::string& directory, const std::string& name,
                  const std::vector<uint8_t>& bytes, std::string* written)
{
    const size_t dot = name.find_last_of('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    const bool ends_in_separator =
        !directory.empty() && std::string(SEPARATORS).find(directory.back()) != std::string::npos;
    const std::string prefix = directory.empty() || ends_in_separator ? directory : directory + "/";
    for (int n = 1;; ++n) {
        *written = prefix + (n == 1 ? name : stem + "-" + std::to_string(n) + extension);
        FILE* file = CreateNewFile(*written);
        if (file == nullptr) {
            if (errno == EEXIST) continue;
            return false;
        }
        const bool complete = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (std::fclose(file) != 0 || !complete) {
            std::remove(written->c_str());
            return false;
        }
        return true;
    }
}
