#include "read/audio_input.h"

#include <sndfile.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

uint32_t Little32(const unsigned char* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// A WAV file whose data chunk claims more bytes than the file holds was cut short: the library
// reads what is there without a word, so its chunks are walked here. Empty if it is whole or
// not a RIFF file.
std::string WavTruncation(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return "";
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    unsigned char header[12];
    std::string truncation;
    if (std::fread(header, 1, 12, file) == 12 && std::memcmp(header, "RIFF", 4) == 0 &&
        std::memcmp(header + 8, "WAVE", 4) == 0) {
        long at = 12;
        unsigned char chunk[8];
        while (std::fseek(file, at, SEEK_SET) == 0 && std::fread(chunk, 1, 8, file) == 8) {
            const uint32_t length = Little32(chunk + 4);
            if (std::memcmp(chunk, "data", 4) == 0) {
                // 0 and 0xFFFFFFFF mark a file written as a stream, of unknown length.
                const long available = size - at - 8;
                if (length != 0 && length != 0xFFFFFFFF && length > available) {
                    truncation = "truncated WAV: its data chunk declares " +
                                 std::to_string(length) + " bytes, the file holds " +
                                 std::to_string(available);
                }
                break;
            }
            at += 8 + static_cast<long>(length) + static_cast<long>(length & 1);
        }
    }
    std::fclose(file);
    return truncation;
}

}  // namespace

bool OpenRecording(const std::string& path, Recording* recording, std::string* error)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        FILE* plain = std::fopen(path.c_str(), "rb");
        if (plain == nullptr) {
            *error = std::string("cannot read: ") + std::strerror(errno);
        } else {
            std::fclose(plain);
            *error =
                std::string("not a recording this program can read (") + sf_strerror(nullptr) + ")";
        }
        return false;
    }
    recording->File = file;
    recording->Channels = info.channels;
    recording->Rate = info.samplerate;
    recording->Truncation =
        (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV ? WavTruncation(path) : "";
    return true;
}

int64_t ReadFrames(Recording* recording, std::vector<float>* samples, int64_t frames)
{
    samples->resize(static_cast<size_t>(frames * recording->Channels));
    const sf_count_t read =
        sf_readf_float(static_cast<SNDFILE*>(recording->File), samples->data(), frames);
    samples->resize(static_cast<size_t>(read * recording->Channels));
    return read;
}

void CloseRecording(Recording* recording)
{
    if (recording->File != nullptr) sf_close(static_cast<SNDFILE*>(recording->File));
    recording->File = nullptr;
}
