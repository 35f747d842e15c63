#include "listing/text.h"

#include <cstdio>

#include "zx/charset.h"

namespace {

// The ASCII escape of a block of quadrants: one character per column.
std::string QuadrantEscape(uint8_t quadrants)
{
    auto column = [](bool top, bool bottom) {
        return top ? (bottom ? ':' : '\'') : (bottom ? '.' : ' ');
    };
    std::string escape = "\\";
    escape += column(quadrants & TOP_LEFT, quadrants & BOTTOM_LEFT);
    escape += column(quadrants & TOP_RIGHT, quadrants & BOTTOM_RIGHT);
    return escape;
}

const char* const SHADE_ESCAPES[3] = {"\\##", "\\,,", "\\~~"};

// A code as drawn without inverse video.
std::string Plain(TargetFormat machine, uint8_t code, bool ascii)
{
    const Glyph glyph = GlyphOf(machine, code);
    if (glyph.Kind == GLYPH_QUADRANTS) {
        if (glyph.Quadrants == 0) return " ";
        return ascii ? QuadrantEscape(glyph.Quadrants) : QUADRANT_BLOCKS[glyph.Quadrants];
    }
    if (glyph.Kind == GLYPH_SHADE)
        return ascii ? SHADE_ESCAPES[glyph.Shaded] : SHADES[glyph.Shaded];
    const std::string c = CharacterOf(machine, code);
    return ascii && c == "\u00A3" ? "`" : c;
}

// An inverse code that draws as a glyph of its own: the complement of a block of quadrants (the
// inverse space is a full block), or in Unicode an inverse shade. Empty for characters.
std::string InverseGlyph(TargetFormat machine, uint8_t code, bool ascii)
{
    const Glyph glyph = GlyphOf(machine, code);
    if (glyph.Kind == GLYPH_QUADRANTS) {
        const uint8_t inverse = glyph.Quadrants ^ 0x0F;
        return ascii ? QuadrantEscape(inverse) : QUADRANT_BLOCKS[inverse];
    }
    if (glyph.Kind == GLYPH_SHADE && !ascii) return INVERSE_SHADES[glyph.Shaded];
    return "";
}

std::string Address(size_t offset, int start)
{
    char text[16];
    std::snprintf(text, sizeof text, "%zu", offset + static_cast<size_t>(start));
    return text;
}

}  // namespace

std::string GlyphText(TargetFormat machine, uint8_t code) { return Plain(machine, code, false); }

std::string TextOf(const ScreenText& text, TargetFormat machine, TextStyle style)
{
    const bool ascii = style == TEXT_ASCII;
    std::string out;
    const std::vector<uint8_t>& codes = text.Codes;
    for (size_t i = 0; i < codes.size();) {
        if ((codes[i] & INVERSE) == 0) {
            out += Plain(machine, codes[i], ascii);
            ++i;
            continue;
        }
        // A run of inverse codes: on a terminal in reverse video; elsewhere between brackets,
        // unless the run is all block graphics, which are drawn inverted.
        size_t end = i;
        bool characters = false;
        while (end < codes.size() && (codes[end] & INVERSE) != 0) {
            characters = characters || InverseGlyph(machine, codes[end], ascii).empty();
            ++end;
        }
        if (style == TEXT_TERMINAL) {
            out += "\x1b[7m";
            for (size_t k = i; k < end; ++k) out += Plain(machine, codes[k], false);
            out += "\x1b[27m";
        } else if (characters) {
            out += "[";
            for (size_t k = i; k < end; ++k) out += Plain(machine, codes[k], ascii);
            out += "]";
        } else {
            for (size_t k = i; k < end; ++k) out += InverseGlyph(machine, codes[k], ascii);
        }
        i = end;
    }
    return out;
}

std::string ListingText(const Listing& listing, const std::string& title,
                        const std::vector<uint8_t>& image, TextStyle style)
{
    const TargetFormat machine = listing.Machine;
    const int start = ImageStart(machine);
    std::string out = title + ": " + (machine == TARGET_ZX80 ? "ZX80" : "ZX81") + " program, " +
                      std::to_string(image.size()) + " bytes\n";
    auto problems = [&](const std::vector<Problem>& list, const char* indent) {
        for (const Problem& p : list) {
            out += std::string(indent) + "! at " + Address(p.Offset, start) + ": " + p.Text + "\n";
        }
    };
    for (const SystemValue& v : listing.System) {
        char name[16];
        std::snprintf(name, sizeof name, "%-7s", v.Name.c_str());
        out += std::string("  ") + name + " " + v.Text + "\n";
    }
    problems(listing.Problems, "  ");
    out += "\n";
    for (const ListedLine& line : listing.Lines) {
        out += LineNumberText(line.Number) + " " + TextOf(line.Text, machine, style) + "\n";
        for (size_t i = line.MachineCode.Begin; i < line.MachineCode.End; i += 16) {
            out += "     " + Address(i, start) + ":";
            for (size_t k = i; k < std::min(i + 16, line.MachineCode.End); ++k) {
                char hex[4];
                std::snprintf(hex, sizeof hex, " %02X", image[k]);
                out += hex;
            }
            out += "\n";
        }
        problems(line.Problems, "     ");
    }
    if (!listing.Variables.empty() && !listing.Lines.empty()) out += "\n";
    for (const ListedVariable& v : listing.Variables) {
        out += TextOf(v.Text, machine, style);
        if (!v.Note.empty()) out += "  (" + v.Note + ")";
        out += "\n";
        problems(v.Problems, "  ");
    }
    return out;
}
