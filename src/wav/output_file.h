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
/// longer than the target's, and an interrupt, a termination signal or (on Windows) closing the
/// console removes it until it is closed. The temporary takes the permission bits, owner and
/// group of the file it will replace, as far as the process may set them. False if the output
/// cannot be created (a missing or read-only directory, a name too long for the file system, a
/// directory at that path, an existing file the user may not write or that is read-only); then
/// nothing was created or changed.
bool OpenOutputFile(const std::string& path, OutputFile* output);

/// Removes the temporary file of an open output, as an interrupt does: only async-signal-safe
/// calls. Does nothing when no temporary exists.
void RemovePendingTempFile();

/// Closes the stream and, if `written` and the close succeeded, renames the temporary over the
/// target. False on any failure: the temporary is removed, and the target is as it was before.
bool CloseOutputFile(OutputFile* output, bool written);
