#include "storage/data/sort_run.h"

#include <algorithm>
#include <cstring>

#include "storage/best_effort.h"

namespace strata {

TSortRun::TSortRun(const std::string& path, size_t record_size, const std::string& table_name)
    : record_size_(record_size),
      buffer_records_(std::max<size_t>(1, kBufferBytes / record_size)),
      buffer_(buffer_records_ * record_size) {
  file_.SetTableName(table_name);
  file_.CreateFile(path, false, true, true);
}

TSortRun::~TSortRun() {
  BestEffort([&] { file_.CloseFile(); });
}

void TSortRun::Append(const uint8_t* record) {
  if (filled_ == buffer_.size()) WriteBuffer();
  std::memcpy(buffer_.data() + filled_, record, record_size_);
  filled_ += record_size_;
  ++count_;
}

void TSortRun::WriteBuffer() {
  if (filled_ == 0) return;
  file_.WriteAt(file_at_, buffer_.data(), filled_);
  file_at_ += filled_;
  file_end_ = file_at_;
  filled_ = 0;
}

void TSortRun::Rewind() {
  WriteBuffer();
  file_at_ = 0;
  ReadBuffer();
}

void TSortRun::ReadBuffer() {
  const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer_.size(), file_end_ - file_at_));
  filled_ = want == 0 ? 0 : file_.ReadAt(file_at_, buffer_.data(), want);
  file_at_ += filled_;
  at_ = 0;
}

void TSortRun::Advance() {
  if (at_ >= filled_) return;
  at_ += record_size_;
  if (at_ >= filled_ && file_at_ < file_end_) ReadBuffer();
}

}  // namespace strata
