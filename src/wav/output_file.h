// The output file, written so that nothing of the user's is lost: the WAV goes to a temporary
// file beside the one it replaces and takes that file's place only once it is complete.
#pragma once

#include <cstdio>
#include <string>

/// The file receiving the WAV while it is written.
struct OutputFile {
    FILE* Stream = nullptr;
    std::string
        TargetPath;        // the file that ends up holding the WAV: the output path, links followed
    std::string TempPath;  // the temporary renamed over TargetPath; empty when written in place
};

/// Opens `path` for the WAV. A symbolic link is followed, so the link stays and its target gets
/// the WAV. An existing file that is not a regular one (a device, a FIFO) is written in place;
/// otherwise the stream writes to a new temporary file in the target's directory, with a name no
/// longer than the target's, and an interrupt or termination signal removes it until it is
/// closed. False if the output cannot be created (a missing or read-only directory, a name too
/// long for the file system, a directory at that path); then nothing was created or changed.
bool OpenOutputFile(const std::string& path, OutputFile* output);

/// Closes the stream and, if `written` and the close succeeded, renames the temporary over the
/// target. False on any failure: the temporary is removed, and the target is as it was before.
bool CloseOutputFile(OutputFile* output, bool written);
