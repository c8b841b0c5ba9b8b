// banner_floor: the least a CGI banner request can cost. It writes one fixed
// response (the header block of the banner service, a GIF and the trailer
// byte) with a single write and ends: no environment, no files, no database.
#include <unistd.h>

#include <string>

#include "bench/floor_gif.h"

int main() {
  std::string response = "Status: 200 OK\r\nContent-Type: image/gif\r\nContent-Length: " +
                         std::to_string(floor_gif_size + 1) + "\r\nContent:\r\n\r\n";
  response.append(reinterpret_cast<const char*>(floor_gif), floor_gif_size);
  response += '\0';
  size_t done = 0;
  while (done < response.size()) {
    const ssize_t written = write(1, response.data() + done, response.size() - done);
    if (written <= 0) return 1;
    done += static_cast<size_t>(written);
  }
  return 0;
}
