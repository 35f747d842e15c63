#include "listing/choices.h"

#include <algorithm>

#include "image/image.h"

std::vector<uint8_t> DoubtfulValues(uint8_t value, const std::vector<int>& bits,
                                    const std::vector<int>& readings)
{
    std::vector<uint8_t> values = {value};
    // Four bits give sixteen values: more would bury the likely ones.
    const size_t count = std::min<size_t>(bits.size(), 4);
    for (unsigned ways = 1; ways < 1u << count; ++ways) {
        unsigned flipped = value;
        for (size_t k = 0; k < count; ++k) {
            if ((ways & (1u << k)) != 0 && bits[k] >= 0 && bits[k] < 8) flipped ^= 1u << bits[k];
        }
        values.push_back(static_cast<uint8_t>(flipped));
    }
    for (const int reading : readings) {
        if (reading >= 0 && reading < 256 &&
            std::find(values.begin(), values.end(), reading) == values.end()) {
            values.push_back(static_cast<uint8_t>(reading));
        }
    }
    // Flipping a bit that is not in doubt twice can repeat a value: each is offered once.
    std::vector<uint8_t> unique;
    for (const uint8_t v : values) {
        if (std::find(unique.begin(), unique.end(), v) == unique.end()) unique.push_back(v);
    }
    return unique;
}

std::string ItemHolding(const Listing& listing, size_t offset, TextStyle style)
{
    const auto holds = [offset](const ByteRange& r) { return offset >= r.Begin && offset < r.End; };
    for (const ListedLine& line : listing.Lines) {
        if (!holds(line.Bytes)) continue;
        std::string number = LineNumberText(line.Number);
        number.erase(0, number.find_first_not_of(' '));
        return number + " " + TextOf(line.Text, listing.Machine, style);
    }
    for (const ListedVariable& v : listing.Variables) {
        if (holds(v.Bytes)) return TextOf(v.Text, listing.Machine, style);
    }
    for (const SystemValue& v : listing.System) {
        if (holds(v.Bytes)) return v.Name + " " + v.Text;
    }
    for (size_t row = 0; row < listing.DisplayRows.size(); ++row) {
        const DisplayRow& shown = listing.DisplayRows[row];
        if (holds(shown.Bytes)) {
            return "display row " + std::to_string(row + 1) + ": " +
                   TextOf(shown.Text, listing.Machine, style);
        }
    }
    return "";
}

std::vector<ByteChoice> ByteChoices(const std::vector<uint8_t>& image, TargetFormat machine,
                                    size_t offset, const std::vector<uint8_t>& values,
                                    TextStyle style)
{
    std::vector<ByteChoice> choices;
    for (const uint8_t value : values) {
        std::vector<uint8_t> changed = image;
        if (offset < changed.size()) changed[offset] = value;
        ByteChoice choice;
        choice.Value = value;
        choice.Item = ItemHolding(ListImage(changed, machine), offset, style);
        // A tape holds the program up to its E_LINE: a value that moves E_LINE makes a program
        // that ends elsewhere, cut short where the bytes read run out.
        const int e_line_size = ELineSize(changed, machine);
        const size_t size = e_line_size > 0 ? static_cast<size_t>(e_line_size) : changed.size();
        const size_t expected = std::max(size, changed.size());
        changed.resize(std::min(size, changed.size()));
        choice.Failed = FailedChecks(machine, changed, expected);
        choices.push_back(choice);
    }
    return choices;
}

std::vector<SlipChoice> SlipChoices(const std::vector<uint8_t>& image, TargetFormat machine,
                                    const std::vector<BitSlip>& slips, TextStyle style)
{
    std::vector<SlipChoice> choices;
    for (const BitSlip& slip : slips) {
        SlipChoice choice;
        choice.Slip = slip;
        choice.Image = RepairSlip(machine, image, slip);
        choice.Item = ItemHolding(ListImage(choice.Image, machine), slip.Bit / 8, style);
        choice.Failed = FailedChecks(machine, choice.Image, choice.Image.size());
        choices.push_back(choice);
    }
    return choices;
}
