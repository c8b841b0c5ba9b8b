// The body of every answer of the banner service: GIF bytes followed by one
// trailer byte, sent as "image/gif". These steps fill and send the image
// stream; the web module owns the stream until it hands it to the response.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "cgi/stream.h"
#include "cgi/web_response.h"

namespace banner {

// "Notfound.gif" beside the executable: served when no banner can be.
std::string NotFoundImagePath();

// Replaces the content of `stream` by the bytes of the file at `path`; the
// position is kept where it was, up to the new size. Throws OsError when the
// file cannot be read.
void LoadImageFile(cgi::TMemoryStream& stream, const std::string& path);
// Writes `trailer` after the last byte and sets the position to 0.
void AppendTrailer(cgi::TMemoryStream& stream, uint8_t trailer);
// Sends the stream as the response's "image/gif" body; the response owns it
// from here on.
void SendImage(cgi::TWebResponse& response, std::unique_ptr<cgi::TMemoryStream> stream);

}  // namespace banner
