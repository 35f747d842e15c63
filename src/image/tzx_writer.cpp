#include "image/tzx_writer.h"

#include <algorithm>

#include "tape/signal.h"
#include "zx/tape.h"

namespace {

void Put(std::vector<uint8_t>* out, uint64_t value, int size)
{
    for (int i = 0; i < size; ++i) out->push_back(static_cast<uint8_t>(value >> 8 * i));
}

// The converter's pulse, half a wave, and the rest after each bit's pulses, in T-states: with
// the rest, a 0 bit lasts 2.5 ms and a 1 bit 4 ms.
constexpr unsigned PULSE_T = 525;
constexpr unsigned REST_T = 4550 + PULSE_T;  // the bit's pause and the last pulse's low half
static_assert(PULSE_T == static_cast<unsigned>(HALF_PULSE_SECONDS * 3500000.0 + 0.5),
              "150 us pulses");
static_assert(REST_T - PULSE_T == static_cast<unsigned>(BIT_PAUSE_SECONDS * 3500000.0 + 0.5),
              "1.3 ms between bits");

// Bytes a direct recording block holds at most, well within its 24-bit length.
constexpr size_t MOST_DIRECT_BYTES = 1u << 20;

}  // namespace

double ProgramBlockSeconds(const std::vector<uint8_t>& bytes)
{
    double seconds = 0;
    for (const uint8_t byte : bytes) seconds += BitsSeconds(byte);
    return seconds;
}

std::vector<uint8_t> TzxFileHeader() { return {'Z', 'X', 'T', 'a', 'p', 'e', '!', 0x1A, 1, 20}; }

void AppendHardware(std::vector<uint8_t>* tzx, bool zx81, bool zx80)
{
    tzx->push_back(0x33);
    tzx->push_back(static_cast<uint8_t>(zx81 + zx80));
    // Computers (type 0): the ZX81 is 0x0D, the ZX80 0x0C; 0 says the tape runs on it.
    if (zx81) tzx->insert(tzx->end(), {0x00, 0x0D, 0x00});
    if (zx80) tzx->insert(tzx->end(), {0x00, 0x0C, 0x00});
}

void AppendArchiveInfo(std::vector<uint8_t>* tzx, const std::string& title,
                       const std::string& comment)
{
    std::vector<uint8_t> body = {2};
    for (const auto& [id, text] : {std::make_pair(0x00, title), std::make_pair(0xFF, comment)}) {
        const size_t length = std::min<size_t>(text.size(), 255);
        body.push_back(static_cast<uint8_t>(id));
        body.push_back(static_cast<uint8_t>(length));
        body.insert(body.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
    }
    tzx->push_back(0x32);
    Put(tzx, body.size(), 2);
    tzx->insert(tzx->end(), body.begin(), body.end());
}

void AppendText(std::vector<uint8_t>* tzx, const std::string& text)
{
    const size_t length = std::min<size_t>(text.size(), 255);
    tzx->push_back(0x30);
    tzx->push_back(static_cast<uint8_t>(length));
    tzx->insert(tzx->end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
}

void AppendProgramBlock(std::vector<uint8_t>* tzx, const std::vector<uint8_t>& bytes,
                        unsigned pause_ms)
{
    constexpr unsigned MOST_PULSES = 2 * PULSES_ONE;
    std::vector<uint8_t> rest;
    Put(&rest, pause_ms, 2);
    Put(&rest, 0, 6);  // no pilot: TOTP, NPP, ASP
    Put(&rest, 8 * bytes.size(), 4);
    rest.push_back(MOST_PULSES);
    rest.push_back(2);  // two symbols
    for (const unsigned waves : {unsigned{PULSES_ZERO}, unsigned{PULSES_ONE}}) {
        rest.push_back(3);  // every bit starts high
        for (unsigned k = 0; k < MOST_PULSES; ++k) {
            Put(&rest, k + 1 == 2 * waves ? REST_T : k < 2 * waves ? PULSE_T : 0, 2);
        }
    }
    rest.insert(rest.end(), bytes.begin(), bytes.end());
    tzx->push_back(0x19);
    Put(tzx, rest.size(), 4);
    tzx->insert(tzx->end(), rest.begin(), rest.end());
}

void AppendPause(std::vector<uint8_t>* tzx, double ms)
{
    auto left = static_cast<uint64_t>(ms + 0.5);
    while (left > 0) {
        const uint64_t now = std::min<uint64_t>(left, 65535);
        tzx->push_back(0x20);
        Put(tzx, now, 2);
        left -= now;
    }
}

void AppendDirectRecording(std::vector<uint8_t>* tzx, const std::vector<uint8_t>& levels,
                           size_t first, size_t count, unsigned t_per_sample, unsigned pause_ms)
{
    while (count > 0) {
        const size_t now = std::min(count, 8 * MOST_DIRECT_BYTES);
        const size_t bytes = (now + 7) / 8;
        tzx->push_back(0x15);
        Put(tzx, t_per_sample, 2);
        Put(tzx, now == count ? pause_ms : 0, 2);
        Put(tzx, now % 8 == 0 ? 8 : now % 8, 1);
        Put(tzx, bytes, 3);
        const size_t at = tzx->size();
        tzx->resize(at + bytes, 0);
        for (size_t i = 0; i < now; ++i) {
            const size_t from = first + i;
            if ((levels[from / 8] << from % 8 & 0x80) != 0) {
                (*tzx)[at + i / 8] |= static_cast<uint8_t>(0x80 >> i % 8);
            }
        }
        first += now;
        count -= now;
    }
}
