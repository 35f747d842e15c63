// The lister on images built byte by byte. The expected texts, spaces included, are what the
// genuine ROMs put on screen for the same bytes, and the variables are laid out as the ROMs
// left them after running LET, DIM and FOR.
#include "listing/listing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "listing/text.h"
#include "zx/charset.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Character codes of plain text: capitals, digits and a few marks, on either machine.
Bytes Text(const char* text, TargetFormat machine = TARGET_ZX81)
{
    Bytes codes;
    for (const char* c = text; *c != 0; ++c) {
        codes.push_back(static_cast<uint8_t>(CodeOfCharacter(machine, *c)));
    }
    return codes;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A ZX81 number as typed: its digits, then 0x7E and the hidden value of `value`.
Bytes Number81(const char* digits, int value)
{
    Bytes hidden = {0x7E, 0, 0, 0, 0, 0};
    if (value != 0) {
        int bits = 0;
        while ((value >> bits) != 0) ++bits;
        const uint32_t mantissa = (static_cast<uint32_t>(value) << (32 - bits)) & 0x7FFFFFFFu;
        hidden = {0x7E,
                  static_cast<uint8_t>(0x80 + bits),
                  static_cast<uint8_t>(mantissa >> 24),
                  static_cast<uint8_t>(mantissa >> 16),
                  static_cast<uint8_t>(mantissa >> 8),
                  static_cast<uint8_t>(mantissa)};
    }
    return Text(digits) + hidden;
}

Bytes Line81(int number, const Bytes& body)
{
    const size_t length = body.size() + 1;
    return Bytes{static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number),
                 static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)} +
           body + Bytes{NEWLINE};
}

Bytes Line80(int number, const Bytes& body)
{
    return Bytes{static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number)} + body +
           Bytes{NEWLINE};
}

void PutWord(Bytes* image, int address, int start, size_t value)
{
    (*image)[static_cast<size_t>(address - start)] = static_cast<uint8_t>(value);
    (*image)[static_cast<size_t>(address - start + 1)] = static_cast<uint8_t>(value >> 8);
}

// A ZX81 image: system variables, the lines, a collapsed display file, the variables.
Bytes Zx81(const Bytes& program, const Bytes& vars = {})
{
    Bytes image(ZX81_PROGRAM - ZX81_IMAGE_START, 0);
    image = image + program + Bytes(25, NEWLINE) + vars + Bytes{END_MARKER};
    const size_t d_file = ZX81_PROGRAM + program.size();
    PutWord(&image, ZX81_D_FILE, ZX81_IMAGE_START, d_file);
    PutWord(&image, ZX81_VARS, ZX81_IMAGE_START, d_file + 25);
    PutWord(&image, ZX81_E_LINE, ZX81_IMAGE_START, ZX81_IMAGE_START + image.size());
    PutWord(&image, ZX81_NXTLIN, ZX81_IMAGE_START, d_file);
    return image;
}

Bytes Zx80(const Bytes& program, const Bytes& vars = {})
{
    Bytes image(ZX80_PROGRAM - ZX80_IMAGE_START, 0);
    image = image + program + vars + Bytes{END_MARKER};
    PutWord(&image, ZX80_VARS, ZX80_IMAGE_START, ZX80_PROGRAM + program.size());
    PutWord(&image, ZX80_E_LINE, ZX80_IMAGE_START, ZX80_IMAGE_START + image.size());
    return image;
}

// The lines and variables as zx8xlist prints them, without its header.
std::string Body(const Bytes& image, TargetFormat machine, TextStyle style = TEXT_ASCII)
{
    const std::string text = ListingText(ListImage(image, machine), "t", image, style);
    return text.substr(text.find("\n\n") + 2);
}

// ZX81 keyword codes.
constexpr uint8_t AND = 0xDA, THEN = 0xDE, GOTO = 0xEC, IF = 0xFA, PRINT = 0xF5, REM = 0xEA,
                  LET = 0xF1, STOP = 0xE3, STR = 0xD5, RND = 0x40, INKEY = 0x41, POWER = 0xD8,
                  QUOTES = 0xC0, SAVE = 0xF8, FAST = 0xE5, GOSUB = 0xED;
// ZX80 keyword codes.
constexpr uint8_t IF80 = 0xFA, AND80 = 0xE0, THEN80 = 0xD5, GOTO80 = 0xEC, EQUALS80 = 0xE3,
                  PRINT80 = 0xF4, REM80 = 0xFE;

TEST(Listing, LinesAsTheMachineListsThem)
{
    const Bytes inverse_hi = {INVERSE | 45, INVERSE | 46};  // H, I
    struct Case {
        const char* Name;
        TargetFormat Machine;
        Bytes Image;
        std::string Expected;
    } cases[] = {
        {"keywords take their spaces", TARGET_ZX81,
         Zx81(Line81(10, Bytes{IF} + Text("A=") + Number81("1", 1) + Bytes{AND} + Text("B=") +
                             Number81("2", 2) + Bytes{THEN, GOTO} + Number81("5", 5))),
         "  10 IF A=1 AND B=2 THEN GOTO 5\n"},
        {"functions and operators take none; a function clears a keyword's space", TARGET_ZX81,
         Zx81(Line81(20, Bytes{PRINT, RND} + Text(";") + Bytes{INKEY, STOP} + Text("A") +
                             Bytes{POWER} + Text("B;") + Bytes{STR} + Text("A") + Bytes{QUOTES})),
         "  20 PRINT RND;INKEY$ STOP A**B;STR$ A\"\"\n"},
        {"a character other than a keyword's space brings the space back", TARGET_ZX81,
         Zx81(Line81(30, Bytes{REM, FAST, GOSUB, 0x45, 0xF0})),
         "  30 REM FAST GOSUB ? LIST\n     16514: E5 ED 45 F0\n"},
        {"inverse text, block graphics, the pound sign and the cursor", TARGET_ZX81,
         Zx81(Line81(40, Bytes{PRINT} + Text("\"") + inverse_hi + Bytes{1, INVERSE | 0, 8, 12} +
                             Text("\"") + Bytes{0x7F})),
         "  40 PRINT \"[HI]\\' \\::\\##`\"[K]\n"},
        {"line numbers from 10000 as the machine shows them", TARGET_ZX81,
         Zx81(Line81(10281, Bytes{STOP})), "A281 STOP\n"},
        {"machine code in a REM: the text shown, then the bytes", TARGET_ZX81,
         Zx81(Line81(1, Bytes{REM, 0x01, 0x76, 0xC9})), "   1 REM \\' \n     16514: 01 76 C9\n"},
        {"a number's hidden value is not shown, nor in a REM", TARGET_ZX81,
         Zx81(Line81(5, Bytes{REM} + Number81("7", 7) + Text("Q")) +
              Line81(6, Bytes{SAVE} + Text("\"X\""))),
         "   5 REM 7Q\n     16514: 23 7E 83 60 00 00 00 36\n   6 SAVE \"X\"\n"},
        {"ZX80 keywords take their spaces", TARGET_ZX80,
         Zx80(Line80(10, Bytes{IF80} + Text("A", TARGET_ZX80) + Bytes{EQUALS80} +
                             Text("1", TARGET_ZX80) + Bytes{AND80} + Text("B", TARGET_ZX80) +
                             Bytes{EQUALS80} + Text("2", TARGET_ZX80) + Bytes{THEN80, GOTO80} +
                             Text("5", TARGET_ZX80))),
         "  10 IF A=1 AND B=2 THEN GO TO 5\n"},
        {"on the ZX80 any space stands for a keyword's", TARGET_ZX80,
         Zx80(Line80(300, Bytes{0, PRINT80, 1} + Text("HI", TARGET_ZX80) + Bytes{1}) +
              Line80(310, Bytes{REM80, 0xC0})),
         " 300  PRINT \"HI\"\n 310 REM ?\n     16436: C0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(Body(c.Image, c.Machine), c.Expected);
        EXPECT_FALSE(HasProblems(ListImage(c.Image, c.Machine)));
    }
}

TEST(Listing, UnicodeAndTerminalForms)
{
    const Bytes image = Zx81(
        Line81(1, Bytes{PRINT, INVERSE | 38, 0, INVERSE | 0, INVERSE | 1, INVERSE | 9, 5, 12}));
    EXPECT_EQ(Body(image, TARGET_ZX81, TEXT_UNICODE),
              "   1 PRINT [A] \u2588\u259F\U0001FB91\u258C\u00A3\n");
    EXPECT_EQ(Body(image, TARGET_ZX81, TEXT_TERMINAL),
              "   1 PRINT \x1b[7mA\x1b[27m \x1b[7m \u2598\U0001FB8F\x1b[27m\u258C\u00A3\n");
    // A ZX80 shows its own graphics for the same codes.
    EXPECT_EQ(Body(Zx80(Line80(1, Bytes{2, 3, INVERSE | 9})), TARGET_ZX80, TEXT_UNICODE),
              "   1 \u258C\u2584\U0001FB90\n");
}

TEST(Listing, VariablesOfEveryKind)
{
    // As the ROMs left them after LET A=5, LET AB=-1.5 (ZX80: -15), LET A$="HI", DIM B(3),
    // DIM C$(2,3), LET B(2)=7 and FOR I=1 TO 3 in line 60.
    const Bytes zx81 = {0x66, 0x83, 0x20, 0,    0,    0,    0xA6, 0xA7, 0x81, 0xC0, 0, 0,
                        0,    0x46, 2,    0,    0x2D, 0x2E, 0x87, 0x12, 0,    1,    3, 0,
                        0,    0,    0,    0,    0,    0x83, 0x60, 0,    0,    0,    0, 0,
                        0,    0,    0,    0xC8, 0x0B, 0,    2,    2,    0,    3,    0, 0x26,
                        0x27, 0,    0x28, 0,    0,    0xEE, 0x81, 0,    0,    0,    0, 0x82,
                        0x40, 0,    0,    0,    0x81, 0,    0,    0,    0,    0x3D, 0};
    EXPECT_EQ(Body(Zx81({}, zx81), TARGET_ZX81),
              "A=5\nAB=-1.5\nA$=\"HI\"\nB(3)=0,7,0\nC$(2,3)=\"AB \",\"C  \"\n"
              "I=1  (FOR loop to 3 step 1, repeating from line 61)\n");
    const Bytes zx80 = {0x66, 5, 0, 0x46, 0xA7, 0xF1, 0xFF, 0x86, 0x2D, 0x2E, 1, 0xA7, 3,    0,
                        0,    0, 0, 7,    0,    0,    0,    0xEE, 1,    0,    3, 0,    0x3D, 0};
    EXPECT_EQ(
        Body(Zx80({}, zx80), TARGET_ZX80),
        "A=5\nAB=-15\nA$=\"HI\"\nB(3)=0,0,7,0\nI=1  (FOR loop to 3, repeating from line 61)\n");
}

TEST(Listing, SmallNumbersAndLargeOnesPrintAsTheZx81Does)
{
    // 0.5, 1E+10 and 1E-6 as LET A= left them.
    const Bytes vars = {0x66, 0x80, 0, 0,    0,    0,    0x66, 0xA2, 0x15,
                        0x02, 0xF9, 0, 0x66, 0x6D, 0x06, 0x37, 0xBD, 0x06};
    EXPECT_EQ(Body(Zx81({}, vars), TARGET_ZX81), "A=.5\nA=1E+10\nA=1E-6\n");
}

TEST(Listing, BrokenStructureIsNotedAndListingGoesOn)
{
    struct Case {
        const char* Name;
        TargetFormat Machine;
        Bytes Image;
        std::string Problem;  // part of the note expected
    } cases[] = {
        {"a number typed as one value and stored as another", TARGET_ZX81,
         Zx81(Line81(10, Bytes{LET} + Text("A=") + Number81("10", 20))),
         "the number 10 is stored as 20"},
        {"lines out of order", TARGET_ZX81, Zx81(Line81(20, Bytes{STOP}) + Line81(10, Bytes{STOP})),
         "not above the line before"},
        {"a variable of no known kind", TARGET_ZX81, Zx81({}, {0x01}),
         "starts no kind of variable"},
        {"a string longer than the variables", TARGET_ZX81, Zx81({}, {0x46, 200, 0}),
         "runs past the variables' end"},
        {"a ZX80 line without its NEWLINE", TARGET_ZX80, Zx80(Bytes{0, 10, PRINT80}, {}),
         "does not end with NEWLINE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const Listing listing = ListImage(c.Image, c.Machine);
        EXPECT_TRUE(HasProblems(listing));
        EXPECT_NE(ListingText(listing, "t", c.Image, TEXT_ASCII).find(c.Problem), std::string::npos)
            << ListingText(listing, "t", c.Image, TEXT_ASCII);
    }

    // A line whose length runs past the program's end is listed as far as it goes, and the
    // variables after the display file are still listed.
    Bytes image = Zx81(Line81(10, Bytes{PRINT} + Text("AB")), {0x66, 0x83, 0x20, 0, 0, 0});
    image[ZX81_PROGRAM - ZX81_IMAGE_START + 2] = 200;
    const Listing cut = ListImage(image, TARGET_ZX81);
    ASSERT_EQ(cut.Lines.size(), 1u);
    EXPECT_EQ(cut.Lines[0].Problems.size(), 1u);
    ASSERT_EQ(cut.Variables.size(), 1u);

    // Pointers outside the image: noted, and the listing does not read outside it.
    Bytes wild = Zx81(Line81(10, Bytes{STOP}));
    PutWord(&wild, ZX81_D_FILE, ZX81_IMAGE_START, 0xEC14);
    PutWord(&wild, ZX81_VARS, ZX81_IMAGE_START, 3);
    PutWord(&wild, ZX81_E_LINE, ZX81_IMAGE_START, 0xFFFF);
    const Listing lost = ListImage(wild, TARGET_ZX81);
    EXPECT_EQ(lost.Problems.size(), 3u + 1u);  // three pointers, then bytes that are no line
    EXPECT_EQ(ListImage(Bytes(10, 0), TARGET_ZX80).Problems.size(), 1u);

    // Bytes after E_LINE are no fault, but the file holds more than the machine loads.
    Bytes longer = Zx81(Line81(10, Bytes{STOP}));
    longer.push_back(0);
    const Listing tail = ListImage(longer, TARGET_ZX81);
    EXPECT_TRUE(tail.Problems.empty());
    ASSERT_GE(tail.System.size(), 3u);
    EXPECT_NE(tail.System[2].Text.find("; 1 byte after it that no machine loads"),
              std::string::npos)
        << tail.System[2].Text;
}

TEST(Listing, EachItemKeepsItsBytes)
{
    const Bytes image = Zx81(Line81(10, Bytes{PRINT} + Text("A")), {0x66, 0x83, 0x20, 0, 0, 0});
    const Listing listing = ListImage(image, TARGET_ZX81);
    const size_t line = ZX81_PROGRAM - ZX81_IMAGE_START;
    ASSERT_EQ(listing.Lines.size(), 1u);
    EXPECT_EQ(listing.Lines[0].Bytes.Begin, line);
    EXPECT_EQ(listing.Lines[0].Bytes.End, line + 7);
    // "PRINT " comes from the keyword's byte, "A" from the next.
    EXPECT_EQ(listing.Lines[0].Text.Sources,
              (std::vector<size_t>{line + 4, line + 4, line + 4, line + 4, line + 4, line + 4,
                                   line + 5}));
    ASSERT_EQ(listing.Variables.size(), 1u);
    EXPECT_EQ(listing.Variables[0].Bytes.End - listing.Variables[0].Bytes.Begin, 6u);
}

}  // namespace
