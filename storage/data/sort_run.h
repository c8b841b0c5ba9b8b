// TSortRun: one run of the external record sort, a scratch file of its own
// that holds records back to back in sorted order. It is written once from
// the front, then read back once from the front through a buffer.
//
// Owns the file, created for exclusive use as a temporary file: it is
// removed when the run closes (its destructor), whether the sort ended or
// failed. Errors are engine errors naming the table being sorted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "storage/file/file_handler.h"

namespace strata {

class TSortRun {
 public:
  static constexpr size_t kBufferBytes = 65536;

  TSortRun(const std::string& path, size_t record_size, const std::string& table_name);
  ~TSortRun();
  TSortRun(const TSortRun&) = delete;
  TSortRun& operator=(const TSortRun&) = delete;

  // Writing: appends one record (record size bytes).
  void Append(const uint8_t* record);
  // Ends writing and goes to the first record.
  void Rewind();

  // Reading: the record at the front, nullptr once every record was passed.
  const uint8_t* Current() const { return at_ < filled_ ? buffer_.data() + at_ : nullptr; }
  void Advance();

  uint32_t Count() const { return count_; }
  const std::string& Path() const { return file_.Path(); }

 private:
  void WriteBuffer();
  void ReadBuffer();

  TFileHandler file_;
  size_t record_size_;
  size_t buffer_records_;
  std::vector<uint8_t> buffer_;
  size_t filled_ = 0;      // bytes of the buffer in use
  size_t at_ = 0;          // reading: offset of the current record in the buffer
  uint64_t file_at_ = 0;   // where the next buffer is written / read
  uint64_t file_end_ = 0;  // bytes written
  uint32_t count_ = 0;
};

}  // namespace strata
