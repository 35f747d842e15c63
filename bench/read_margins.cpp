// How clear zx8xread thought the bits it got wrong were: takes the bits zx8xread's --trace shows
// from a program's start on (from the same reading that wrote the program), and prints the number
// of bits it got wrong (image and tape name), the highest margin of a byte holding one, and the
// lowest margin of a right bit.
//
//   read_margins TRACE START EXPECTED_IMAGE [NAME]
//
// TRACE is what zx8xread --trace wrote on standard error; START the program's start in seconds,
// as its report gives it; NAME the ZX81 tape name in capitals (none for a ZX80 program).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// ZX81 character codes of a name in capitals and digits.
std::vector<uint8_t> NameCodes(const std::string& text)
{
    std::vector<uint8_t> codes;
    for (const char c : text) {
        codes.push_back(
            static_cast<uint8_t>(c >= 'A' && c <= 'Z' ? 38 + (c - 'A') : 28 + (c - '0')));
    }
    return codes;
}

// Adds the bits of `got` against `want` to the tallies. The two are lined up first, allowing a
// few bits lost or gained: after a lost or gained bit the rest is shifted, read clearly and
// wrong, so only the bits read as the other value (and a bit gained) count as wrong.
void Compare(const std::vector<uint8_t>& got, const std::vector<float>& margins,
             const std::vector<uint8_t>& want, int* wrong, float* highest_wrong,
             float* lowest_right)
{
    constexpr int BAND = 8;  // bits of shift allowed
    constexpr int WIDTH = 2 * BAND + 1;
    const int n = static_cast<int>(8 * got.size()), m = static_cast<int>(8 * want.size());
    auto bit = [](const std::vector<uint8_t>& bytes, int b) {
        return (bytes[b / 8] >> (7 - b % 8)) & 1;
    };
    // cost[i][d]: the cheapest lining up of got's first i bits with want's first i + d - BAND.
    // step: 0 both advance, 1 a bit of got gained, 2 a bit of want lost.
    const int HUGE = 1 << 30;
    std::vector<int> cost(static_cast<size_t>(n + 1) * WIDTH, HUGE);
    std::vector<uint8_t> step(cost.size(), 0);
    auto at = [&](int i, int d) { return static_cast<size_t>(i) * WIDTH + static_cast<size_t>(d); };
    for (int i = 0; i <= n; ++i) {
        for (int d = 0; d < WIDTH; ++d) {
            const int j = i + d - BAND;
            if (j < 0 || j > m) continue;
            if (i == 0 && j == 0) {
                cost[at(i, d)] = 0;
                continue;
            }
            int best = HUGE, how = 0;
            if (i > 0 && j > 0 && cost[at(i - 1, d)] < HUGE) {
                best = cost[at(i - 1, d)] + (bit(got, i - 1) != bit(want, j - 1));
            }
            if (i > 0 && d + 1 < WIDTH && cost[at(i - 1, d + 1)] + 1 < best) {
                best = cost[at(i - 1, d + 1)] + 1, how = 1;
            }
            if (j > 0 && d > 0 && cost[at(i, d - 1)] + 1 < best)
                best = cost[at(i, d - 1)] + 1, how = 2;
            cost[at(i, d)] = best;
            step[at(i, d)] = static_cast<uint8_t>(how);
        }
    }
    int i = n, d = m - n + BAND;
    if (d < 0 || d >= WIDTH) return;
    // Doubt is told byte by byte: a wrong bit counts with its byte's margin, the least of its bits.
    auto byte_margin = [&](int b) {
        const auto first = margins.begin() + 8 * (b / 8);
        return *std::min_element(first, first + 8);
    };
    while (i > 0 || d != BAND) {
        const int how = step[at(i, d)];
        const int j = i + d - BAND;
        if (how == 0) {
            if (bit(got, i - 1) != bit(want, j - 1)) {
                ++*wrong;
                *highest_wrong = std::max(*highest_wrong, byte_margin(i - 1));
            } else {
                *lowest_right = std::min(*lowest_right, margins[static_cast<size_t>(i - 1)]);
            }
            --i;
        } else if (how == 1) {
            ++*wrong;
            *highest_wrong = std::max(*highest_wrong, byte_margin(i - 1));
            --i, ++d;
        } else {
            --d;
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        fputs("usage: read_margins TRACE START EXPECTED_IMAGE [NAME]\n", stderr);
        return 2;
    }
    std::ifstream in(argv[3], std::ios::binary);
    const std::vector<uint8_t> expected{std::istreambuf_iterator<char>(in), {}};
    const double start = std::atof(argv[2]);
    const std::vector<uint8_t> name = argc > 4 ? NameCodes(argv[4]) : std::vector<uint8_t>{};
    // The first channel's bits from the program's start (the report gives it to 0.1 ms) on.
    std::ifstream trace(argv[1]);
    std::vector<uint8_t> bits;
    std::vector<float> margins;
    const size_t wanted = 8 * (name.size() + expected.size());
    for (std::string line; std::getline(trace, line) && bits.size() < wanted;) {
        int channel = 0, value = 0;
        double time = 0, margin = 0;
        if (std::sscanf(line.c_str(), "bit %d %lf %d %lf", &channel, &time, &value, &margin) == 4 &&
            channel == 0 && time >= start - 1e-4) {
            bits.push_back(static_cast<uint8_t>(value));
            margins.push_back(static_cast<float>(margin));
        }
    }
    if (bits.size() < wanted) {
        puts("none");
        return 0;
    }
    // Bits as bytes, with the margins of their bits.
    auto bytes_of = [&](size_t from, size_t count) {
        std::vector<uint8_t> out(count, 0);
        for (size_t i = 0; i < 8 * count; ++i) {
            out[i / 8] = static_cast<uint8_t>(out[i / 8] << 1 | bits[from + i]);
        }
        return out;
    };
    const size_t image_bit = 8 * name.size();
    int wrong = 0;
    float highest_wrong = -1, lowest_right = 2;
    Compare(bytes_of(image_bit, expected.size()),
            std::vector<float>(margins.begin() + static_cast<long>(image_bit), margins.end()),
            expected, &wrong, &highest_wrong, &lowest_right);
    if (!name.empty()) {
        std::vector<uint8_t> got = bytes_of(0, name.size());
        got.back() &= 0x7F;
        Compare(got,
                std::vector<float>(margins.begin(), margins.begin() + static_cast<long>(image_bit)),
                name, &wrong, &highest_wrong, &lowest_right);
    }
    printf("%d %.3f %.3f\n", wrong, highest_wrong, lowest_right);
    return 0;
}
