// TDataCursor: the record buffer and its fields.
#include <algorithm>
#include <string>

#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/table/data_table.h"
#include "storage/engine_error.h"
#include "storage/engine_names.h"
#include "storage/cursor/field_text.h"
#include "storage/record/field_value.h"
#include "storage/record/new_record.h"
#include "storage/record/record_buffer.h"

namespace strata {

const std::vector<TFieldDescriptor>& TDataCursor::Fields() const {
  RequireOpen();
  return Data().Fields();
}

const TFieldDescriptor& TDataCursor::Field(uint16_t field_number) const {
  const std::vector<TFieldDescriptor>& fields = Fields();
  if (field_number < 1 || field_number > fields.size()) {
    RaiseFieldError(STRATA_OUTOFRANGE, std::to_string(field_number), table_name_);
  }
  return fields[field_number - 1];
}

uint16_t TDataCursor::FieldNumber(std::string_view name) const {
  const std::vector<TFieldDescriptor>& fields = Fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    if (SameName(fields[i].Name, name)) return static_cast<uint16_t>(i + 1);
  }
  RaiseFieldError(STRATA_OUTOFRANGE, name, table_name_);
}

uint16_t TDataCursor::RecordSize() const {
  RequireOpen();
  return Data().RecordSize();
}

// The buffer ----------------------------------------------------------------------

void TDataCursor::InitRecord() {
  RequireOpen();
  ReleaseEditLock();
  DropEdits();
  buffer_.assign(RecordSize(), 0);
  InitNewRecord(Fields(), buffer_, 0, nullptr, context_);
  modified_ = true;
}

void TDataCursor::SetRecordBuffer(std::span<const uint8_t> record) {
  RequireOpen();
  if (record.size() != RecordSize()) RaiseFieldError(STRATA_OUTOFRANGE, "", table_name_);
  std::vector<uint8_t> copy(record.begin(), record.end());  // may be the buffer itself
  DropEdits();
  buffer_ = std::move(copy);
  modified_ = true;
}

// Fields ----------------------------------------------------------------------------

bool TDataCursor::GetField(uint16_t field, std::span<uint8_t> dest) const {
  return GetField(field, buffer_, dest);
}

bool TDataCursor::GetField(uint16_t field, std::span<const uint8_t> record,
                           std::span<uint8_t> dest) const {
  return strata::GetField(Field(field), record, dest, context_);
}

bool TDataCursor::IsFieldBlank(uint16_t field) const {
  return strata::IsFieldBlank(Field(field), buffer_, context_);
}

void TDataCursor::PutField(uint16_t field, std::span<const uint8_t> value) {
  const TFieldDescriptor& descriptor = Field(field);
  if (descriptor.IsBlob()) {
    SetBlob(field, value);
    return;
  }
  if (SetField(descriptor, buffer_, value, context_)) modified_ = true;
  if (descriptor.IsAutoInc()) row_number_given_ = true;
}

void TDataCursor::PutField(uint16_t field, std::span<uint8_t> record,
                           std::span<const uint8_t> value) const {
  SetField(Field(field), record, value, context_);
}

void TDataCursor::PutFieldBlank(uint16_t field) {
  const TFieldDescriptor& descriptor = Field(field);
  if (descriptor.IsBlob()) {
    TruncateBlob(field, 0);
    return;
  }
  if (SetFieldBlank(descriptor, buffer_, context_)) modified_ = true;
}

std::optional<std::string> TDataCursor::GetFieldText(uint16_t field) {
  const TFieldDescriptor& descriptor = Field(field);
  if (descriptor.IsBlob()) {
    const std::vector<uint8_t> value = ReadBlob(field);
    if (value.empty()) return std::nullopt;
    return std::string(value.begin(), value.end());
  }
  return FormatFieldText(descriptor, buffer_, context_);
}

void TDataCursor::PutFieldText(uint16_t field, std::string_view text) {
  const TFieldDescriptor& descriptor = Field(field);
  if (descriptor.IsBlob()) {
    SetBlob(field, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    return;
  }
  if (text.empty()) {
    PutFieldBlank(field);
    return;
  }
  const std::vector<uint8_t> value = ParseFieldText(descriptor, text);
  PutField(field, value);
}

std::optional<int64_t> TDataCursor::GetFieldInt64(uint16_t field) const {
  return strata::GetFieldInt64(Field(field), buffer_, context_);
}

std::optional<double> TDataCursor::GetFieldDouble(uint16_t field) const {
  return strata::GetFieldDouble(Field(field), buffer_, context_);
}

std::optional<std::string> TDataCursor::GetFieldString(uint16_t field) const {
  return strata::GetFieldString(Field(field), buffer_, context_);
}

void TDataCursor::PutFieldInt64(uint16_t field, int64_t value) {
  const TFieldDescriptor& descriptor = Field(field);
  if (SetFieldInt64(descriptor, buffer_, value, context_)) modified_ = true;
  if (descriptor.IsAutoInc()) row_number_given_ = true;
}

void TDataCursor::PutFieldDouble(uint16_t field, double value) {
  if (SetFieldDouble(Field(field), buffer_, value, context_)) modified_ = true;
}

void TDataCursor::PutFieldString(uint16_t field, std::string_view value) {
  if (SetFieldString(Field(field), buffer_, value, context_)) modified_ = true;
}

}  // namespace strata
