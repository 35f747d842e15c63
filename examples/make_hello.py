#!/usr/bin/env python3
"""Builds examples/hello.p, a small ZX81 BASIC program, byte by byte.

A .p file is the ZX81's memory from 0x4009 up to (not including) the address held in the
system variable E_LINE:

    0x4009  system variables (116 bytes)
    0x407D  the BASIC program
    D_FILE  the display file: NEWLINE, then 24 lines of 32 spaces each ending in NEWLINE
    VARS    the variables: none, only the 0x80 end marker
    E_LINE  where the file ends

The program is

    10 REM ZX8XWAV EXAMPLE
    20 PRINT "HELLO FROM ZX8XWAV"

and does not start by itself: type RUN after loading it.

Usage: python3 examples/make_hello.py [output path]   (default: examples/hello.p)
"""
import os
import struct
import sys

START = 0x4009  # address of the first byte in the file

# ZX81 character codes: space is 0, digits 0-9 are 28-37 and letters A-Z are 38-63.
CODES = {" ": 0x00, '"': 0x0B}
CODES.update({c: 28 + i for i, c in enumerate("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ")})
NEWLINE = 0x76
QUOTE = 0x0B
REM = 0xEA
PRINT = 0xF5


def text(s):
    return bytes(CODES[c] for c in s)


def line(number, body):
    """A BASIC line: number (big-endian), length of the rest (little-endian), body, NEWLINE."""
    rest = body + bytes([NEWLINE])
    return struct.pack(">H", number) + struct.pack("<H", len(rest)) + rest


def word(value):
    return struct.pack("<H", value)


program = line(10, bytes([REM]) + text("ZX8XWAV EXAMPLE"))
program += line(20, bytes([PRINT, QUOTE]) + text("HELLO FROM ZX8XWAV") + bytes([QUOTE]))

display = bytes([NEWLINE]) + (bytes(32) + bytes([NEWLINE])) * 24
variables = bytes([0x80])

prog_start = 0x407D
d_file = prog_start + len(program)
vars_addr = d_file + len(display)
e_line = vars_addr + len(variables)

sysvars = b"".join([
    bytes([0x00]),        # VERSN: 0 for a ZX81 program
    word(20),             # E_PPC: current line (the cursor line of the listing)
    word(d_file),         # D_FILE
    word(d_file + 1),     # DF_CC: print position, the top left corner
    word(vars_addr),      # VARS
    word(0),              # DEST
    word(e_line),         # E_LINE: the end of what is saved
    word(e_line),         # CH_ADD
    word(0),              # X_PTR
    word(e_line),         # STKBOT
    word(e_line),         # STKEND
    bytes([0x00]),        # BERG
    word(0x405D),         # MEM: the calculator's memory at MEMBOT
    bytes([0x00]),        # spare
    bytes([0x02]),        # DF_SZ: lines of the lower screen
    word(0),              # S_TOP
    word(0xFFFF),         # LAST_K: no key
    bytes([0xFF]),        # DB_ST
    bytes([55]),          # MARGIN: blank lines above the picture (50 Hz)
    word(d_file),         # NXTLIN: the display file, so the program does not run by itself
    word(0),              # OLDPPC
    bytes([0x00]),        # FLAGX
    word(0),              # STRLEN
    word(0x0C8D),         # T_ADDR
    word(0),              # SEED
    word(0xFFFF),         # FRAMES
    word(0),              # COORDS
    bytes([0xBC]),        # PR_CC: low byte of the printer buffer's address
    bytes([33, 24]),      # S_POSN: column 33, line 24, the top left corner
    bytes([0x40]),        # CDFLAG: SLOW mode
    bytes(32) + bytes([NEWLINE]),  # PRBUFF: the printer buffer
    bytes(30),            # MEMBOT: the calculator's memory
    word(0),              # spare
])
assert len(sysvars) == prog_start - START, len(sysvars)

image = sysvars + program + display + variables
assert len(image) == e_line - START

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "hello.p")
with open(out, "wb") as f:
    f.write(image)
print(f"{out}: {len(image)} bytes, E_LINE = 0x{e_line:04X}")
