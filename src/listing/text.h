// A listing as text: the machine's characters in Unicode or in a plain-ASCII escape form.
#pragma once

#include <string>

#include "listing/listing.h"

enum TextStyle {
    /// Unicode block elements; characters in inverse video between [ and ], which neither
    /// machine has.
    TEXT_UNICODE,
    /// Unicode, inverse video shown as the terminal's reverse video.
    TEXT_TERMINAL,
    /// ASCII only: a block graphic as \ and two characters for its left and right columns
    /// (' top, . bottom, : both, space neither), shades as \## \,, \~~, the pound sign as `,
    /// inverse video between [ and ].
    TEXT_ASCII,
};

/// The Unicode glyph of `code` on `machine` as drawn without inverse video (a page shows the
/// inverse by drawing it inverted).
std::string GlyphText(TargetFormat machine, uint8_t code);

/// The characters of `text` on `machine`.
std::string TextOf(const ScreenText& text, TargetFormat machine, TextStyle style);

/// The whole listing as zx8xlist prints it, headed by `title`.
std::string ListingText(const Listing& listing, const std::string& title,
                        const std::vector<uint8_t>& image, TextStyle style);
