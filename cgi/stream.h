// Byte streams: the body a handler hands to the response.
#pragma once

#include <cstdint>
#include <string>

namespace cgi {

// A positioned sequence of bytes. Reads and writes start at Position and move
// it; a write past the end grows the stream.
class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to `count` bytes; returns how many were read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes `count` bytes; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  virtual int64_t Size() const = 0;
  virtual int64_t Position() const = 0;
  virtual void SetPosition(int64_t position) = 0;
};

// A stream held in memory. Owns its bytes.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }
  int64_t Position() const override { return position_; }
  // Any position from 0 on; a write past the end fills the gap with zeros.
  void SetPosition(int64_t position) override;

  void WriteText(const std::string& text) { Write(text.data(), static_cast<int64_t>(text.size())); }
  const std::string& Bytes() const { return bytes_; }
  void Clear();

 private:
  std::string bytes_;
  int64_t position_ = 0;
};

}  // namespace cgi
