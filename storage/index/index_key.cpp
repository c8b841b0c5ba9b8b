#include "storage/index/index_key.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/nls.h"
#include "storage/byte_order.h"
#include "storage/engine_error.h"
#include "storage/index/index_definition.h"
#include "storage/record/bcd.h"

namespace strata {
namespace {

constexpr uint64_t kSign16 = 0x8000;
constexpr uint64_t kSign32 = 0x80000000u;
constexpr uint64_t kSign64 = 0x8000000000000000ull;

void PutDoubleKey(uint8_t* out, double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, 8);
  bits = value >= 0 ? (bits | kSign64) : ~bits;
  PutBigEndian(out, bits, 8);
}

// The text of a record's string value: up to the first zero, at most `max`.
std::string_view TextOf(const uint8_t* data, size_t max) {
  const char* text = reinterpret_cast<const char*>(data);
  const void* zero = std::memchr(text, 0, max);
  return std::string_view(text, zero ? static_cast<const char*>(zero) - text : max);
}

}  // namespace

void PutIntegerKey(uint8_t* out, int32_t value) {
  PutBigEndian(out, static_cast<uint32_t>(value) ^ kSign32, 4);
}

TIndexKeyFormat::TIndexKeyFormat(int slot, const TIndexDescriptor& index,
                                 std::span<const TFieldDescriptor> fields, uint32_t locale_id,
                                 std::string_view table) {
  sys_deleted_ = slot == kSysDeletedIndex;
  table_ = table;
  unique_ = sys_deleted_ || index.Unique;
  descending_ = index.Descending;
  case_insensitive_ = index.CaseInsensitive;
  uint16_t language = static_cast<uint16_t>(locale_id & 0xFFFF);
  locale_ = language == 0 ? platform::nls::MakeLocaleId(platform::nls::kUsEnglish, 0) : locale_id;
  byte_order_ = sys_deleted_ || language == 0 || fields.empty();
  if (sys_deleted_) {
    key_size_ = fields_bytes_ = kSysDeletedKeySize;
    return;
  }
  // Keys are built into buffers of the largest key's size: a stored size
  // beyond it is a damaged header, not a key to build.
  if (index.KeySize > kMaxKeySize) RaiseTableError(STRATA_HEADERCORRUPT, table_);
  key_size_ = index.KeySize;
  if (fields.empty()) {
    // Field definitions unknown: keys can be compared as bytes, not built.
    fields_bytes_ = unique_ || key_size_ < 4 ? key_size_ : key_size_ - 4;
    return;
  }
  uint16_t offset = 0;
  for (int i = 0; i < index.FieldCount && i < kMaxKeyFields; ++i) {
    const TFieldDescriptor* f = FindField(fields, index.FieldNumbers[i]);
    if (f == nullptr) {
      RaiseEngineError(STRATA_INVALIDIDXDESC, {.table = std::string(table),
                                               .field = std::to_string(index.FieldNumbers[i]),
                                               .index = index.Name});
    }
    KeyField k;
    k.record_offset = f->Offset;
    k.key_offset = offset;
    k.type = f->TypeCode;
    k.data_size = f->DataSize;
    k.width = static_cast<uint8_t>(KeyValueWidth(*f));
    k.char_case = f->CharCase;
    k.complemented = index.FieldDescending[i] && !index.Descending;
    k.reversed = index.Descending || index.FieldDescending[i];
    k.is_text = f->TypeCode == fldZSTRING;
    k.auto_inc = f->IsAutoInc();
    k.stored = !f->NotStored;
    fields_.push_back(k);
    offset = static_cast<uint16_t>(offset + k.width + 1);
  }
  fields_bytes_ = offset;
  // The descriptor's key size is what the pages were built with; a
  // disagreeing one is a fault of the file that Verify reports.
  if (key_size_ < fields_bytes_ + (unique_ ? 0 : 4)) key_size_ = fields_bytes_ + (unique_ ? 0 : 4);
}

int TIndexKeyFormat::PrefixBytes(int count) const {
  if (count < 0 || count >= FieldCount()) return fields_.empty() ? key_size_ : fields_bytes_;
  return fields_[count].key_offset;
}

// The key value of one field from its data bytes (record encoding).
void TIndexKeyFormat::BuildValue(const KeyField& f, const uint8_t* value, size_t size,
                                 uint8_t* out) const {
  uint8_t data[256] = {};
  std::memcpy(data, value, std::min<size_t>(size, sizeof data));
  switch (f.type) {
    case fldZSTRING: {
      std::string_view text = TextOf(data, f.data_size > 0 ? f.data_size - 1 : 0);
      std::string upper;
      if (case_insensitive_) {
        upper = platform::nls::ToUpper(locale_, text);
        text = upper;
      }
      size_t n = std::min<size_t>(text.size(), f.data_size > 0 ? f.data_size - 1 : 0);
      std::memset(out, 0, f.width);
      std::memcpy(out, text.data(), n);
      return;
    }
    case fldDATE:
    case fldINT32:
    case fldTIME:
      PutBigEndian(out, GetU32(data) ^ kSign32, 4);
      return;
    case fldINT16:
      PutBigEndian(out, GetU16(data) ^ kSign16, 2);
      return;
    case fldBOOL:
    case fldUINT16:
      PutBigEndian(out, GetU16(data), 2);
      return;
    case fldFLOAT:
    case fldTIMESTAMP:
      PutDoubleKey(out, GetF64(data));
      return;
    case fldBCD:
      PutBigEndian(out, static_cast<uint64_t>(TBcd::Decode(value).ToScaled()) ^ kSign64, 8);
      return;
    case fldINT64:
      PutBigEndian(out, GetU64(data) ^ kSign64, 8);
      return;
    default:
      std::memcpy(out, data, f.width);
      return;
  }
}

void TIndexKeyFormat::BuildFromRecord(const uint8_t* record, uint8_t* key, int field_count) const {
  std::memset(key, 0, key_size_);
  if (sys_deleted_) {
    key[0] = record[0];
    PutIntegerKey(key + 1, GetI32(record + 5));
    return;
  }
  if (fields_.empty() && key_size_ > 0) RaiseTableError(STRATA_HEADERCORRUPT, table_);
  int count = field_count < 0 || field_count > FieldCount() ? FieldCount() : field_count;
  for (int i = 0; i < count; ++i) {
    const KeyField& f = fields_[i];
    uint8_t* out = key + f.key_offset;
    if (f.auto_inc) {
      out[0] = 1;
      uint8_t value[4];
      std::memcpy(value, record + f.record_offset, 4);
      BuildValue(f, value, 4, out + 1);
    } else if (f.stored && record[f.record_offset] != 0) {
      out[0] = 1;
      BuildValue(f, record + f.record_offset + 1, f.data_size, out + 1);
    }
    if (f.complemented) {
      int n = 1 + f.width - (f.is_text ? 1 : 0);
      for (int b = 0; b < n; ++b) out[b] = static_cast<uint8_t>(~out[b]);
    }
  }
  if (!unique_ && count == FieldCount()) PutIntegerKey(key + fields_bytes_, GetI32(record + 5));
}

void TIndexKeyFormat::BuildFromValues(std::span<const TKeyFieldValue> values, uint8_t* key) const {
  std::memset(key, 0, key_size_);
  if (fields_.empty() && key_size_ > 0) RaiseTableError(STRATA_HEADERCORRUPT, table_);
  size_t count = std::min(values.size(), fields_.size());
  for (size_t i = 0; i < count; ++i) {
    const KeyField& f = fields_[i];
    const TKeyFieldValue& v = values[i];
    uint8_t* out = key + f.key_offset;
    if (v.Data != nullptr) {
      const uint8_t* bytes = static_cast<const uint8_t*>(v.Data);
      if (f.is_text) {
        // As a stored text: cut, trailing blanks removed, case applied.
        size_t max = f.data_size > 0 ? f.data_size - 1 : 0;
        std::string_view text = TextOf(bytes, std::min(v.Size, max));
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
        std::string mapped(text);
        if (f.char_case == 1) mapped = platform::nls::ToLower(locale_, mapped);
        if (f.char_case == 2) mapped = platform::nls::ToUpper(locale_, mapped);
        if (!mapped.empty()) {
          out[0] = 1;
          mapped.resize(std::min(mapped.size(), max));
          BuildValue(f, reinterpret_cast<const uint8_t*>(mapped.data()), mapped.size(), out + 1);
        }
      } else if (f.type == fldBOOL) {
        uint16_t b = v.Size >= 2 ? GetU16(bytes) : (v.Size == 1 ? bytes[0] : 0);
        uint8_t value[2] = {static_cast<uint8_t>(b > 1 ? 1 : b), 0};
        out[0] = 1;
        BuildValue(f, value, 2, out + 1);
      } else {
        uint8_t value[256] = {};
        size_t size = f.auto_inc ? 4 : f.data_size;
        std::memcpy(value, bytes, std::min({v.Size, size, sizeof value}));
        BuildValue(f, value, size, out + 1);
        out[0] = 1;
      }
    }
    if (f.complemented) {
      int n = 1 + f.width - (f.is_text ? 1 : 0);
      for (int b = 0; b < n; ++b) out[b] = static_cast<uint8_t>(~out[b]);
    }
  }
}

std::vector<uint8_t> TIndexKeyFormat::TextKey(std::string_view text, bool fill) const {
  assert(FirstFieldIsText());
  std::vector<uint8_t> key(key_size_, 0);
  const KeyField& f = fields_[0];
  uint8_t* out = key.data() + f.key_offset;
  const size_t max = f.data_size > 0 ? f.data_size - 1 : 0;
  text = TextOf(reinterpret_cast<const uint8_t*>(text.data()), std::min(text.size(), max));
  if (text.empty()) return key;
  out[0] = 1;
  BuildValue(f, reinterpret_cast<const uint8_t*>(text.data()), text.size(), out + 1);
  if (fill) std::fill(out + 1 + text.size(), out + 1 + f.width, uint8_t{0xFF});
  if (f.complemented) {
    for (int b = 0; b < f.width; ++b) out[b] = static_cast<uint8_t>(~out[b]);
  }
  return key;
}

int TIndexKeyFormat::CompareBytes(const uint8_t* a, const uint8_t* b, size_t n) const {
  int r = std::memcmp(a, b, n);
  return descending_ ? -r : r;
}

// Compares one key field (flag and value) over at most `bytes` bytes.
int TIndexKeyFormat::CompareField(const KeyField& f, const uint8_t* a, const uint8_t* b,
                                  int bytes) const {
  const uint8_t* fa = a + f.key_offset;
  const uint8_t* fb = b + f.key_offset;
  int full = f.width + 1;
  if (!f.is_text || bytes < full) return CompareBytes(fa, fb, std::min(full, bytes));
  if (fa[0] != fb[0]) return CompareBytes(fa, fb, 1);
  // Both flags equal: compare the texts in the locale's order, in their
  // natural (uncomplemented) form.
  uint8_t ta[256], tb[256];
  size_t n = f.width;
  std::memcpy(ta, fa + 1, n);
  std::memcpy(tb, fb + 1, n);
  if (f.complemented) {
    for (size_t i = 0; i + 1 < n; ++i) {
      ta[i] = static_cast<uint8_t>(~ta[i]);
      tb[i] = static_cast<uint8_t>(~tb[i]);
    }
  }
  int r = platform::nls::CompareText(locale_, TextOf(ta, n), TextOf(tb, n));
  r = r < 0 ? -1 : (r > 0 ? 1 : 0);
  return f.reversed ? -r : r;
}

int TIndexKeyFormat::Compare(const uint8_t* a, const uint8_t* b) const {
  if (byte_order_) return CompareBytes(a, b, key_size_);
  for (const KeyField& f : fields_) {
    int r = CompareField(f, a, b, f.width + 1);
    if (r != 0) return r;
  }
  return std::memcmp(a + fields_bytes_, b + fields_bytes_, key_size_ - fields_bytes_);
}

int TIndexKeyFormat::Compare(const uint8_t* a, const uint8_t* b, TKeyLimit limit) const {
  if (limit.IsWhole()) return Compare(a, b);
  int bytes = CompareLength(limit);
  if (byte_order_) return CompareBytes(a, b, bytes);
  for (const KeyField& f : fields_) {
    if (f.key_offset >= bytes) return 0;
    int r = CompareField(f, a, b, bytes - f.key_offset);
    if (r != 0) return r;
  }
  if (bytes <= fields_bytes_) return 0;
  return std::memcmp(a + fields_bytes_, b + fields_bytes_, bytes - fields_bytes_);
}

}  // namespace strata
