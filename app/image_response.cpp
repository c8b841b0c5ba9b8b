#include "app/image_response.h"

#include <algorithm>

#include "app/exe_files.h"
#include "platform/file.h"

namespace banner {

std::string NotFoundImagePath() { return BesideExecutable("Notfound.gif"); }

void LoadImageFile(cgi::TMemoryStream& stream, const std::string& path) {
  std::unique_ptr<platform::File> file =
      platform::File::Open(path, platform::Access::kReadOnly, platform::Share::kShared);
  std::string bytes(file->Size(), '\0');
  bytes.resize(file->ReadAt(0, bytes.data(), bytes.size()));
  const int64_t position = std::min<int64_t>(stream.Position(), static_cast<int64_t>(bytes.size()));
  stream.Clear();
  stream.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
  stream.SetPosition(position);
}

void AppendTrailer(cgi::TMemoryStream& stream, uint8_t trailer) {
  stream.SetPosition(stream.Size());
  stream.Write(&trailer, 1);
  stream.SetPosition(0);
}

void SendImage(cgi::TWebResponse& response, std::unique_ptr<cgi::TMemoryStream> stream) {
  response.SetContentType("image/gif");
  response.SetBodyStream(std::move(stream));
  response.Send();
}

}  // namespace banner
