#include "tools/gif_writer.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "tools/banner_art.h"
#include "tools/bitmap_font.h"

namespace gif {
namespace {

// The file read back by giflib, an independent decoder.
struct Decoded {
  int width = 0, height = 0;
  std::vector<Color> palette;
  std::vector<uint8_t> pixels;
};

struct MemoryInput {
  const std::string* bytes;
  size_t at = 0;
};

int ReadFromMemory(GifFileType* file, GifByteType* buffer, int count) {
  auto* input = static_cast<MemoryInput*>(file->UserData);
  const size_t n = std::min<size_t>(count, input->bytes->size() - input->at);
  std::memcpy(buffer, input->bytes->data() + input->at, n);
  input->at += n;
  return static_cast<int>(n);
}

Decoded Decode(const std::string& bytes) {
  MemoryInput input{&bytes};
  int error = 0;
  GifFileType* file = DGifOpen(&input, ReadFromMemory, &error);
  Decoded result;
  if (file == nullptr) {
    ADD_FAILURE() << "DGifOpen: " << GifErrorString(error);
    return result;
  }
  if (DGifSlurp(file) != GIF_OK) {
    ADD_FAILURE() << "DGifSlurp: " << GifErrorString(file->Error);
  } else if (file->ImageCount != 1) {
    ADD_FAILURE() << file->ImageCount << " images";
  } else {
    result.width = file->SWidth;
    result.height = file->SHeight;
    for (int i = 0; i < file->SColorMap->ColorCount; ++i) {
      const GifColorType& c = file->SColorMap->Colors[i];
      result.palette.push_back({c.Red, c.Green, c.Blue});
    }
    const SavedImage& image = file->SavedImages[0];
    result.pixels.assign(image.RasterBits,
                         image.RasterBits + image.ImageDesc.Width * image.ImageDesc.Height);
  }
  DGifCloseFile(file, &error);
  return result;
}

void ExpectRoundTrip(const Picture& picture) {
  const std::string bytes = Encode(picture);
  EXPECT_EQ(bytes.substr(0, 6), "GIF89a");
  EXPECT_EQ(bytes.back(), ';');
  const Decoded decoded = Decode(bytes);
  EXPECT_EQ(decoded.width, picture.width);
  EXPECT_EQ(decoded.height, picture.height);
  ASSERT_GE(decoded.palette.size(), picture.palette.size());
  for (size_t i = 0; i < picture.palette.size(); ++i) {
    EXPECT_EQ(decoded.palette[i].red, picture.palette[i].red);
    EXPECT_EQ(decoded.palette[i].green, picture.palette[i].green);
    EXPECT_EQ(decoded.palette[i].blue, picture.palette[i].blue);
  }
  EXPECT_TRUE(decoded.pixels == picture.pixels) << picture.width << "x" << picture.height;
}

std::vector<Color> Gray(int n) {
  std::vector<Color> colors;
  for (int i = 0; i < n; ++i) {
    const auto v = static_cast<uint8_t>(i * 255 / std::max(1, n - 1));
    colors.push_back({v, v, v});
  }
  return colors;
}

TEST(GifWriterTest, PalettesOfEveryWidthDecodeExactly) {
  std::mt19937 random(7);
  for (int colors : {1, 2, 3, 4, 5, 16, 17, 128, 256}) {
    Picture picture(37, 23, Gray(colors));
    for (auto& pixel : picture.pixels) pixel = static_cast<uint8_t>(random() % colors);
    ExpectRoundTrip(picture);
  }
}

TEST(GifWriterTest, LongRunsAndFullCodeTablesDecodeExactly) {
  // Noise fills the code table again and again (clear codes); a flat field
  // makes strings of every length; a 1 x 1 picture has a single code.
  std::mt19937 random(11);
  Picture noise(400, 300, Gray(256));
  for (auto& pixel : noise.pixels) pixel = static_cast<uint8_t>(random());
  ExpectRoundTrip(noise);
  Picture flat(1000, 200, Gray(2));
  ExpectRoundTrip(flat);
  Picture stripes(333, 77, Gray(4));
  for (size_t i = 0; i < stripes.pixels.size(); ++i) stripes.pixels[i] = (i / 5) % 4;
  ExpectRoundTrip(stripes);
  ExpectRoundTrip(Picture(1, 1, Gray(1)));
}

TEST(GifWriterTest, RefusesPicturesItCannotWrite) {
  EXPECT_THROW(Encode(Picture(0, 5, Gray(2))), EGifError);
  EXPECT_THROW(Encode(Picture(5, 5, {})), EGifError);
  EXPECT_THROW(Encode(Picture(5, 5, Gray(257))), EGifError);
  Picture beyond(2, 2, Gray(3));
  beyond.pixels[3] = 3;
  EXPECT_THROW(Encode(beyond), EGifError);
}

TEST(BitmapFontTest, LettersAndDigitsHaveGlyphsOfTheirOwn) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (size_t i = 0; i < alphabet.size(); ++i) {
    const uint8_t* glyph = Glyph(alphabet[i]);
    ASSERT_NE(glyph, nullptr) << alphabet[i];
    for (size_t j = 0; j < i; ++j) {
      EXPECT_NE(std::memcmp(glyph, Glyph(alphabet[j]), kGlyphHeight), 0)
          << alphabet[i] << " looks like " << alphabet[j];
    }
    for (int row = 0; row < kGlyphHeight; ++row) EXPECT_LT(glyph[row], 0x20);
  }
  EXPECT_EQ(Glyph('q'), Glyph('Q'));
  EXPECT_EQ(Glyph('~'), nullptr);
  EXPECT_EQ(TextWidth("AB", 3), (2 * kGlyphAdvance - 1) * 3);
}

TEST(BitmapFontTest, DrawsInsideItsBoxOnly) {
  Picture picture(40, 20, Gray(2));
  DrawText(picture, 2, 3, "HI", 2, 1);
  int inked = 0;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      if (picture.pixels[y * picture.width + x] == 0) continue;
      ++inked;
      EXPECT_GE(x, 2);
      EXPECT_LT(x, 2 + TextWidth("HI", 2));
      EXPECT_GE(y, 3);
      EXPECT_LT(y, 3 + TextHeight(2));
    }
  }
  EXPECT_EQ(inked, (17 + 11) * 4);       // H has 17 pixels, I has 11
  DrawText(picture, 35, 15, "W", 4, 1);  // mostly outside: clipped, no fault
}

TEST(BannerArtTest, SampleBannersDifferInSizeColourAndWord) {
  std::vector<BannerSpec> all = SampleBanners();
  all.push_back(NotFoundBanner());
  for (size_t i = 0; i < all.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      EXPECT_NE(all[i].word, all[j].word);
      EXPECT_NE(all[i].file, all[j].file);
      const bool same_size = all[i].width == all[j].width && all[i].height == all[j].height;
      const bool same_colour = all[i].background.red == all[j].background.red &&
                               all[i].background.green == all[j].background.green &&
                               all[i].background.blue == all[j].background.blue;
      EXPECT_FALSE(same_size && same_colour) << all[i].file << " " << all[j].file;
    }
    if (i < SampleBanners().size()) {
      for (size_t j = 0; j < i; ++j) {
        EXPECT_FALSE(all[i].width == all[j].width && all[i].height == all[j].height)
            << all[i].file << " and " << all[j].file << " share a size";
      }
    }
  }
  EXPECT_EQ(NotFoundBanner().file, "Notfound.gif");
}

TEST(BannerArtTest, WordsAreLargeAndBannersDecode) {
  std::vector<BannerSpec> all = SampleBanners();
  all.push_back(NotFoundBanner());
  for (const BannerSpec& spec : all) {
    const int scale = ScaleFor(spec);
    EXPECT_GE(scale, 2) << spec.file;  // glyph strokes of 2 pixels or more
    EXPECT_LE(TextWidth(spec.word, scale), spec.width - 10) << spec.file;
    const Picture picture = DrawBanner(spec);
    const std::string bytes = Encode(picture);
    EXPECT_GT(bytes.size(), 10u);  // the service treats shorter images as missing
    const Decoded decoded = Decode(bytes);
    EXPECT_EQ(decoded.width, spec.width);
    EXPECT_EQ(decoded.height, spec.height);
    EXPECT_TRUE(decoded.pixels == picture.pixels) << spec.file;
    const long text = std::count(picture.pixels.begin(), picture.pixels.end(), kTextIndex);
    EXPECT_GT(text, 50) << spec.file;
  }
}

}  // namespace
}  // namespace gif
