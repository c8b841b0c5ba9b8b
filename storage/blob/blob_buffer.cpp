#include "storage/blob/blob_buffer.h"

#include <algorithm>
#include <cstring>

#include "storage/blob/blob_file.h"
#include "storage/engine_error.h"

namespace strata {

TBlobBuffer::TBlobBuffer(std::string table_name, uint32_t first_block, uint32_t row_number)
    : table_name_(std::move(table_name)), first_block_(first_block), row_number_(row_number) {}

size_t TBlobBuffer::Read(uint64_t offset, size_t count, uint8_t* out) const {
  if (offset > bytes_.size()) RaiseTableError(STRATA_INVALIDBLOBOFFSET, table_name_);
  size_t available = bytes_.size() - static_cast<size_t>(offset);
  size_t n = std::min(count, available);
  if (n > 0) std::memcpy(out, bytes_.data() + offset, n);
  return n;
}

std::vector<uint8_t> TBlobBuffer::Read(uint64_t offset, size_t count) const {
  if (offset > bytes_.size()) RaiseTableError(STRATA_INVALIDBLOBOFFSET, table_name_);
  size_t n = std::min(count, bytes_.size() - static_cast<size_t>(offset));
  std::vector<uint8_t> out(n);
  Read(offset, n, out.data());
  return out;
}

void TBlobBuffer::Write(uint64_t offset, std::span<const uint8_t> bytes) {
  if (offset > bytes_.size()) RaiseTableError(STRATA_INVALIDBLOBOFFSET, table_name_);
  uint64_t end = offset + bytes.size();
  if (end > UINT32_MAX) RaiseTableError(STRATA_INVALIDBLOBLEN, table_name_);
  if (end > bytes_.size()) bytes_.resize(static_cast<size_t>(end));
  if (!bytes.empty()) std::memcpy(bytes_.data() + offset, bytes.data(), bytes.size());
  modified_ = true;
}

void TBlobBuffer::Truncate(uint64_t size) {
  if (size > bytes_.size()) RaiseTableError(STRATA_INVALIDBLOBOFFSET, table_name_);
  bytes_.resize(static_cast<size_t>(size));
  modified_ = true;
}

void TBlobBuffer::Revert() {
  bytes_ = original_;
  modified_ = false;
}

void TBlobBuffer::Load(TBlobFile& file) {
  bytes_ = file.ReadValue(first_block_, row_number_);
  original_ = bytes_;
  modified_ = false;
}

uint32_t TBlobBuffer::Post(TBlobFile& file) {
  if (Changed()) {
    first_block_ = file.WriteValue(first_block_, row_number_, bytes_);
    original_ = bytes_;
  }
  modified_ = false;
  return first_block_;
}

void TBlobBuffer::Free(TBlobFile& file) {
  file.FreeValue(first_block_, row_number_);
  first_block_ = 0;
  bytes_.clear();
  original_.clear();
  modified_ = false;
}

}  // namespace strata
