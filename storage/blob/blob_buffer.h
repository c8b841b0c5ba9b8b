// TBlobBuffer: the value of one blob field of a cursor's current record,
// held in memory between loading it and posting the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace strata {

class TBlobFile;

// Owns the bytes of one blob value and a copy of them as they were read.
// Remembers where the value lives (first block, owning row number). Changes
// (Write, Truncate) only touch the buffer and set the modified flag; Post
// writes them to the blob file. Values are at most 0xFFFFFFFF bytes long.
// The reference count tracks how many users the buffer has.
class TBlobBuffer {
 public:
  // `table_name` names the table in errors.
  TBlobBuffer(std::string table_name, uint32_t first_block, uint32_t row_number);

  uint32_t FirstBlock() const { return first_block_; }
  void SetFirstBlock(uint32_t first_block) { first_block_ = first_block; }
  uint32_t RowNumber() const { return row_number_; }
  void SetRowNumber(uint32_t row_number) { row_number_ = row_number; }

  uint64_t Size() const { return bytes_.size(); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  // Copies up to `count` bytes from `offset` into `out`; returns how many
  // (fewer at the end). An offset beyond the end raises
  // STRATA_INVALIDBLOBOFFSET (9998).
  size_t Read(uint64_t offset, size_t count, uint8_t* out) const;
  std::vector<uint8_t> Read(uint64_t offset, size_t count) const;
  // Writes `bytes` at `offset`, growing the value as needed. An offset beyond
  // the end raises STRATA_INVALIDBLOBOFFSET (9998); a value beyond 0xFFFFFFFF
  // bytes raises STRATA_INVALIDBLOBLEN (10029).
  void Write(uint64_t offset, std::span<const uint8_t> bytes);
  // Cuts the value to `size` bytes; a size beyond the end raises
  // STRATA_INVALIDBLOBOFFSET (9998).
  void Truncate(uint64_t size);

  // Set by Write and Truncate, cleared by Load, Post and Revert.
  bool Modified() const { return modified_; }
  // Modified and different from the value as read.
  bool Changed() const { return modified_ && bytes_ != original_; }
  // Drops the changes: the value as read comes back.
  void Revert();

  int AddRef() { return ++references_; }
  int Release() { return --references_; }
  int References() const { return references_; }

  // Reads the value at FirstBlock() / RowNumber() from the blob file.
  void Load(TBlobFile& file);
  // Writes a changed value to the blob file (an unchanged one is skipped)
  // and returns the first block to keep in the record (0 for no value).
  uint32_t Post(TBlobFile& file);
  // Frees the value in the blob file: the reference becomes 0, the buffer empty.
  void Free(TBlobFile& file);

 private:
  std::string table_name_;
  uint32_t first_block_;
  uint32_t row_number_;
  std::vector<uint8_t> bytes_;
  std::vector<uint8_t> original_;
  bool modified_ = false;
  int references_ = 1;
};

}  // namespace strata
