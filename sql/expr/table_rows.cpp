#include "sql/expr/table_rows.h"

#include <algorithm>
#include <cstring>

#include "sql/expr/expression_parser.h"
#include "storage/record/field_value.h"

namespace strata {

namespace {

// The data bytes of a stored fixed-size field, read in place (no copy): nullptr
// for a blank field or one beyond the record.
const uint8_t* FixedData(const TFieldDescriptor& field, std::span<const uint8_t> record,
                         size_t width) {
  if (field.Offset + 1u + width > record.size() || record[field.Offset] == 0) return nullptr;
  return record.data() + field.Offset + 1;
}

}  // namespace

std::optional<TColumnInfo> TTableColumns::FindColumn(int source, std::string_view column) const {
  if (source != 0) return std::nullopt;
  for (const TFieldDescriptor& field : fields_) {
    if (SameKeyword(field.Name, column)) {
      TColumnInfo info;
      info.Column = field.FieldNumber;
      info.Type = field.TypeCode;
      info.SubType = field.SubType;
      info.Size = field.TypeCode == fldZSTRING ? field.DataSize : field.DeclaredSize;
      info.Scale = field.Decimals;
      return info;
    }
  }
  return std::nullopt;
}

TRecordRows::TRecordRows(const std::vector<TFieldDescriptor>& fields, TRecordContext context)
    : fields_(fields), context_(std::move(context)) {
  uint16_t highest = 0;
  for (const TFieldDescriptor& field : fields_) highest = std::max(highest, field.FieldNumber);
  if (!fields_.empty()) by_number_.assign(size_t{highest} + 1, -1);
  for (size_t i = 0; i < fields_.size(); ++i) {
    by_number_[fields_[i].FieldNumber] = static_cast<int>(i);
  }
}

bool TRecordRows::ReadColumn(int source, uint16_t column, TExpValue& out) {
  if (source != 0 || record_.empty() || column >= by_number_.size() || by_number_[column] < 0) {
    return false;
  }
  const TFieldDescriptor& field = fields_[static_cast<size_t>(by_number_[column])];
  out.Type = field.TypeCode;
  out.SubType = field.SubType;
  out.Null = true;
  switch (field.TypeCode) {
    case fldZSTRING: {
      // Read in place: the flag byte, then the text up to its zero byte.
      if (field.Offset + field.DataSize + 1u > record_.size() || record_[field.Offset] == 0) {
        return true;
      }
      const auto* text = reinterpret_cast<const char*>(record_.data() + field.Offset + 1);
      const size_t limit = field.DataSize > 0 ? field.DataSize - 1u : 0;
      out.Str.assign(text, strnlen(text, limit));
      out.Null = false;
      return true;
    }
    case fldBOOL:
      if (const uint8_t* data = FixedData(field, record_, 2)) {
        out.Int = (data[0] | data[1]) != 0 ? kSqlTrue : kSqlFalse;
        out.Null = false;
      }
      return true;
    case fldFLOAT:
    case fldTIMESTAMP:
      if (const uint8_t* data = FixedData(field, record_, 8)) {
        std::memcpy(&out.Float, data, 8);  // little-endian IEEE double
        out.Null = false;
      }
      return true;
    case fldDATE:
    case fldTIME:
      if (const uint8_t* data = FixedData(field, record_, 4)) {
        int32_t value = 0;
        std::memcpy(&value, data, 4);
        out.Int = value;
        out.Null = false;
      }
      return true;
    case fldBCD:
      if (auto value = GetFieldBcd(field, record_, context_)) {
        out.Float = value->ToDouble();
        out.Null = false;
      }
      return true;
    case fldBYTES:
    case fldVARBYTES:
      if (auto value = GetFieldBytes(field, record_, context_)) {
        out.Str.assign(value->begin(), value->end());
        out.Null = false;
      }
      return true;
    case fldBLOB:
      if (blob_reader_) out.Null = !blob_reader_(field.FieldNumber, out.Str);
      return true;
    case fldINT16:
    case fldINT32:
    case fldUINT16:
    case fldINT64:
      if (auto value = GetFieldInt64(field, record_, context_)) {
        out.Int = *value;
        out.Null = false;
      }
      if (field.SubType == fldstAUTOINC) out.SubType = fldstNONE;
      return true;
    default:
      return true;
  }
}

}  // namespace strata
