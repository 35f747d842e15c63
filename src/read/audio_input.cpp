#include "read/audio_input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef ZX8XREAD_SNDFILE
#include <sndfile.h>
#endif
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

enum Encoding { PCM_U8 = 1, PCM_S16, PCM_S24, PCM_S32, FLOAT_32, FLOAT_64 };

constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

uint32_t Little(const unsigned char* bytes, int count)
{
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

// Reads and drops `count` bytes: a pipe cannot seek.
bool Skip(FILE* file, uint64_t count)
{
    unsigned char buffer[4096];
    while (count > 0) {
        const size_t step = count < sizeof buffer ? static_cast<size_t>(count) : sizeof buffer;
        if (std::fread(buffer, 1, step, file) != step) return false;
        count -= step;
    }
    return true;
}

// The encoding of a WAV format chunk's samples; 0 for one this program does not decode.
int EncodingOf(const unsigned char* fmt, uint32_t size, int* bits)
{
    uint16_t tag = static_cast<uint16_t>(Little(fmt, 2));
    *bits = static_cast<int>(Little(fmt + 14, 2));
    // WAVE_FORMAT_EXTENSIBLE names the real format in the first two bytes of its subformat.
    if (tag == WAVE_FORMAT_EXTENSIBLE && size >= 26)
        tag = static_cast<uint16_t>(Little(fmt + 24, 2));
    if (tag == WAVE_FORMAT_PCM) {
        if (*bits == 8) return PCM_U8;
        if (*bits == 16) return PCM_S16;
        if (*bits == 24) return PCM_S24;
        if (*bits == 32) return PCM_S32;
    }
    if (tag == WAVE_FORMAT_IEEE_FLOAT) {
        if (*bits == 32) return FLOAT_32;
        if (*bits == 64) return FLOAT_64;
    }
    return 0;
}

// Reads a WAV file's chunks up to its data. False with *error set if it holds none this
// program can read; *undecoded is set where the file is a WAV of an encoding it cannot decode.
bool OpenWav(Recording* r, std::string* error, bool* undecoded)
{
    *undecoded = false;
    bool have_format = false;
    unsigned char chunk[8];
    for (;;) {
        if (std::fread(chunk, 1, 8, r->File) != 8) {
            *error = "not a recording this program can read (a WAV file without sound data)";
            return false;
        }
        const uint32_t size = Little(chunk + 4, 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char fmt[64] = {};
            const uint32_t kept = size < sizeof fmt ? size : sizeof fmt;
            if (size < 16 || std::fread(fmt, 1, kept, r->File) != kept ||
                !Skip(r->File, size - kept + (size & 1))) {
                *error = "not a recording this program can read (a damaged WAV header)";
                return false;
            }
            int bits = 0;
            r->Encoding = EncodingOf(fmt, size, &bits);
            r->Channels = static_cast<int>(Little(fmt + 2, 2));
            r->Rate = static_cast<int>(Little(fmt + 4, 4));
            r->FrameBytes = r->Channels * (bits / 8);
            if (r->Encoding == 0) {
                *undecoded = true;
                *error =
                    "not a recording this program can read (a WAV encoding other than PCM "
                    "or float)";
                return false;
            }
            have_format = r->Channels > 0 && r->Rate > 0;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!have_format) {
                *error = "not a recording this program can read (a damaged WAV header)";
                return false;
            }
            // 0 and 0xFFFFFFFF mark a file written as a stream, of unknown length.
            r->LengthKnown = size != 0 && size != 0xFFFFFFFF;
            r->Declared = size;
            return true;
        } else if (!Skip(r->File, static_cast<uint64_t>(size) + (size & 1))) {
            *error = "not a recording this program can read (a WAV file without sound data)";
            return false;
        }
    }
}

// A float sample clipped to full scale, as a sound card would play it; what is not a number at
// all is silence.
float InRange(float value)
{
    if (!(value == value)) return 0.0f;
    return std::min(1.0f, std::max(-1.0f, value));
}

float SampleAt(const uint8_t* p, int encoding)
{
    switch (encoding) {
        case PCM_U8:
            return static_cast<float>((p[0] - 128) / 128.0);
        case PCM_S16:
            return static_cast<float>(static_cast<int16_t>(Little(p, 2)) / 32768.0);
        case PCM_S24:
            return static_cast<float>(static_cast<int32_t>(Little(p, 3) << 8) / 2147483648.0);
        case PCM_S32:
            return static_cast<float>(static_cast<int32_t>(Little(p, 4)) / 2147483648.0);
        case FLOAT_32: {
            const uint32_t word = Little(p, 4);
            float value;
            std::memcpy(&value, &word, 4);
            return InRange(value);
        }
        default: {
            const uint64_t word = Little(p, 4) | static_cast<uint64_t>(Little(p + 4, 4)) << 32;
            double value;
            std::memcpy(&value, &word, 8);
            return InRange(static_cast<float>(value));
        }
    }
}

#ifdef ZX8XREAD_SNDFILE
// Hands the input to libsndfile: from its start where it can seek, else from a temporary copy
// of the whole stream (the `head` bytes already read, then the rest).
bool OpenWithLibrary(Recording* r, const unsigned char* head, size_t head_size, std::string* error)
{
    int fd = -1;
    if (std::fseek(r->File, 0, SEEK_SET) == 0) {
        fd = fileno(r->File);
        lseek(fd, 0, SEEK_SET);
    } else {
        r->Spool = std::tmpfile();
        if (r->Spool == nullptr) {
            *error = std::string("cannot read: ") + std::strerror(errno);
            return false;
        }
        std::fwrite(head, 1, head_size, r->Spool);
        unsigned char buffer[65536];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, r->File)) > 0) {
            std::fwrite(buffer, 1, got, r->Spool);
        }
        if (std::fflush(r->Spool) != 0 || std::ferror(r->Spool)) {
            *error = "cannot read: no room for a copy of the stream";
            return false;
        }
        fd = fileno(r->Spool);
        lseek(fd, 0, SEEK_SET);
    }
    SF_INFO info{};
    SNDFILE* sound = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
    if (sound == nullptr) {
        *error =
            std::string("not a recording this program can read (") + sf_strerror(nullptr) + ")";
        return false;
    }
    r->Library = sound;
    r->Channels = info.channels;
    r->Rate = info.samplerate;
    return true;
}
#endif

}  // namespace

bool OpenRecording(const std::string& path, Recording* r, std::string* error)
{
    if (path == "-") {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        return OpenRecordingStream(stdin, false, r, error);
    }
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *r = Recording{};
        *error = std::string("cannot read: ") + std::strerror(errno);
        return false;
    }
    return OpenRecordingStream(file, true, r, error);
}

bool OpenRecordingStream(FILE* stream, bool owns, Recording* r, std::string* error)
{
    *r = Recording{};
    r->File = stream;
    r->OwnsFile = owns;
    unsigned char head[12];
    const size_t got = std::fread(head, 1, sizeof head, r->File);
    if (std::ferror(r->File)) {
        *error = std::string("cannot read: ") + std::strerror(errno);
        return false;
    }
    bool opened = false;
    bool undecoded = true;
    if (IsWavHeader(head, got)) {
        opened = OpenWav(r, error, &undecoded);
    } else {
        *error = "not a recording this program can read (not a WAV file)";
    }
#ifdef ZX8XREAD_SNDFILE
    if (!opened && undecoded) opened = OpenWithLibrary(r, head, got, error);
#endif
    if (!opened) return false;
    if (r->Channels < 1 || r->Rate < LOWEST_RATE) {
        *error = "its rate of " + std::to_string(r->Rate) +
                 " samples per second is too low: " + std::to_string(LOWEST_RATE / 1000) +
                 " kHz or more is needed";
        if (r->Channels < 1) *error = "not a recording this program can read (no channels)";
        return false;
    }
    // Each channel is read as a tape of its own: a file claiming thousands (a damaged header)
    // would take gigabytes of memory and is no recording of a tape.
    if (r->Channels > MOST_CHANNELS) {
        *error = "not a recording this program can read (" + std::to_string(r->Channels) +
                 " channels; " + std::to_string(MOST_CHANNELS) + " at most)";
        return false;
    }
    // Opened after all (by the library, where this program's own WAV reader gave up): no error.
    error->clear();
    return true;
}

bool IsWavHeader(const unsigned char* head, size_t size)
{
    return size >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0;
}

int64_t ReadFrames(Recording* r, std::vector<float>* samples, int64_t frames)
{
    samples->resize(static_cast<size_t>(frames * r->Channels));
#ifdef ZX8XREAD_SNDFILE
    if (r->Library != nullptr) {
        const sf_count_t read =
            sf_readf_float(static_cast<SNDFILE*>(r->Library), samples->data(), frames);
        samples->resize(static_cast<size_t>(read * r->Channels));
        for (float& value : *samples) value = InRange(value);
        return read;
    }
#endif
    uint64_t want = static_cast<uint64_t>(frames) * static_cast<uint64_t>(r->FrameBytes);
    if (r->LengthKnown) want = std::min(want, r->Declared - std::min(r->Declared, r->DataRead));
    r->Raw.resize(static_cast<size_t>(want));
    const size_t got = std::fread(r->Raw.data(), 1, r->Raw.size(), r->File);
    r->DataRead += got;
    if (got < want && r->LengthKnown && r->DataRead < r->Declared) {
        r->Truncation = "truncated WAV: its data chunk declares " + std::to_string(r->Declared) +
                        " bytes, the file holds " + std::to_string(r->DataRead);
    }
    const size_t read = got / static_cast<size_t>(r->FrameBytes);
    const size_t sample_bytes = static_cast<size_t>(r->FrameBytes / r->Channels);
    samples->resize(read * static_cast<size_t>(r->Channels));
    for (size_t i = 0; i < samples->size(); ++i) {
        (*samples)[i] = SampleAt(r->Raw.data() + i * sample_bytes, r->Encoding);
    }
    return static_cast<int64_t>(read);
}

void CloseRecording(Recording* r)
{
#ifdef ZX8XREAD_SNDFILE
    if (r->Library != nullptr) sf_close(static_cast<SNDFILE*>(r->Library));
#endif
    r->Library = nullptr;
    if (r->Spool != nullptr) std::fclose(r->Spool);
    r->Spool = nullptr;
    if (r->File != nullptr && r->OwnsFile) std::fclose(r->File);
    r->File = nullptr;
}
