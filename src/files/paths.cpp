#include "files/paths.h"

#include <cctype>
#include <cerrno>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#elif defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <unistd.h>
#define ZX8XWAV_POSIX 1
#endif

bool IsPathSeparator(char c)
{
#ifdef _WIN32
    if (c == ':') return true;
#endif
    return c == '/' || c == '\\';
}

size_t FileNameStart(const std::string& path)
{
    size_t start = path.size();
    while (start > 0 && !IsPathSeparator(path[start - 1])) --start;
    return start;
}

std::string BaseName(const std::string& path) { return path.substr(FileNameStart(path)); }

FILE* CreateNewFile(const std::string& path)
{
#if defined(_WIN32)
    // FILE_SHARE_DELETE lets an interrupt delete the file while it is open.
    const HANDLE handle =
        CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        errno = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? EEXIST : EACCES;
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* stream = _fdopen(fd, "wb");
    if (stream == nullptr) _close(fd);
    return stream;
#elif defined(ZX8XWAV_POSIX)
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) close(fd);
    return stream;
#else
    // Without an exclusive create, make sure at least that nothing is there now.
    if (FILE* existing = std::fopen(path.c_str(), "rb")) {
        std::fclose(existing);
        errno = EEXIST;
        return nullptr;
    }
    return std::fopen(path.c_str(), "wb");
#endif
}

std::string LowerExtension(const std::string& path)
{
    const std::string name = BaseName(path);
    const size_t dot = name.rfind('.');
    std::string extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}
