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

/// The ZX81 keyword codes a lister needs by name.
constexpr uint8_t ZX81_REM = 0xEA;
constexpr uint8_t ZX81_NUMBER = 0x7E;  // five hidden bytes of a number's value follow
constexpr uint8_t ZX80_REM = 0xFE;

/// The character with code `code` (0-63, or 128-191 for its inverse) on `machine`, without its
/// inverse video; null for codes that are no character.
constexpr const char* CharacterOf(TargetFormat machine, uint8_t code)
{
    if ((code & 0x7F) >= 64) return nullptr;
    return (machine == TARGET_ZX80 ? ZX80_CHARACTERS : ZX81_CHARACTERS)[code & 0x3F];
}
