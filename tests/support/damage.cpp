#include "support/damage.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "read/filter.h"

namespace {

using Samples = std::vector<double>;

// A Butterworth filter of even `order`, run over the whole signal a section at a time.
void Butterworth(Samples& x, double rate, double hz, int order, bool high)
{
    for (Biquad& section : ButterworthSections(rate, hz, order, high)) {
        for (double& v : x) v = RunBiquad(&section, v);
    }
}

// First-order high-pass (a coupling capacitor).
void HighPass1(Samples& x, double rate, double hz)
{
    const double a = 1.0 / (1.0 + 2 * M_PI * hz / rate);
    double previous_in = 0, previous_out = 0;
    for (double& v : x) {
        const double out = a * (previous_out + v - previous_in);
        previous_in = v;
        previous_out = out;
        v = out;
    }
}

// First-order shelf: gain 1 at low frequencies and 1 + boost above 1/(2 pi tau); with `undo`,
// the exact inverse (a record pre-emphasis and the playback de-emphasis that takes it back).
void Shelf(Samples& x, double rate, double tau, double boost, bool undo)
{
    // H(s) = ((1 + boost) s + w) / (s + w), bilinear transform with prewarping ignored.
    const double w = 1.0 / tau;
    const double k = 2.0 * rate;
    double b0 = (1 + boost) * k + w, b1 = w - (1 + boost) * k;
    double a0 = k + w, a1 = w - k;
    if (undo) {
        std::swap(b0, a0);
        std::swap(b1, a1);
    }
    double x1 = 0, y1 = 0;
    for (double& v : x) {
        const double y = (b0 * v + b1 * x1 - a1 * y1) / a0;
        x1 = v;
        y1 = y;
        v = y;
    }
}

// The stretch holding the signal: from the first to the last sample above a tenth of the peak.
void DataRegion(const Samples& x, size_t* first, size_t* last)
{
    double peak = 0;
    for (const double v : x) peak = std::max(peak, std::fabs(v));
    *first = 0;
    *last = x.size();
    while (*first < x.size() && std::fabs(x[*first]) < 0.1 * peak) ++*first;
    while (*last > *first && std::fabs(x[*last - 1]) < 0.1 * peak) --*last;
}

double DataRms(const Samples& x)
{
    size_t first, last;
    DataRegion(x, &first, &last);
    double power = 0;
    for (size_t i = first; i < last; ++i) power += x[i] * x[i];
    return std::sqrt(power / static_cast<double>(std::max<size_t>(1, last - first)));
}

void AddNoise(Samples& x, double snr_db, std::mt19937& rng)
{
    std::normal_distribution<double> noise(0.0, DataRms(x) * std::pow(10.0, -snr_db / 20));
    for (double& v : x) v += noise(rng);
}

// Reads the signal at a varying speed: `speed(t)` is how fast the tape moves at output time t
// (1 = as recorded). The output has `out_rate` samples per second.
template <typename Speed>
Samples Resample(const Samples& x, double in_rate, double out_rate, Speed speed)
{
    Samples y;
    double at = 0;  // input position, in input samples
    for (size_t n = 0;; ++n) {
        const auto i = static_cast<size_t>(at);
        if (i + 1 >= x.size()) break;
        y.push_back(x[i] + (at - static_cast<double>(i)) * (x[i + 1] - x[i]));
        at += speed(static_cast<double>(n) / out_rate) * in_rate / out_rate;
    }
    return y;
}

// COUNT dips of DB, each MS long with 2 ms raised-cosine edges, at random places in the data.
void Dips(Samples& x, double rate, int count, double db_low, double db_high, double ms_low,
          double ms_high, std::mt19937& rng)
{
    size_t first, last;
    DataRegion(x, &first, &last);
    const auto edge = static_cast<size_t>(0.002 * rate);
    if (last <= first + 4 * edge) return;
    std::uniform_real_distribution<double> depth(db_low, db_high), length(ms_low, ms_high);
    std::uniform_int_distribution<size_t> where(first, last - 1);
    for (int k = 0; k < count; ++k) {
        const double gain = std::pow(10.0, depth(rng) / 20);
        const auto inner = static_cast<size_t>(length(rng) / 1000 * rate);
        const size_t start = where(rng);
        for (size_t i = 0; i < inner + 2 * edge && start + i < x.size(); ++i) {
            double shape = 1;  // 1 inside, rising and falling at the edges
            if (i < edge)
                shape =
                    0.5 - 0.5 * std::cos(M_PI * static_cast<double>(i) / static_cast<double>(edge));
            if (i >= inner + edge) {
                shape = 0.5 + 0.5 * std::cos(M_PI * static_cast<double>(i - inner - edge) /
                                             static_cast<double>(edge));
            }
            x[start + i] *= 1 - shape * (1 - gain);
        }
    }
}

// A cassette chain: the machine's MIC socket or a sound card, a recorder, a tape, a player and
// the sound card that captures it. Each parameter is drawn from its range.
struct Range {
    double Low, High;
};
struct Chain {
    const char* Name;
    Range Coupling;      // Hz: the coupling capacitor into the recorder
    Range Boost;         // record pre-emphasis (120 us) boost; the playback takes it back
    Range Drive;         // tape saturation: tanh(drive x) / drive
    bool Agc;            // automatic level control while recording
    Range HeadLoss;      // Hz: gap loss and head wear, a 2nd-order low-pass
    Range AzimuthUs;     // us: the head's tilt averages the signal over this long
    Range HissDb;        // playback hiss, SNR in dB
    Range Speed;         // constant speed error
    Range Wow, Flutter;  // percent, at 0.4-1.2 Hz and 6-14 Hz
    int DipCount;        // per minute of signal
    Range DipDb, DipMs;
};

const Chain CHAINS[] = {
    {"hifi",
     {5, 10},
     {0, 0},
     {0.01, 0.01},
     false,
     {15000, 18000},
     {0, 0},
     {55, 60},
     {1, 1},
     {0, 0},
     {0, 0},
     0,
     {0, 0},
     {0, 0}},
    {"gooddeck",
     {60, 120},
     {2, 3},
     {0.8, 1.2},
     false,
     {7000, 9000},
     {10, 30},
     {40, 45},
     {0.99, 1.01},
     {0.1, 0.2},
     {0.05, 0.1},
     2,
     {-4, -2},
     {5, 15}},
    {"turnedhead",
     {60, 120},
     {2, 3},
     {0.8, 1.2},
     false,
     {7000, 9000},
     {180, 240},
     {38, 42},
     {0.99, 1.01},
     {0.1, 0.3},
     {0.05, 0.1},
     2,
     {-4, -2},
     {5, 15}},
    {"portable",
     {150, 300},
     {2, 3},
     {1.5, 2.5},
     true,
     {4500, 6000},
     {40, 80},
     {30, 34},
     {0.96, 1.04},
     {0.5, 1.0},
     {0.2, 0.4},
     4,
     {-8, -3},
     {5, 20}},
    {"worntape",
     {60, 150},
     {2, 3},
     {1.0, 1.5},
     false,
     {2800, 3500},
     {20, 60},
     {26, 30},
     {0.98, 1.02},
     {0.3, 0.6},
     {0.2, 0.3},
     10,
     {-15, -6},
     {5, 30}},
    {"oldtape",
     {80, 200},
     {2, 3},
     {1.2, 1.8},
     false,
     {3200, 4000},
     {120, 180},
     {24, 28},
     {0.95, 1.05},
     {0.6, 1.2},
     {0.2, 0.4},
     6,
     {-12, -4},
     {5, 30}},
};

void ApplyChain(Samples& x, double* rate, const Chain& c, std::mt19937& rng)
{
    auto draw = [&](Range r) { return std::uniform_real_distribution<double>(r.Low, r.High)(rng); };
    const double out_rate = 44100;

    // Recording: coupling, the recorder's own noise at the input, its level control, the
    // pre-emphasis and the tape's saturation.
    HighPass1(x, *rate, draw(c.Coupling));
    if (c.Agc) {
        std::normal_distribution<double> input_noise(0.0, 0.002);
        for (double& v : x) v += input_noise(rng);
        // Fast attack, slow release, up to 30 dB of gain: quiet stretches come up with their hiss.
        double envelope = 0.0;
        const double attack = 1 - std::exp(-1 / (0.002 * *rate));
        const double release = 1 - std::exp(-1 / (0.8 * *rate));
        for (double& v : x) {
            const double level = std::fabs(v);
            envelope += (level > envelope ? attack : release) * (level - envelope);
            v *= std::min(31.6, 0.5 / std::max(envelope, 1e-9));
        }
    }
    const double boost = draw(c.Boost);
    Shelf(x, *rate, 120e-6, boost, false);
    const double drive = draw(c.Drive);
    for (double& v : x) v = std::tanh(drive * v) / drive;

    // The tape: speed error, wow and flutter, dropouts.
    const double speed = draw(c.Speed), wow = draw(c.Wow) / 100, flutter = draw(c.Flutter) / 100;
    const double wow_hz = draw({0.4, 1.2}), flutter_hz = draw({6, 14});
    const double phase1 = draw({0, 2 * M_PI}), phase2 = draw({0, 2 * M_PI});
    x = Resample(x, *rate, out_rate, [&](double t) {
        return speed * (1 + wow * std::sin(2 * M_PI * wow_hz * t + phase1) +
                        flutter * std::sin(2 * M_PI * flutter_hz * t + phase2));
    });
    *rate = out_rate;
    const int dips =
        static_cast<int>(std::lround(c.DipCount * static_cast<double>(x.size()) / (60 * *rate)));
    Dips(x, *rate, dips, c.DipDb.Low, c.DipDb.High, c.DipMs.Low, c.DipMs.High, rng);

    // Playback: the head's tilt averages over a short stretch (a sinc response with nulls), gap
    // loss, the de-emphasis, hiss, and the sound card's own coupling.
    const double azimuth = draw(c.AzimuthUs) * 1e-6 * *rate;  // in samples
    if (azimuth > 1) {
        Samples y(x.size(), 0.0);
        double sum = 0;
        const auto span = static_cast<size_t>(azimuth);
        for (size_t i = 0; i < x.size(); ++i) {
            sum += x[i];
            if (i >= span) sum -= x[i - span];
            y[i] = sum / static_cast<double>(span);
        }
        x = y;
    }
    Butterworth(x, *rate, draw(c.HeadLoss), 2, false);
    Shelf(x, *rate, 120e-6, boost, true);
    AddNoise(x, draw(c.HissDb), rng);
    HighPass1(x, *rate, 10);
}

}  // namespace

bool ApplyDamage(std::vector<double>* x, double* rate, const std::vector<std::string>& words,
                 unsigned seed, std::string* error)
{
    std::mt19937 rng(seed);
    const int argc = static_cast<int>(words.size());
    auto arg = [&](int a) {
        return a < argc ? std::atof(words[static_cast<size_t>(a)].c_str()) : 0.0;
    };
    for (int a = 0; a < argc; ++a) {
        const std::string& what = words[static_cast<size_t>(a)];
        if (what == "gain") {
            for (double& v : *x) v *= std::pow(10.0, arg(a + 1) / 20);
        } else if (what == "noise") {
            AddNoise(*x, arg(a + 1), rng);
        } else if (what == "hum") {
            const double amplitude = 0.5 * std::pow(10.0, arg(a + 1) / 20);
            for (size_t i = 0; i < x->size(); ++i)
                (*x)[i] += amplitude * std::sin(2 * M_PI * 50 * static_cast<double>(i) / *rate);
        } else if (what == "dc") {
            for (double& v : *x) v += arg(a + 1);
        } else if (what == "invert") {
            for (double& v : *x) v = -v;
        } else if (what == "wow") {
            const double depth = arg(a + 1) / 100, hz = arg(a + 2);
            *x = Resample(*x, *rate, *rate,
                          [&](double t) { return 1 + depth * std::sin(2 * M_PI * hz * t); });
        } else if (what == "dropouts") {
            // Silences with hard edges, unlike dips.
            size_t first, last;
            DataRegion(*x, &first, &last);
            const auto length = static_cast<size_t>(arg(a + 2) / 1000 * *rate);
            if (last > first + length) {
                std::uniform_int_distribution<size_t> where(first, last - length - 1);
                for (int k = 0; k < static_cast<int>(arg(a + 1)); ++k) {
                    const size_t at = where(rng);
                    std::fill(x->begin() + static_cast<long>(at),
                              x->begin() + static_cast<long>(at + length), 0.0);
                }
            }
        } else if (what == "dips") {
            Dips(*x, *rate, static_cast<int>(arg(a + 1)), arg(a + 2), arg(a + 2), arg(a + 3),
                 arg(a + 3), rng);
        } else if (what == "lowpass" || what == "highpass") {
            Butterworth(*x, *rate, arg(a + 1), static_cast<int>(arg(a + 2)), what == "highpass");
        } else if (what == "clip") {
            const double level = arg(a + 1);
            for (double& v : *x) v = std::clamp(v, -level, level);
        } else if (what == "speed") {
            const double ratio = arg(a + 1);
            *x = Resample(*x, *rate, *rate, [&](double) { return ratio; });
        } else if (what == "cut") {
            const auto skip = static_cast<size_t>(arg(a + 1) * static_cast<double>(x->size()));
            x->erase(x->begin(), x->begin() + static_cast<long>(std::min(skip, x->size())));
        } else if (what == "chain") {
            const std::string name = a + 1 < argc ? words[static_cast<size_t>(a) + 1] : "";
            const Chain* chain = nullptr;
            for (const Chain& c : CHAINS) {
                if (name == c.Name) chain = &c;
            }
            if (chain == nullptr) {
                *error = "no chain " + name;
                return false;
            }
            ApplyChain(*x, rate, *chain, rng);
        } else if (what == "rate") {
            const double to = arg(a + 1);
            *x = Resample(*x, *rate, to, [](double) { return 1.0; });
            *rate = to;
        }
    }

    return true;
}
