// Runs a CGI program once as a fresh process, as a web server does: a given
// environment (and nothing of ours), an empty standard input, standard
// output collected. Used by the request benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct TCgiRun {
  std::string output;       // everything the program wrote to standard output
  int exit_status = -1;     // -1 when it did not exit normally
  int64_t nanoseconds = 0;  // from the spawn to the end of the wait
};

// `environment` holds NAME=value entries; the program runs in `folder`.
TCgiRun RunCgi(const std::string& program, const std::vector<std::string>& environment,
               const std::string& folder);

// The body of a CGI response (after the empty line that ends the header
// block); empty when there is none.
std::string ResponseBody(const std::string& output);

// True for a banner answer: content type image/gif and a body of a GIF
// followed by the trailer byte 0.
bool IsBannerResponse(const std::string& output);

}  // namespace bench
