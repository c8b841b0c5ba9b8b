#include "tools/gif_writer.h"

#include <array>

namespace gif {
namespace {

constexpr int kMaxCodeBits = 12;
constexpr int kTableSize = 1 << kMaxCodeBits;

// Packs codes of varying width, least significant bit first.
class TBitPacker {
 public:
  void Put(int code, int bits) {
    buffer_ |= static_cast<uint32_t>(code) << filled_;
    filled_ += bits;
    while (filled_ >= 8) {
      out_ += static_cast<char>(buffer_ & 0xFF);
      buffer_ >>= 8;
      filled_ -= 8;
    }
  }
  std::string Finish() {
    if (filled_ > 0) out_ += static_cast<char>(buffer_ & 0xFF);
    buffer_ = 0;
    filled_ = 0;
    return std::move(out_);
  }

 private:
  std::string out_;
  uint32_t buffer_ = 0;
  int filled_ = 0;
};

void PutWord(std::string& out, int value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

int BitsFor(size_t colors) {
  int bits = 1;
  while ((size_t{1} << bits) < colors) ++bits;
  return bits;
}

}  // namespace

void Picture::FillRect(int x, int y, int w, int h, uint8_t index) {
  for (int row = y; row < y + h; ++row) {
    for (int column = x; column < x + w; ++column) Set(column, row, index);
  }
}

std::string CompressLzw(const std::vector<uint8_t>& pixels, int min_bits) {
  const int clear = 1 << min_bits;
  const int end = clear + 1;
  // next_[code * 256 + pixel]: the code of string(code) + pixel, 0 when the
  // table has no such string yet (no string ever gets code 0 that way,
  // since codes 0 .. end are the roots and the two control codes).
  std::vector<uint16_t> next(static_cast<size_t>(kTableSize) * 256, 0);
  TBitPacker packer;
  int bits = min_bits + 1;
  int free_code = end + 1;
  auto reset = [&] {
    std::fill(next.begin(), next.end(), 0);
    bits = min_bits + 1;
    free_code = end + 1;
  };
  packer.Put(clear, bits);
  if (pixels.empty()) {
    packer.Put(end, bits);
    return packer.Finish();
  }
  int prefix = pixels[0];
  for (size_t i = 1; i < pixels.size(); ++i) {
    const uint8_t pixel = pixels[i];
    uint16_t& slot = next[static_cast<size_t>(prefix) * 256 + pixel];
    if (slot != 0) {
      prefix = slot;
      continue;
    }
    packer.Put(prefix, bits);
    // The decoder learns each string one code later than we do, so the
    // width grows once the code just assigned needs the wider codes.
    const int assigned = free_code++;
    slot = static_cast<uint16_t>(assigned);
    if (assigned == (1 << bits) && bits < kMaxCodeBits) ++bits;
    if (free_code == kTableSize) {
      packer.Put(clear, bits);
      reset();
    }
    prefix = pixel;
  }
  packer.Put(prefix, bits);
  packer.Put(end, bits);
  return packer.Finish();
}

std::string Encode(const Picture& picture) {
  if (picture.width < 1 || picture.height < 1 || picture.width > 65535 || picture.height > 65535) {
    throw EGifError("picture size out of range");
  }
  if (picture.palette.empty() || picture.palette.size() > 256) {
    throw EGifError("a palette holds 1 to 256 colours");
  }
  if (picture.pixels.size() != static_cast<size_t>(picture.width) * picture.height) {
    throw EGifError("pixel count does not match the size");
  }
  for (uint8_t pixel : picture.pixels) {
    if (pixel >= picture.palette.size()) throw EGifError("pixel index beyond the palette");
  }
  const int bits = BitsFor(picture.palette.size());
  std::string out = "GIF89a";
  PutWord(out, picture.width);
  PutWord(out, picture.height);
  out += static_cast<char>(0x80 | (bits - 1) << 4 | (bits - 1));
  out += '\0';
  out += '\0';
  for (int i = 0; i < (1 << bits); ++i) {
    const Color color = i < static_cast<int>(picture.palette.size()) ? picture.palette[i] : Color{};
    out += static_cast<char>(color.red);
    out += static_cast<char>(color.green);
    out += static_cast<char>(color.blue);
  }
  out += ',';
  PutWord(out, 0);
  PutWord(out, 0);
  PutWord(out, picture.width);
  PutWord(out, picture.height);
  out += '\0';
  const int min_bits = bits < 2 ? 2 : bits;
  out += static_cast<char>(min_bits);
  const std::string data = CompressLzw(picture.pixels, min_bits);
  for (size_t at = 0; at < data.size(); at += 255) {
    const size_t length = std::min<size_t>(255, data.size() - at);
    out += static_cast<char>(length);
    out.append(data, at, length);
  }
  out += '\0';
  out += ';';
  return out;
}

}  // namespace gif
