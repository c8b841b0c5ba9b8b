#include "storage/index/index_page.h"

#include <cstring>

namespace strata {

void TPage::SetLayout(uint16_t key_size, bool record_numbers) {
  key_size_ = key_size;
  record_numbers_ = record_numbers;
  stride_ = static_cast<uint16_t>(key_size + (record_numbers ? 8 : 4));
}

void TPage::SetKey(int i, const uint8_t* key, uint32_t record_number) {
  uint8_t* entry = entries_ + i * stride_;
  std::memmove(entry, key, key_size_);
  if (record_numbers_) PutU32(entry + key_size_, record_number);
}

void TPage::InsertEntry(int i, const uint8_t* key, uint32_t record_number, uint32_t child) {
  uint8_t* entry = entries_ + i * stride_;
  std::memmove(entry + stride_, entry, static_cast<size_t>(Count - i) * stride_);
  std::memcpy(entry, key, key_size_);
  if (record_numbers_) PutU32(entry + key_size_, record_number);
  PutU32(entry + stride_ - 4, child);
  ++Count;
  UpdateUsed();
}

void TPage::RemoveEntry(int i) {
  uint8_t* entry = entries_ + i * stride_;
  std::memmove(entry, entry + stride_, static_cast<size_t>(Count - i - 1) * stride_);
  --Count;
  std::memset(entries_ + Count * stride_, 0, stride_);
  UpdateUsed();
}

void TPage::MoveTailTo(int first, TPage& to) {
  int n = Count - first;
  std::memcpy(to.entries_ + to.Count * stride_, entries_ + first * stride_,
              static_cast<size_t>(n) * stride_);
  std::memset(entries_ + first * stride_, 0, static_cast<size_t>(n) * stride_);
  to.Count = static_cast<uint16_t>(to.Count + n);
  Count = static_cast<uint16_t>(first);
  UpdateUsed();
  to.UpdateUsed();
}

void TPage::MoveTailToFront(int first, TPage& to) {
  int n = Count - first;
  size_t bytes = static_cast<size_t>(n) * stride_;
  std::memmove(to.entries_ + bytes, to.entries_, static_cast<size_t>(to.Count) * stride_);
  std::memcpy(to.entries_, entries_ + first * stride_, bytes);
  std::memset(entries_ + first * stride_, 0, bytes);
  to.Count = static_cast<uint16_t>(to.Count + n);
  Count = static_cast<uint16_t>(first);
  UpdateUsed();
  to.UpdateUsed();
}

void TPage::MoveHeadTo(int n, TPage& to) {
  size_t bytes = static_cast<size_t>(n) * stride_;
  std::memcpy(to.entries_ + to.Count * stride_, entries_, bytes);
  std::memmove(entries_, entries_ + bytes, static_cast<size_t>(Count - n) * stride_);
  std::memset(entries_ + (Count - n) * stride_, 0, bytes);
  to.Count = static_cast<uint16_t>(to.Count + n);
  Count = static_cast<uint16_t>(Count - n);
  UpdateUsed();
  to.UpdateUsed();
}

void TPage::Clear() {
  Kind = pkRootLeaf;
  Count = 0;
  Prev = Next = 0;
  Used = 0;
  std::memset(entries_, 0, sizeof entries_);
}

// Layout: see the table beside TPage.
void TPage::Encode(uint8_t* out) const {
  out[0] = Kind;
  PutU16(out + 1, Count);
  PutU32(out + 3, Prev);
  PutU32(out + 7, Next);
  PutU16(out + 11, Used);
  std::memcpy(out + kPageHeaderSize, entries_, kPageEntryBytes);
}

bool TPage::Decode(const uint8_t* in) {
  Kind = in[0];
  Count = GetU16(in + 1);
  Prev = GetU32(in + 3);
  Next = GetU32(in + 7);
  Used = GetU16(in + 11);
  std::memcpy(entries_, in + kPageHeaderSize, kPageEntryBytes);
  std::memset(entries_ + kPageEntryBytes, 0, sizeof entries_ - kPageEntryBytes);
  return Kind == pkText || static_cast<size_t>(Count) * stride_ <= kPageEntryBytes;
}

}  // namespace strata
