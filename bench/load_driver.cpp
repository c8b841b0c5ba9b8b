// banner_load: concurrent banner requests against a web server on this
// machine (127.0.0.1 only), reporting requests per second.
//
//   banner_load PORT [--clients 16] [--requests 2000] [--keys 200]
//               [--path '/cgi-bin/banner?Site=top']
//
// Each of the clients sends its share of the requests one after another,
// one HTTP/1.0 connection per request, with a user agent from a pool of
// `keys` visitor keys and a fixed referer. Every answer must be status 200,
// "image/gif" and a GIF followed by the trailer byte; the others are
// counted as failures (exit status 1 when there are any).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Fetch(int port, const std::string& request) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return {};
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string response;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    size_t sent = 0;
    while (sent < request.size()) {
      const ssize_t n = write(fd, request.data() + sent, request.size() - sent);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    char buffer[16384];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) response.append(buffer, n);
  }
  close(fd);
  return response;
}

bool IsBanner(const std::string& response) {
  if (response.compare(0, 12, "HTTP/1.0 200") != 0 &&
      response.compare(0, 12, "HTTP/1.1 200") != 0) {
    return false;
  }
  const size_t end = response.find("\r\n\r\n");
  if (end == std::string::npos) return false;
  const std::string head = response.substr(0, end);
  if (head.find("Content-Type: image/gif") == std::string::npos) return false;
  const std::string body = response.substr(end + 4);
  return body.size() > 7 && body.compare(0, 4, "GIF8") == 0 && body.back() == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: banner_load PORT [--clients N] [--requests N] [--keys N] [--path P]\n");
    return 2;
  }
  const int port = std::atoi(argv[1]);
  int clients = 16, requests = 2000, keys = 200;
  std::string path = "/cgi-bin/banner?Site=top";
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--clients")
      clients = std::atoi(argv[i + 1]);
    else if (option == "--requests")
      requests = std::atoi(argv[i + 1]);
    else if (option == "--keys")
      keys = std::atoi(argv[i + 1]);
    else if (option == "--path")
      path = argv[i + 1];
    else {
      std::fprintf(stderr, "banner_load: unknown option %s\n", option.c_str());
      return 2;
    }
  }
  if (port <= 0 || clients < 1 || requests < 1 || keys < 1 || clients > 256 || requests > 1000000) {
    std::fprintf(stderr, "banner_load: bad port or counts\n");
    return 2;
  }
  std::atomic<int> next{0}, good{0}, bad{0};
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&] {
      for (int i = next++; i < requests; i = next++) {
        const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" +
                                    "User-Agent: load-agent/" + std::to_string(i % keys) + "\r\n" +
                                    "Referer: http://127.0.0.1/load.html\r\n\r\n";
        if (IsBanner(Fetch(port, request))) {
          ++good;
        } else {
          ++bad;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d clients, %d requests: %d banners, %d failed, %.2f s, %.0f requests/s\n", clients,
              requests, good.load(), bad.load(), seconds, requests / seconds);
  return bad.load() == 0 ? 0 : 1;
}
