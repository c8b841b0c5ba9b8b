// Test helper: a fresh folder under the system's temporary folder, removed
// with everything in it when the helper goes.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>

namespace strata::testing {

class TTempDir {
 public:
  TTempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("strata_test_" + std::to_string(getpid()) + "_" + std::to_string(++counter));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TTempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  // The folder with a trailing '/'.
  std::string Dir() const { return path_.string() + "/"; }
  std::string File(const std::string& name) const { return Dir() + name; }

 private:
  std::filesystem::path path_;
};

}  // namespace strata::testing
