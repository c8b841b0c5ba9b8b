// banner_gifs: draws the sample banners and the not-found image.
//
//   banner_gifs NOTFOUND_FOLDER SAMPLE_FOLDER
//
// writes "Notfound.gif" into the first folder and the sample banners
// (travel.gif, books.gif, ...) into the second, creating the folders, and
// prints one line per file: its path, size in pixels and word.
#include <cstdio>
#include <exception>
#include <string>

#include "platform/file.h"
#include "tools/banner_art.h"

namespace {

void Write(const std::string& folder, const gif::BannerSpec& spec) {
  platform::CreateDirectory(folder);
  const std::string path = folder + "/" + spec.file;
  platform::ReplaceFileContent(path, gif::Encode(gif::DrawBanner(spec)));
  std::printf("%s %dx%d %s\n", path.c_str(), spec.width, spec.height, spec.word.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: banner_gifs NOTFOUND_FOLDER SAMPLE_FOLDER\n");
    return 2;
  }
  try {
    Write(argv[1], gif::NotFoundBanner());
    for (const gif::BannerSpec& spec : gif::SampleBanners()) Write(argv[2], spec);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "banner_gifs: %s\n", error.what());
    return 2;
  }
  return 0;
}
