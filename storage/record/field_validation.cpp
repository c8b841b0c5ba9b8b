#include "storage/record/field_validation.h"

#include <set>
#include <string>
#include <vector>

#include "platform/nls.h"
#include "storage/engine_error.h"
#include "storage/record/record_header.h"
#include "storage/record/value_text.h"

namespace strata {
namespace {

std::string TrimBlanks(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return std::string(text);
}

// The type codes a field may have; everything else has no encoding.
bool IsKnownTypeCode(uint8_t code) {
  switch (code) {
    case fldZSTRING:
    case fldDATE:
    case fldBLOB:
    case fldBOOL:
    case fldINT16:
    case fldINT32:
    case fldFLOAT:
    case fldBCD:
    case fldBYTES:
    case fldTIME:
    case fldTIMESTAMP:
    case fldUINT16:
    case fldUINT32:
    case fldFLOATIEEE:
    case fldVARBYTES:
    case fldCURSOR:
    case fldINT64:
    case fldADT:
    case fldARRAY:
    case fldREF:
    case fldTABLE:
      return true;
    default:
      return false;
  }
}

bool HasDeclaredSize(uint8_t code) {
  return code == fldZSTRING || code == fldBYTES || code == fldVARBYTES;
}

}  // namespace

bool IsValidFieldName(std::string_view name) {
  if (name.empty() || name.size() > kMaxFieldNameLength) return false;
  const auto first = static_cast<unsigned char>(name.front());
  return (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z') || first == '_' ||
         (first >= 128 && first <= 254);
}

uint16_t ValidateFieldDescriptors(std::span<TFieldDescriptor> fields, std::string_view table,
                                  size_t index_count, uint32_t blob_block_size,
                                  bool allow_not_stored) {
  // Work on a copy so that a failure leaves the caller's list as it was.
  std::vector<TFieldDescriptor> checked(fields.begin(), fields.end());
  std::set<std::string> names;  // upper case
  std::set<uint16_t> numbers;
  for (TFieldDescriptor& field : checked) {
    field.Name = TrimBlanks(field.Name);
    if (!IsValidFieldName(field.Name) ||
        !names.insert(platform::nls::ToUpper(platform::nls::kUsEnglish, field.Name)).second) {
      RaiseFieldError(STRATA_INVALIDFIELDNAME, field.Name, table);
    }
    if (!numbers.insert(field.FieldNumber).second || !IsKnownTypeCode(field.TypeCode)) {
      RaiseFieldError(STRATA_INVALIDFLDTYPE, field.Name, table);
    }
    if (HasDeclaredSize(field.TypeCode)) {
      if (field.DeclaredSize > kMaxDeclaredSize) {
        RaiseFieldError(STRATA_INVALIDFLDTYPE, field.Name, table);
      }
    } else {
      field.DeclaredSize = 0;
    }
    if (field.TypeCode != fldBCD) field.Decimals = 0;
    if (!IsValidValueText(field, field.DefaultValue) || !IsValidValueText(field, field.MinValue) ||
        !IsValidValueText(field, field.MaxValue)) {
      RaiseFieldError(STRATA_INVALIDVCHKSTRUCT, field.Name, table);
    }
    if (field.NotStored && !allow_not_stored) {
      RaiseFieldError(STRATA_INVALIDFLDTYPE, field.Name, table);
    }
  }

  uint32_t offset = kRecordHeaderSize;
  size_t blob_fields = 0;
  for (TFieldDescriptor& field : checked) {
    field.DecimalsCopy = field.Decimals;
    field.DataSize = FieldDataSize(field.TypeCode, field.DeclaredSize);
    if (field.IsBlob()) ++blob_fields;
    if (field.IsAutoInc()) {
      field.Offset = kRowNumberOffset;
    } else if (field.NotStored) {
      field.Offset = 0;  // no place in the record
    } else {
      // Past 65535 the record is too large (below); the offset is moot then.
      field.Offset = static_cast<uint16_t>(offset);
      offset += field.DataSize + 1u;
    }
  }

  if (checked.size() > kMaxFields) RaiseTableError(STRATA_FLDLIMIT, table);
  const uint32_t block_size = blob_block_size == 0 ? kDefaultBlobBlockSize : blob_block_size;
  if (blob_fields > kMaxBlobFields || block_size < kMinBlobBlockSize) {
    RaiseTableError(STRATA_BLOBLIMIT, table);
  }
  if (index_count > kMaxIndexes) RaiseTableError(STRATA_INDEXLIMIT, table);
  if (offset > kMaxRecordSize) RaiseTableError(STRATA_RECTOOBIG, table);

  std::copy(checked.begin(), checked.end(), fields.begin());
  return static_cast<uint16_t>(offset);
}

}  // namespace strata
