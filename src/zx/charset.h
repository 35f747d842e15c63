// The ZX81's and the ZX80's character sets and keyword tokens. Codes 0-63 are characters,
// codes 128-191 the same characters in inverse video; the codes above hold keywords. Each entry
// is the character as UTF-8: block graphics as Unicode block elements (the half-grey ones from
// the Symbols for Legacy Computing block), everything else as its ASCII or Latin-1 look-alike.
#pragma once

#include <cstdint>

#include "zx/machine.h"

// The tables keep a row per eight codes.
// clang-format off
/// The ZX81's characters, codes 0-63.
inline constexpr const char* ZX81_CHARACTERS[64] = {
    " ", "\u2598", "\u259D", "\u2580", "\u2596", "\u258C", "\u259E", "\u259B",   //  0-7
    "\u2592", "\U0001FB8F", "\U0001FB8E", "\"", "\u00A3", "$", ":", "?",         //  8-15
    "(", ")", ">", "<", "=", "+", "-", "*", "/", ";", ",", ".",                  // 16-27
    "0", "1", "2", "3", "4", "5", "6", "7", "8", "9",                            // 28-37
    "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M",             // 38-50
    "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z",             // 51-63
};

/// The ZX80's characters, codes 0-63: the graphics and punctuation in another order.
inline constexpr const char* ZX80_CHARACTERS[64] = {
    " ", "\"", "\u258C", "\u2584", "\u2598", "\u259D", "\u2596", "\u2597",       //  0-7
    "\u259E", "\u2592", "\U0001FB8F", "\U0001FB8E", "\u00A3", "$", ":", "?",     //  8-15
    "(", ")", "-", "+", "*", "/", "=", ">", "<", ";", ",", ".",                  // 16-27
    "0", "1", "2", "3", "4", "5", "6", "7", "8", "9",                            // 28-37
    "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M",             // 38-50
    "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z",             // 51-63
};

/// Both machines: the digits 0-9 are codes 28-37 and the letters A-Z codes 38-63.
constexpr uint8_t CODE_OF_DIGIT_0 = 28;
constexpr uint8_t CODE_OF_LETTER_A = 38;
/// A character code in inverse video.
constexpr uint8_t INVERSE = 0x80;

/// The ZX81's keywords, codes 0xC0-0xFF ("?" where a code holds none).
inline constexpr const char* ZX81_KEYWORDS[64] = {
    "\"\"", "AT", "TAB", "?", "CODE", "VAL", "LEN", "SIN",                       // C0
    "COS", "TAN", "ASN", "ACS", "ATN", "LN", "EXP", "INT",                       // C8
    "SQR", "SGN", "ABS", "PEEK", "USR", "STR$", "CHR$", "NOT",                   // D0
    "**", "OR", "AND", "<=", ">=", "<>", "THEN", "TO",                           // D8
    "STEP", "LPRINT", "LLIST", "STOP", "SLOW", "FAST", "NEW", "SCROLL",          // E0
    "CONT", "DIM", "REM", "FOR", "GOTO", "GOSUB", "INPUT", "LOAD",               // E8
    "LIST", "LET", "PAUSE", "NEXT", "POKE", "PRINT", "PLOT", "RUN",              // F0
    "SAVE", "RAND", "IF", "CLS", "UNPLOT", "CLEAR", "RETURN", "COPY",            // F8
};
/// The ZX81's functions without an argument, codes 0x40-0x42.
inline constexpr const char* ZX81_FUNCTIONS[3] = {"RND", "INKEY$", "PI"};

/// The ZX80's keywords, codes 0xD4-0xFF ("?" where a code holds none). Its functions are
/// typed out in letters, and some punctuation is kept as a token.
constexpr uint8_t ZX80_FIRST_KEYWORD = 0xD4;
inline constexpr const char* ZX80_KEYWORDS[44] = {
    "\"", "THEN", "TO", ";", ",", ")", "(", "NOT",                               // D4
    "-", "+", "*", "/", "AND", "OR", "**", "=",                                  // DC
    ">", "<", "LIST", "RETURN", "CLS", "DIM", "SAVE", "FOR",                     // E4
    "GO TO", "POKE", "INPUT", "RANDOMISE", "LET", "?", "?", "NEXT",              // EC
    "PRINT", "?", "NEW", "RUN", "STOP", "CONTINUE", "IF", "GO SUB",              // F4
    "LOAD", "CLEAR", "REM", "?",                                                 // FC
};

// clang-format on

/// How the machine draws a code: block graphics are made of quadrants or shaded halves. A code
/// in inverse video draws the complement: the quadrants not set, or the shade inverted.
enum GlyphKind : uint8_t { GLYPH_CHARACTER, GLYPH_QUADRANTS, GLYPH_SHADE };
/// Quadrant bits of GLYPH_QUADRANTS.
constexpr uint8_t TOP_LEFT = 1, TOP_RIGHT = 2, BOTTOM_LEFT = 4, BOTTOM_RIGHT = 8;
/// Shades of GLYPH_SHADE: the whole cell, or only its lower or upper half.
enum Shade : uint8_t { SHADE_FULL, SHADE_LOWER, SHADE_UPPER };
struct Glyph {
    GlyphKind Kind = GLYPH_CHARACTER;
    uint8_t Quadrants = 0;  // GLYPH_QUADRANTS: the quadrants drawn in ink, before any inverse
    Shade Shaded = SHADE_FULL;
};

/// The glyph of `code` without its inverse video (code 0, the space, is a block of no quadrants).
constexpr Glyph GlyphOf(TargetFormat machine, uint8_t code)
{
    constexpr uint8_t TL = TOP_LEFT, TR = TOP_RIGHT, BL = BOTTOM_LEFT, BR = BOTTOM_RIGHT;
    // Codes 0-7 of the ZX81, 0 and 2-8 of the ZX80: quadrant blocks; then three shades.
    constexpr uint8_t ZX81_QUADRANTS[8] = {0, TL, TR, TL | TR, BL, TL | BL, TR | BL, TL | TR | BL};
    constexpr uint8_t ZX80_QUADRANTS[9] = {0, 0, TL | BL, BL | BR, TL, TR, BL, BR, TR | BL};
    const uint8_t c = code & 0x3F;
    if (machine == TARGET_ZX80) {
        if (c == 1) return {};
        if (c <= 8) return {GLYPH_QUADRANTS, ZX80_QUADRANTS[c], SHADE_FULL};
        if (c <= 11) return {GLYPH_SHADE, 0, static_cast<Shade>(c - 9)};
        return {};
    }
    if (c <= 7) return {GLYPH_QUADRANTS, ZX81_QUADRANTS[c], SHADE_FULL};
    if (c <= 10) return {GLYPH_SHADE, 0, static_cast<Shade>(c - 8)};
    return {};
}

// clang-format off
/// Unicode block elements for each set of quadrants (bits as TOP_LEFT ... BOTTOM_RIGHT).
inline constexpr const char* QUADRANT_BLOCKS[16] = {
    " ", "\u2598", "\u259D", "\u2580", "\u2596", "\u258C", "\u259E", "\u259B",
    "\u2597", "\u259A", "\u2590", "\u259C", "\u2584", "\u2599", "\u259F", "\u2588",
};
/// Unicode for the shades, and for the same in inverse video.
inline constexpr const char* SHADES[3] = {"\u2592", "\U0001FB8F", "\U0001FB8E"};
inline constexpr const char* INVERSE_SHADES[3] = {"\U0001FB90", "\U0001FB91", "\U0001FB92"};
// clang-format on

/// The code of the character `c` (an ASCII letter, digit or punctuation mark) on `machine`, or
/// -1 if the machine has none.
constexpr int CodeOfCharacter(TargetFormat machine, char c)
{
    const char* const* table = machine == TARGET_ZX80 ? ZX80_CHARACTERS : ZX81_CHARACTERS;
    for (int code = 0; code < 64; ++code) {
        if (table[code][0] == c && table[code][1] == 0) return code;
    }
    return -1;
}

/// The ZX81 keyword codes a lister needs by name.
constexpr uint8_t ZX81_REM = 0xEA;
constexpr uint8_t ZX81_NUMBER = 0x7E;  // five hidden bytes of a number's value follow
constexpr uint8_t ZX81_CURSOR = 0x7F;  // the editor's cursor: shows as an inverse K
constexpr uint8_t ZX80_REM = 0xFE;

/// The character with code `code` (0-63, or 128-191 for its inverse) on `machine`, without its
/// inverse video; null for codes that are no character.
constexpr const char* CharacterOf(TargetFormat machine, uint8_t code)
{
    if ((code & 0x7F) >= 64) return nullptr;
    return (machine == TARGET_ZX80 ? ZX80_CHARACTERS : ZX81_CHARACTERS)[code & 0x3F];
}
