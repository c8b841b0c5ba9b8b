// The sample banners and the not-found image: each one word in large block
// letters, centred on a coloured field with a border, at its own size.
#pragma once

#include <string>
#include <vector>

#include "tools/gif_writer.h"

namespace gif {

struct BannerSpec {
  std::string file;  // file name, e.g. "travel.gif"
  std::string word;  // the one word it shows
  int width = 0;
  int height = 0;
  Color background, text, accent;  // the accent draws the border and the text's shadow
};

// Palette indexes of a drawn banner.
enum : uint8_t { kBackgroundIndex = 0, kTextIndex = 1, kAccentIndex = 2 };

// The sample set: distinct sizes, colours and words.
const std::vector<BannerSpec>& SampleBanners();
// "Notfound.gif".
BannerSpec NotFoundBanner();

// The largest glyph scale at which `spec.word` fits inside the border with
// room for its shadow; at least 1.
int ScaleFor(const BannerSpec& spec);
Picture DrawBanner(const BannerSpec& spec);

}  // namespace gif
