#include "wav/output_file.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <random>

#include "files/paths.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#elif defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#define ZX8XWAV_POSIX 1
#endif

namespace fs = std::filesystem;

namespace {

// The temporary file the interrupt handlers remove: set while one exists and is being written.
const char* volatile pendingTempPath = nullptr;

#if defined(_WIN32)
// Ctrl-C, Ctrl-Break and closing the console end the process from a thread of their own. The
// temporary was opened with FILE_SHARE_DELETE, so it can be deleted while open: it vanishes when
// the process ends and its handle is closed.
BOOL WINAPI RemovePendingTempOnControl(DWORD)
{
    RemovePendingTempFile();
    return FALSE;  // the default handler then ends the process
}

void InstallGuard() { SetConsoleCtrlHandler(RemovePendingTempOnControl, TRUE); }
void RemoveGuard() { SetConsoleCtrlHandler(RemovePendingTempOnControl, FALSE); }
// The handler runs on its own thread: the path is published before the file can be written to.
void BlockInterrupts() {}
void UnblockInterrupts() {}
#else
constexpr int HANDLED_SIGNALS[] = {
    SIGINT,
    SIGTERM,
#ifdef SIGHUP
    SIGHUP,
#endif
};

extern "C" void RemovePendingTempAndDie(int sig)
{
    RemovePendingTempFile();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void InstallGuard()
{
    for (const int sig : HANDLED_SIGNALS) std::signal(sig, RemovePendingTempAndDie);
}

void RemoveGuard()
{
    for (const int sig : HANDLED_SIGNALS) std::signal(sig, SIG_DFL);
}

#ifdef ZX8XWAV_POSIX
// While the temporary file is created or renamed, a signal waits: it then finds the path set
// exactly when the file exists under it.
sigset_t blockedInterrupts;
sigset_t earlierMask;

void BlockInterrupts()
{
    sigemptyset(&blockedInterrupts);
    for (const int sig : HANDLED_SIGNALS) sigaddset(&blockedInterrupts, sig);
    pthread_sigmask(SIG_BLOCK, &blockedInterrupts, &earlierMask);
}

void UnblockInterrupts() { pthread_sigmask(SIG_SETMASK, &earlierMask, nullptr); }
#else
void BlockInterrupts() {}
void UnblockInterrupts() {}
#endif
#endif

// The directory part of a path, with its final separator ("" for a bare file name).
std::string DirectoryOf(const std::string& path) { return path.substr(0, FileNameStart(path)); }

// The path with every symbolic link at its end resolved, as opening it would; a dangling link
// gives the path it points to. Kept as given where there is no link.
std::string FollowLinks(std::string path)
{
    try {
        for (int hops = 0; hops < 40; ++hops) {  // a loop of links ends in a failed open later
            std::error_code error;
            if (!fs::is_symlink(fs::symlink_status(path, error))) break;
            const fs::path link = fs::read_symlink(path, error);
            if (error) break;
            path = link.is_absolute() ? link.string() : DirectoryOf(path) + link.string();
        }
    } catch (const std::exception&) {
        // A path the file system library cannot represent is opened as given.
    }
    return path;
}

enum FileKind { KIND_MISSING, KIND_REGULAR, KIND_DIRECTORY, KIND_OTHER };

FileKind KindOf(const std::string& path)
{
    try {
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        if (status.type() == fs::file_type::not_found) return KIND_MISSING;
        if (status.type() == fs::file_type::regular) return KIND_REGULAR;
        if (status.type() == fs::file_type::directory) return KIND_DIRECTORY;
        return error ? KIND_MISSING : KIND_OTHER;
    } catch (const std::exception&) {
        return KIND_MISSING;
    }
}

// The longest file name the directory takes, in bytes.
size_t LongestNameIn(const std::string& directory)
{
#ifdef ZX8XWAV_POSIX
    const long longest = pathconf(directory.empty() ? "." : directory.c_str(), _PC_NAME_MAX);
    if (longest > 0) return static_cast<size_t>(longest);
#else
    (void)directory;
#endif
    return 255;
}

// Puts `from` in the place of `to`, replacing any file there in one step.
bool ReplaceFile(const std::string& from, const std::string& to)
{
#if defined(_WIN32)
    // The narrow paths go to the same code-page API that opened them.
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#elif defined(ZX8XWAV_POSIX)
    return std::rename(from.c_str(), to.c_str()) == 0;
#else
    std::error_code error;
    fs::rename(from, to, error);
    return !error;
#endif
}

// Whether the user may write the existing file at `path`: it has write permission for them,
// and it is not a read-only file, which a user protects on purpose (even from root).
bool MayReplace(const std::string& path)
{
#if defined(_WIN32)
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0;
#elif defined(ZX8XWAV_POSIX)
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return true;  // gone: nothing to protect
    return access(path.c_str(), W_OK) == 0 && (status.st_mode & 0222) != 0;
#else
    (void)path;
    return true;
#endif
}

// Gives the new file what the user set on the file it replaces: its permission bits, and its
// owner and group where this process may set them (root may; others may keep a group they are
// in). Nothing is changed for a new output.
void KeepWhatWasSet(FILE* stream, const std::string& replaced)
{
#ifdef ZX8XWAV_POSIX
    struct stat status {};
    if (stat(replaced.c_str(), &status) != 0) return;
    const int fd = fileno(stream);
    if (fchown(fd, status.st_uid, status.st_gid) != 0 &&
        fchown(fd, static_cast<uid_t>(-1), status.st_gid) != 0) {
        // Neither is allowed: the new file has this process's owner and group.
    }
    if (fchmod(fd, status.st_mode & 0777) != 0) {
        // A file system without permissions: the file keeps those it was created with.
    }
#else
    (void)stream;
    (void)replaced;
#endif
}

// Creates a temporary file in `directory` whose name has at most `longest` characters (at
// least 1), so that it fits wherever the final name fits. Sets *temp_path to its path.
FILE* CreateTempFile(const std::string& directory, size_t longest, std::string* temp_path)
{
    static const char LETTERS[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    const size_t length = longest < 10 ? longest : 10;
    int marker = 0;  // its address varies from run to run where the stack is randomised
    std::minstd_rand rng(static_cast<std::minstd_rand::result_type>(
        std::random_device{}() ^
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        reinterpret_cast<uintptr_t>(&marker)));
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = length > 1 ? "~" : "";
        while (name.size() < length) name += LETTERS[rng() % (sizeof LETTERS - 1)];
        *temp_path = directory + name;
        BlockInterrupts();
        FILE* stream = CreateNewFile(*temp_path);
        if (stream != nullptr) pendingTempPath = temp_path->c_str();
        UnblockInterrupts();
        if (stream != nullptr) return stream;
        if (KindOf(*temp_path) == KIND_MISSING) break;  // not a clash: the directory refuses
    }
    temp_path->clear();
    return nullptr;
}

}  // namespace

void RemovePendingTempFile()
{
    const char* temp = pendingTempPath;
    if (temp == nullptr) return;
#ifdef ZX8XWAV_POSIX
    unlink(temp);  // async-signal-safe, unlike remove()
#elif defined(_WIN32)
    DeleteFileA(temp);
#else
    std::remove(temp);
#endif
}

bool OpenOutputFile(const std::string& path, OutputFile* output)
{
    output->Stream = nullptr;
    output->TargetPath = FollowLinks(path);
    output->TempPath.clear();

    const FileKind kind = KindOf(output->TargetPath);
    if (kind == KIND_DIRECTORY) return false;
    if (kind == KIND_OTHER) {
        // A device or a FIFO cannot be replaced: it is written in place, as it always was.
        output->Stream = std::fopen(output->TargetPath.c_str(), "wb");
        return output->Stream != nullptr;
    }

    // A file the user may not write is not replaced either: writing it in place would fail.
    if (kind == KIND_REGULAR && !MayReplace(output->TargetPath)) return false;
    const std::string directory = DirectoryOf(output->TargetPath);
    const size_t name_length = output->TargetPath.size() - directory.size();
    if (name_length == 0 || name_length > LongestNameIn(directory)) return false;
    // The handlers are in place before the file exists, so that no interrupt leaves it behind.
    InstallGuard();
    output->Stream = CreateTempFile(directory, name_length, &output->TempPath);
    if (output->Stream == nullptr) {
        RemoveGuard();
        return false;
    }
    if (kind == KIND_REGULAR) KeepWhatWasSet(output->Stream, output->TargetPath);
    return true;
}

bool CloseOutputFile(OutputFile* output, bool written)
{
    const bool closed = std::fclose(output->Stream) == 0;
    output->Stream = nullptr;
    if (output->TempPath.empty()) return written && closed;

    BlockInterrupts();
    const bool replaced = written && closed && ReplaceFile(output->TempPath, output->TargetPath);
    if (!replaced) std::remove(output->TempPath.c_str());
    pendingTempPath = nullptr;
    UnblockInterrupts();
    RemoveGuard();
    output->TempPath.clear();
    return replaced;
}
