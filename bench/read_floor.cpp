// The floor for zx8xread's speed: reads every frame of a recording as floats with libsndfile,
// as zx8xread does, and does nothing with them.
//
//   read_floor RECORDING
#include <sndfile.h>

#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    SF_INFO info{};
    SNDFILE* file = sf_open(argv[1], SFM_READ, &info);
    if (file == nullptr) return 1;
    std::vector<float> frames(static_cast<size_t>(65536 * info.channels));
    double sum = 0;
    while (sf_count_t read = sf_readf_float(file, frames.data(), 65536))
        sum += frames[0] + static_cast<double>(read);
    sf_close(file);
    return sum == -1 ? 1 : 0;  // keeps the reads from being optimised away
}
