// Damages a recording the way old tapes, their decks and their copies damage it, for the reading
// benchmark: reads any audio file (its first channel), takes it to half of full scale so that
// what is added does not clip, applies the operations in the order given (tests/support/damage.h
// lists them), and writes a 16-bit mono WAV.
//
//   damage IN OUT [OPERATION ARGUMENTS]... [seed N]
#include "support/damage.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 3) return 2;
    SF_INFO info{};
    SNDFILE* in = sf_open(argv[1], SFM_READ, &info);
    if (in == nullptr) return 1;
    std::vector<float> frames(static_cast<size_t>(info.frames * info.channels));
    sf_readf_float(in, frames.data(), info.frames);
    sf_close(in);
    std::vector<double> x(static_cast<size_t>(info.frames));
    double peak = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = frames[i * static_cast<size_t>(info.channels)];
        peak = std::max(peak, std::fabs(x[i]));
    }
    for (double& v : x) v *= 0.5 / std::max(peak, 1e-9);
    double rate = info.samplerate;

    unsigned seed = 1;
    for (int a = 3; a + 1 < argc; ++a) {
        if (std::string(argv[a]) == "seed") seed = static_cast<unsigned>(std::atoi(argv[a + 1]));
    }
    std::string error;
    if (!ApplyDamage(&x, &rate, std::vector<std::string>(argv + 3, argv + argc), seed, &error)) {
        std::fprintf(stderr, "damage: %s\n", error.c_str());
        return 2;
    }

    SF_INFO out_info{};
    out_info.samplerate = static_cast<int>(rate);
    out_info.channels = 1;
    out_info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* out = sf_open(argv[2], SFM_WRITE, &out_info);
    if (out == nullptr) return 1;
    sf_command(out, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    sf_write_double(out, x.data(), static_cast<sf_count_t>(x.size()));
    sf_close(out);
    return 0;
}
