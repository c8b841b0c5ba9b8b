// A built-in 5 x 7 pixel font of capital letters, digits and a few signs,
// and the drawing of a word into a picture with it.
#pragma once

#include <cstdint>
#include <string_view>

#include "tools/gif_writer.h"

namespace gif {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphAdvance = kGlyphWidth + 1;  // one blank column between letters

// The rows of a character's glyph, top to bottom, bit 4 the leftmost pixel;
// nullptr for a character the font lacks. Lower-case letters take the
// capital's glyph.
const uint8_t* Glyph(char c);

// Width and height in pixels of `text` drawn at `scale` (a glyph pixel
// becomes a scale x scale square).
int TextWidth(std::string_view text, int scale);
inline int TextHeight(int scale) { return kGlyphHeight * scale; }

// Draws `text` with its top left corner at (x, y). Characters the font
// lacks are drawn as blanks. Pixels outside the picture are dropped.
void DrawText(Picture& picture, int x, int y, std::string_view text, int scale, uint8_t color);

}  // namespace gif
