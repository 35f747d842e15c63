#include "read/naming.h"

#include <cerrno>
#include <cstdio>

#include "files/paths.h"
#include "read/program.h"

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

std::string RecordingStem(const std::string& path)
{
    if (path == "-") return "stdin";
    std::string base = BaseName(path);
    const size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    return base;
}

std::string Zx80FileName(const std::string& recording_path, int n)
{
    return RecordingStem(recording_path) + "-" + std::to_string(n) + ".o";
}

bool WriteNewFile(const std::string& directory, const std::string& name,
                  const std::vector<uint8_t>& bytes, std::string* written)
{
    const size_t dot = name.find_last_of('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    const bool ends_in_separator = !directory.empty() && IsPathSeparator(directory.back());
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
