// Runs the test CGI program under a real lighttpd on 127.0.0.1 and drives it
// with curl: the client must receive the status, the content type and exactly
// the body bytes the program wrote.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "cgi/cgi_application.h"
#include "cgi/test_support.h"

namespace cgi {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// A port that was free a moment ago.
int FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

bool Accepts(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

// Runs a program to its end with standard output and error going to files.
// Returns its exit code, -1 when it did not exit normally.
int RunProgram(const std::vector<std::string>& args, const std::string& output_file) {
  pid_t pid = ::fork();
  if (pid == 0) {
    FILE* out = std::fopen(output_file.c_str(), "wb");
    if (out == nullptr) ::_exit(126);
    ::dup2(::fileno(out), STDOUT_FILENO);
    ::dup2(::fileno(out), STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A lighttpd serving the test program as /app.cgi from a temporary folder,
// stopped (and waited for) when the object goes, on every path.
class TestServer {
 public:
  TestServer() {
    std::filesystem::create_directory(dir_ / "htdocs");
    std::filesystem::create_directory(dir_ / "upload");
    std::filesystem::create_symlink(BANNER_TEST_CGI_PROGRAM, dir_ / "htdocs/app.cgi");
    for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) Start();
  }
  ~TestServer() { Stop(); }

  bool running() const { return pid_ > 0; }
  int port() const { return port_; }
  std::string upload_dir() const { return dir_ / "upload"; }
  const TempDir& dir() const { return dir_; }
  std::string ErrorLog() const { return ReadFile(dir_ / "error.log"); }

 private:
  void Start() {
    port_ = FreePort();
    std::string config = dir_ / "lighttpd.conf";
    WriteFile(config, "server.document-root = \"" + (dir_ / "htdocs") +
                          "\"\n"
                          "server.bind = \"127.0.0.1\"\n"
                          "server.port = " +
                          std::to_string(port_) +
                          "\n"
                          "server.modules = (\"mod_cgi\", \"mod_setenv\")\n"
                          "server.errorlog = \"" +
                          (dir_ / "error.log") +
                          "\"\n"
                          "cgi.assign = (\".cgi\" => \"\")\n"
                          "setenv.add-environment = (\"BANNER_TEST_UPLOAD_DIR\" => \"" +
                          (dir_ / "upload") + "\")\n");
    pid_t pid = ::fork();
    if (pid == 0) {
      FILE* out = std::fopen((dir_ / "lighttpd.out").c_str(), "wb");
      if (out != nullptr) {
        ::dup2(::fileno(out), STDOUT_FILENO);
        ::dup2(::fileno(out), STDERR_FILENO);
      }
      ::execl(BANNER_LIGHTTPD, "lighttpd", "-D", "-f", config.c_str(), nullptr);
      ::_exit(127);
    }
    pid_ = pid;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {  // ended: the port was taken
        pid_ = -1;
        return;
      }
      if (Accepts(port_)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
  }

  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
  }

  TempDir dir_;
  int port_ = -1;
  pid_t pid_ = -1;
};

struct Reply {
  int status = 0;
  std::string content_type;
  std::string headers;
  std::string body;
};

class LighttpdTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new TestServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(server_->running()) << "lighttpd did not start"; }

  // Runs curl against the server with extra arguments and the given path.
  Reply Curl(const std::vector<std::string>& extra, const std::string& path) {
    const TempDir& dir = server_->dir();
    std::vector<std::string> args = {BANNER_CURL,
                                     "-s",
                                     "-S",
                                     "--noproxy",
                                     "*",
                                     "--max-time",
                                     "30",
                                     "-o",
                                     dir / "body",
                                     "-D",
                                     dir / "headers",
                                     "-w",
                                     "%{http_code}\n%{content_type}"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("http://127.0.0.1:" + std::to_string(server_->port()) + path);
    int code = RunProgram(args, dir / "curl.out");
    std::string out = ReadFile(dir / "curl.out");
    EXPECT_EQ(code, 0) << out;
    Reply reply;
    reply.status = std::atoi(out.substr(0, out.find('\n')).c_str());
    reply.content_type = out.find('\n') == std::string::npos ? "" : out.substr(out.find('\n') + 1);
    reply.headers = ReadFile(dir / "headers");
    reply.body = ReadFile(dir / "body");
    return reply;
  }

  static TestServer* server_;
};

TestServer* LighttpdTest::server_ = nullptr;

TEST_F(LighttpdTest, GetWithQueryFieldsSelectsAnAction) {
  Reply reply = Curl({}, "/app.cgi?do=echo&a=x+y%21&b=%41");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.content_type, "text/plain");
  EXPECT_EQ(reply.body, "method=GET\ndo=echo\r\na=x y!\r\nb=A\r\n");
  // The after-handler ran before the response went out.
  EXPECT_NE(reply.headers.find("X-After-Dispatch: yes"), std::string::npos);
}

TEST_F(LighttpdTest, StreamBodyArrivesByteForByte) {
  Reply reply = Curl({}, "/app.cgi?do=binary");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.content_type, "image/gif");
  std::string expected;
  for (int i = 0; i < 256; ++i) expected += static_cast<char>(i);
  expected += '\0';
  EXPECT_EQ(reply.body, expected);
}

TEST_F(LighttpdTest, StatusCodeOfTheResponse) {
  Reply reply = Curl({}, "/app.cgi?do=status");
  EXPECT_EQ(reply.status, 404);
  EXPECT_EQ(reply.body, "missing");
}

TEST_F(LighttpdTest, FormEncodedPost) {
  Reply reply = Curl({"--data-binary", "do=echo&b=%41+B&c=1&"}, "/app.cgi?do=ignored");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.content_type, "text/plain");
  EXPECT_EQ(reply.body, "method=POST\ndo=echo\r\nb=A B\r\nc=1\r\n\r\n");
}

TEST_F(LighttpdTest, MultipartUploadLandsInTheUploadFolder) {
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes += static_cast<char>((i * 31) % 251);
  std::string source = server_->dir() / "source.bin";
  WriteFile(source, bytes);
  Reply reply =
      Curl({"-F", "do=echo", "-F", "Site=abc", "-F", "pic=@" + source + ";filename=banner.gif"},
           "/app.cgi");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "method=POST\ndo=echo\r\nSite=abc\r\npic=banner.gif\r\n");
  EXPECT_EQ(ReadFile(server_->upload_dir() + "/banner.gif"), bytes);
}

TEST_F(LighttpdTest, PathInfoReachesTheDefaultAction) {
  Reply reply = Curl({}, "/app.cgi/some/path?do=echo");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.content_type, "text/plain");
  EXPECT_EQ(reply.body, "default path=/some/path");
}

TEST_F(LighttpdTest, RaisingHandlerGivesThe500Page) {
  Reply reply = Curl({}, "/app.cgi?do=fail");
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(reply.content_type, "text/html");
  std::string page = TCGIApplication::ErrorPageText("ETestHandlerFailure", "Aktion fehlgeschlagen");
  EXPECT_EQ(reply.body, page.substr(page.find("\r\n\r\n") + 4));
}

TEST_F(LighttpdTest, GermanMessageLeavesAsWindows1252) {
  // The conversion error of a bad escape reaches the client in the system's
  // single-byte character set: "ü" is the one byte FC, not UTF-8's C3 BC.
  Reply reply = Curl({}, "/app.cgi?do=convert");
  EXPECT_EQ(reply.status, 500);
  EXPECT_NE(reply.body.find("ist kein g\xFCltiger Integerwert"), std::string::npos) << reply.body;
  EXPECT_EQ(reply.body.find("\xC3"), std::string::npos) << reply.body;
}

}  // namespace
}  // namespace cgi
