// GIF files of one image: a palette of up to 256 colours and one byte per
// pixel (an index into the palette), written as GIF89a with LZW-compressed
// image data.
//
// File layout (all numbers little-endian):
//   offset  size  field
//   0       6     "GIF89a"
//   6       2     logical screen width
//   8       2     logical screen height
//   10      1     0x80 | (bits - 1) << 4 | (bits - 1): global colour table
//                 of 2^bits entries, colour resolution bits
//   11      1     background colour index (0)
//   12      1     pixel aspect ratio (0: none given)
//   13      3*2^bits  the colour table, red, green, blue per entry
//   then    10    image descriptor: ',' left(2)=0 top(2)=0 width(2)
//                 height(2) flags(1)=0 (no local table, not interlaced)
//   then    1     LZW minimum code size (bits, at least 2)
//   then          data sub-blocks: a length byte (1 to 255), that many
//                 bytes; a length byte 0 ends them
//   last    1     ';' (trailer)
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace gif {

struct Color {
  uint8_t red = 0, green = 0, blue = 0;
};

// A picture to be written. Owns its pixels; pixels.size() == width * height
// and every pixel is an index below palette.size() (checked by Encode).
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<Color> palette;   // 1 to 256 colours
  std::vector<uint8_t> pixels;  // row by row, top to bottom

  Picture(int w, int h, std::vector<Color> colors)
      : width(w), height(h), palette(std::move(colors)), pixels(static_cast<size_t>(w) * h, 0) {}
  void Set(int x, int y, uint8_t index) {
    if (x >= 0 && y >= 0 && x < width && y < height)
      pixels[static_cast<size_t>(y) * width + x] = index;
  }
  void FillRect(int x, int y, int w, int h, uint8_t index);
};

// A picture that cannot be written (bad size, palette or pixel index).
class EGifError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The bytes of the GIF file of `picture`.
std::string Encode(const Picture& picture);

// The LZW code stream of `pixels` for a minimum code size of `min_bits`, as
// packed bytes (before the split into sub-blocks).
std::string CompressLzw(const std::vector<uint8_t>& pixels, int min_bits);

}  // namespace gif
