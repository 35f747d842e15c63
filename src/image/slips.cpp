#include "image/slips.h"

#include <set>

#include "image/image.h"

namespace {

bool BitOf(const std::vector<uint8_t>& image, size_t bit)
{
    return (image[bit / 8] << bit % 8 & 0x80) != 0;
}

}  // namespace

std::vector<uint8_t> RepairSlip(TargetFormat machine, const std::vector<uint8_t>& image,
                                const BitSlip& slip)
{
    std::vector<bool> bits;
    for (size_t k = 0; k < 8 * image.size(); ++k) {
        if (k == slip.Bit && slip.Change != SLIP_REMOVE) {
            bits.push_back(slip.Change == SLIP_INSERT_1);
        }
        if (k != slip.Bit || slip.Change != SLIP_REMOVE) {
            bits.push_back(BitOf(image, k) != (k == slip.Flip));
        }
    }
    std::vector<uint8_t> repaired((bits.size() + 7) / 8, 0);
    for (size_t k = 0; k < bits.size(); ++k) {
        if (bits[k]) repaired[k / 8] |= static_cast<uint8_t>(0x80 >> k % 8);
    }
    const int size = ELineSize(repaired, machine);
    if (size == static_cast<int>(repaired.size()) && bits.size() % 8 != 0) {
        // The last byte, cut short, is the end marker: its missing bits are the marker's.
        for (size_t k = bits.size(); k % 8 != 0; ++k) {
            repaired.back() = static_cast<uint8_t>(repaired.back() | (END_MARKER & 0x80 >> k % 8));
        }
    }
    const bool fits = size > 0 && static_cast<size_t>(size) <= repaired.size() &&
                      static_cast<size_t>(size) + 1 >= image.size();
    repaired.resize(fits ? static_cast<size_t>(size) : image.size(), 0);
    return repaired;
}

std::vector<BitSlip> RepairingSlips(TargetFormat machine, const std::vector<uint8_t>& image,
                                    const std::vector<size_t>& doubtful, size_t most)
{
    std::vector<BitSlip> found;
    if (FailedChecks(machine, image, image.size()).empty()) return found;
    // A lost burst leaves a long pause: the bits around it are the ones read with least margin.
    std::set<std::pair<size_t, size_t>> bits;  // where to repair, and the bit flipped with it
    for (const size_t bit : doubtful) {
        for (size_t near = bit > 1 ? bit - 2 : 0; near <= bit + 2; ++near) {
            if (near >= 8 * image.size()) continue;
            bits.insert({near, NO_FLIP});
            bits.insert({near, bit});
        }
    }
    // Repairs that make the same image (a bit put before or after an equal one) are one.
    std::set<std::vector<uint8_t>> made;
    size_t tried = 0;
    for (const auto& [bit, flip] : bits) {
        for (const SlipChange change : {SLIP_INSERT_0, SLIP_INSERT_1, SLIP_REMOVE}) {
            if (++tried > most) return found;
            const BitSlip slip{bit, change, flip};
            std::vector<uint8_t> repaired = RepairSlip(machine, image, slip);
            if (FailedChecks(machine, repaired, repaired.size()).empty() &&
                made.insert(std::move(repaired)).second) {
                found.push_back(slip);
            }
        }
    }
    return found;
}

const char* SlipText(SlipChange change)
{
    return change == SLIP_INSERT_0   ? "a 0 bit inserted"
           : change == SLIP_INSERT_1 ? "a 1 bit inserted"
                                     : "the bit removed";
}
