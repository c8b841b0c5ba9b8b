// Test support: a request whose environment, input and output live in memory.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cgi/web_request.h"

namespace cgi {

// A request over a map of variables, an input text handed out in reads of at
// most `chunk` bytes, and an output text that collects every write.
class TTestRequest : public TWebRequest {
 public:
  explicit TTestRequest(std::map<std::string, std::string> env, std::string input = {},
                        int chunk = 1 << 30)
      : env_(std::move(env)), input_(std::move(input)), chunk_(chunk) {
    ReadRequestStart();
  }
  explicit TTestRequest(std::initializer_list<std::pair<const std::string, std::string>> env,
                        std::string input = {}, int chunk = 1 << 30)
      : TTestRequest(std::map<std::string, std::string>(env), std::move(input), chunk) {}

  int ReadInput(void* buffer, int count) override {
    ++reads_;
    read_counts_.push_back(count);
    if (fail_reads_) return -1;
    int n = static_cast<int>(
        std::min<size_t>({static_cast<size_t>(std::max(count, 0)), static_cast<size_t>(chunk_),
                          input_.size() - read_pos_}));
    if (n > 0) std::memcpy(buffer, input_.data() + read_pos_, n);
    read_pos_ += n;
    return n;
  }
  int WriteOutput(const void* buffer, int count) override {
    ++writes_;
    if (fail_writes_) return -1;
    output_.append(static_cast<const char*>(buffer), count);
    return count;
  }
  std::string EnvironmentField(const std::string& name) override {
    auto it = env_.find(name);
    std::string value = it == env_.end() ? std::string() : it->second;
    if (value.empty() && name.compare(0, 5, "HTTP_") == 0) {
      it = env_.find(name.substr(5));
      if (it != env_.end()) value = it->second;
    }
    return value;
  }

  std::map<std::string, std::string>& Env() { return env_; }
  const std::string& Output() const { return output_; }
  void ClearOutput() { output_.clear(); }
  int Reads() const { return reads_; }
  const std::vector<int>& ReadCounts() const { return read_counts_; }
  int Writes() const { return writes_; }
  size_t Consumed() const { return read_pos_; }
  void SetFailReads(bool fail) { fail_reads_ = fail; }
  void SetFailWrites(bool fail) { fail_writes_ = fail; }

 private:
  std::map<std::string, std::string> env_;
  std::string input_;
  size_t read_pos_ = 0;
  int chunk_;
  std::string output_;
  int reads_ = 0;
  std::vector<int> read_counts_;
  int writes_ = 0;
  bool fail_reads_ = false;
  bool fail_writes_ = false;
};

}  // namespace cgi
