// Test helper for index tests: a table's field list with offsets assigned
// as table creation assigns them, and record buffers filled field by field.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "storage/byte_order.h"
#include "storage/record/field_descriptor.h"
#include "storage/record/field_validation.h"
#include "storage/record/record_buffer.h"
#include "storage/record/record_context.h"
#include "storage/record/record_header.h"

namespace strata::testing {

class TKeyTable {
 public:
  // Adds a field numbered in order; returns its number.
  uint16_t Add(const std::string& name, uint8_t type, uint8_t declared = 0, uint8_t subtype = 0,
               uint8_t char_case = 0) {
    TFieldDescriptor f;
    f.FieldNumber = static_cast<uint16_t>(fields_.size() + 1);
    f.Name = name;
    f.TypeCode = type;
    f.SubType = subtype;
    f.DeclaredSize = declared;
    f.CharCase = char_case;
    fields_.push_back(f);
    record_size_ = ValidateFieldDescriptors(fields_, "Test", 1, 512);
    return f.FieldNumber;
  }

  const std::vector<TFieldDescriptor>& Fields() const { return fields_; }
  const TFieldDescriptor& Field(uint16_t number) const { return fields_[number - 1]; }
  size_t RecordSize() const { return record_size_; }

  std::vector<uint8_t> NewRecord(int32_t row_number, uint32_t record_number = 1) const {
    std::vector<uint8_t> record(record_size_, 0);
    SetRecordNumber(record.data(), record_number);
    SetRowNumber(record.data(), row_number);
    return record;
  }
  void SetInt32(std::vector<uint8_t>& record, uint16_t field, int32_t value) const {
    uint8_t bytes[4];
    PutI32(bytes, value);
    SetField(Field(field), record, bytes, context_);
  }
  void SetInt16(std::vector<uint8_t>& record, uint16_t field, int16_t value) const {
    uint8_t bytes[2];
    PutU16(bytes, static_cast<uint16_t>(value));
    SetField(Field(field), record, bytes, context_);
  }
  void SetInt64(std::vector<uint8_t>& record, uint16_t field, int64_t value) const {
    uint8_t bytes[8];
    PutU64(bytes, static_cast<uint64_t>(value));
    SetField(Field(field), record, bytes, context_);
  }
  void SetDouble(std::vector<uint8_t>& record, uint16_t field, double value) const {
    uint8_t bytes[8];
    PutF64(bytes, value);
    SetField(Field(field), record, bytes, context_);
  }
  void SetText(std::vector<uint8_t>& record, uint16_t field, const std::string& text) const {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    SetField(Field(field), record, bytes, context_);
  }
  void SetRaw(std::vector<uint8_t>& record, uint16_t field, const std::vector<uint8_t>& v) const {
    SetField(Field(field), record, v, context_);
  }

 private:
  std::vector<TFieldDescriptor> fields_;
  size_t record_size_ = 9;
  TRecordContext context_{"Test"};
};

}  // namespace strata::testing
