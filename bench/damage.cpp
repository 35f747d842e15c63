// Damages a recording the way old tapes and their copies are damaged, for the reading benchmark:
// reads any audio file, writes a 16-bit mono WAV at the same rate.
//
//   damage IN OUT [gain DB] [noise SNR_DB] [hum DB] [dc OFFSET] [invert] [wow PERCENT HZ]
//                 [dropouts COUNT MS] [seed N]
//
// The signal is first taken to half of full scale, so that what is added does not clip; gain
// is relative to that. Noise is white, at SNR_DB below the signal's RMS; hum is a 50 Hz sine at
// DB relative to the signal's peak; wow varies the speed by PERCENT at HZ; dropouts are silences
// of MS milliseconds at random places after the lead-in.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
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
    for (double& v : x) v *= 0.5 / peak;
    const double rate = info.samplerate;

    unsigned seed = 1;
    for (int a = 3; a < argc; ++a) {
        if (std::string(argv[a]) == "seed") seed = static_cast<unsigned>(std::atoi(argv[a + 1]));
    }
    std::mt19937 rng(seed);
    for (int a = 3; a < argc; ++a) {
        const std::string what = argv[a];
        const double p = a + 1 < argc ? std::atof(argv[a + 1]) : 0.0;
        if (what == "gain") {
            for (double& v : x) v *= std::pow(10.0, p / 20);
        } else if (what == "noise") {
            double power = 0;
            for (const double v : x) power += v * v;
            const double sigma =
                std::sqrt(power / static_cast<double>(x.size())) * std::pow(10.0, -p / 20);
            std::normal_distribution<double> noise(0.0, sigma);
            for (double& v : x) v += noise(rng);
        } else if (what == "hum") {
            const double amplitude = 0.5 * std::pow(10.0, p / 20);
            for (size_t i = 0; i < x.size(); ++i)
                x[i] += amplitude * std::sin(2 * M_PI * 50 * static_cast<double>(i) / rate);
        } else if (what == "dc") {
            for (double& v : x) v += p;
        } else if (what == "invert") {
            for (double& v : x) v = -v;
        } else if (what == "wow") {
            const double depth = p / 100;
            const double hz = std::atof(argv[a + 2]);
            std::vector<double> y;
            for (double t = 0;; t += 1 / rate) {
                // Position in the input: the integral of 1 + depth sin(2 pi hz t).
                const double tau = t + depth / (2 * M_PI * hz) * (1 - std::cos(2 * M_PI * hz * t));
                const double at = tau * rate;
                const auto i = static_cast<size_t>(at);
                if (i + 1 >= x.size()) break;
                y.push_back(x[i] + (at - static_cast<double>(i)) * (x[i + 1] - x[i]));
            }
            x = y;
        } else if (what == "dropouts") {
            const auto count = static_cast<int>(p);
            const auto length = static_cast<size_t>(std::atof(argv[a + 2]) / 1000 * rate);
            const auto first = static_cast<size_t>(2.0 * rate);
            if (x.size() > first + length) {
                std::uniform_int_distribution<size_t> where(first, x.size() - length - 1);
                for (int k = 0; k < count; ++k) {
                    const size_t at = where(rng);
                    for (size_t i = at; i < at + length; ++i) x[i] = 0;
                }
            }
        }
    }

    SF_INFO out_info{};
    out_info.samplerate = info.samplerate;
    out_info.channels = 1;
    out_info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* out = sf_open(argv[2], SFM_WRITE, &out_info);
    if (out == nullptr) return 1;
    sf_command(out, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    sf_write_double(out, x.data(), static_cast<sf_count_t>(x.size()));
    sf_close(out);
    return 0;
}
