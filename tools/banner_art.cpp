#include "tools/banner_art.h"

#include <algorithm>

#include "tools/bitmap_font.h"

namespace gif {
namespace {

constexpr int kBorder = 2;
constexpr int kMargin = 3;  // between the border and the text, on each side

}  // namespace

// clang-format off
const std::vector<BannerSpec>& SampleBanners() {
  static const std::vector<BannerSpec> banners = {
    {"travel.gif", "TRAVEL", 468, 60, {20, 40, 120}, {255, 255, 255}, {240, 190, 40}},
    {"books.gif", "BOOKS", 234, 60, {10, 90, 40}, {250, 230, 90}, {0, 40, 10}},
    {"music.gif", "MUSIC", 120, 60, {110, 30, 140}, {255, 255, 255}, {40, 0, 60}},
    {"coffee.gif", "COFFEE", 300, 100, {100, 60, 30}, {250, 235, 200}, {50, 25, 10}},
    {"sale.gif", "SALE", 120, 240, {200, 20, 30}, {255, 250, 240}, {90, 0, 0}},
    {"news.gif", "NEWS", 88, 31, {0, 0, 0}, {80, 220, 255}, {60, 60, 60}},
  };
  return banners;
}
// clang-format on

BannerSpec NotFoundBanner() {
  return {"Notfound.gif", "NOT FOUND", 468, 60, {200, 200, 200}, {90, 90, 90}, {150, 150, 150}};
}

int ScaleFor(const BannerSpec& spec) {
  const int room_x = spec.width - 2 * (kBorder + kMargin);
  const int room_y = spec.height - 2 * (kBorder + kMargin);
  int scale = 1;
  while (TextWidth(spec.word, scale + 1) + scale + 1 <= room_x &&
         TextHeight(scale + 1) + scale + 1 <= room_y) {
    ++scale;
  }
  return scale;
}

Picture DrawBanner(const BannerSpec& spec) {
  Picture picture(spec.width, spec.height, {spec.background, spec.text, spec.accent});
  picture.FillRect(0, 0, spec.width, kBorder, kAccentIndex);
  picture.FillRect(0, spec.height - kBorder, spec.width, kBorder, kAccentIndex);
  picture.FillRect(0, 0, kBorder, spec.height, kAccentIndex);
  picture.FillRect(spec.width - kBorder, 0, kBorder, spec.height, kAccentIndex);

  const int scale = ScaleFor(spec);
  const int shadow = std::max(1, scale / 2);
  const int x = (spec.width - TextWidth(spec.word, scale) - shadow) / 2;
  const int y = (spec.height - TextHeight(scale) - shadow) / 2;
  DrawText(picture, x + shadow, y + shadow, spec.word, scale, kAccentIndex);
  DrawText(picture, x, y, spec.word, scale, kTextIndex);
  return picture;
}

}  // namespace gif
