#include "storage/index/index_definition.h"

#include <cctype>
#include <string>

#include "storage/engine_error.h"
#include "storage/engine_names.h"

namespace strata {
namespace {

std::string Trimmed(std::string_view text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(' ');
  return std::string(text.substr(begin, end - begin + 1));
}

bool ValidFirstCharacter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 128 && c <= 254);
}

// Fills the key fields and options of `d` from `def` after checking the
// field count, the fields themselves and the key size.
void FillKey(TIndexDescriptor& d, const TIndexDef& def, std::span<const TFieldDescriptor> fields,
             std::string_view table) {
  d.FieldCount = static_cast<uint8_t>(def.FieldNumbers.size());
  d.Descending = def.Descending;
  d.CaseInsensitive = def.CaseInsensitive;
  d.Unique = def.Unique || def.Primary;
  d.CompressionMode = 0;
  for (int i = 0; i < kMaxKeyFields; ++i) {
    d.FieldNumbers[i] = i < d.FieldCount ? def.FieldNumbers[i] : 0;
    bool per_field = i < static_cast<int>(def.FieldDescending.size()) && def.FieldDescending[i];
    d.FieldDescending[i] = def.Descending || (i < d.FieldCount && per_field);
  }
  for (uint16_t number : def.FieldNumbers) {
    const TFieldDescriptor* field = FindField(fields, number);
    if (field == nullptr) {
      RaiseEngineError(
          STRATA_INVALIDIDXDESC,
          {.table = std::string(table), .field = std::to_string(number), .index = d.Name});
    }
    if (field->IsBlob()) {
      RaiseEngineError(STRATA_SEARCHCOLREQD,
                       {.table = std::string(table), .field = field->Name, .index = d.Name});
    }
  }
  d.KeySize = ComputeKeySize(d, fields, table);
}

}  // namespace

int KeyValueWidth(const TFieldDescriptor& field) {
  return field.TypeCode == fldBCD ? 8 : field.DataSize;
}

const TFieldDescriptor* FindField(std::span<const TFieldDescriptor> fields, uint16_t number) {
  // Fields are numbered from 1 in order, so the direct guess nearly always hits.
  if (number >= 1 && number <= fields.size() && fields[number - 1].FieldNumber == number) {
    return &fields[number - 1];
  }
  for (const TFieldDescriptor& field : fields) {
    if (field.FieldNumber == number) return &field;
  }
  return nullptr;
}

uint16_t ComputeKeySize(const TIndexDescriptor& index, std::span<const TFieldDescriptor> fields,
                        std::string_view table) {
  int sum = 0;
  for (int i = 0; i < index.FieldCount && i < kMaxKeyFields; ++i) {
    const TFieldDescriptor* field = FindField(fields, index.FieldNumbers[i]);
    if (field == nullptr) {
      RaiseEngineError(STRATA_INVALIDIDXDESC, {.table = std::string(table),
                                               .field = std::to_string(index.FieldNumbers[i]),
                                               .index = index.Name});
    }
    sum += KeyValueWidth(*field) + 1;
  }
  if (sum < 1 || sum > kMaxKeyFieldBytes) RaiseIndexError(STRATA_INVALIDKEY, index.Name, table);
  return static_cast<uint16_t>(sum + (index.Unique ? 0 : 4));
}

void DefinePrimaryIndex(TIndexHeader& header, const TIndexDef& def,
                        std::span<const TFieldDescriptor> fields, std::string_view table) {
  if (header.Indexes[kPrimaryIndex].FieldCount > 0) {
    RaiseTableError(STRATA_PRIMARYKEYREDEFINE, table);
  }
  if (def.FieldNumbers.size() > kMaxKeyFields) RaiseTableError(STRATA_INDEXLIMIT, table);
  TIndexDescriptor d;
  if (def.FieldNumbers.empty()) {
    header.Indexes[kPrimaryIndex] = d;
    header.NoPrimaryFields = true;
    return;
  }
  TIndexDef primary = def;
  primary.Primary = true;
  FillKey(d, primary, fields, table);
  header.Indexes[kPrimaryIndex] = d;
  header.NoPrimaryFields = false;
}

int AddSecondaryIndex(TIndexHeader& header, const TIndexDef& def,
                      std::span<const TFieldDescriptor> fields, std::string_view table) {
  if (header.SecondaryCount >= kMaxSecondaryIndexes) RaiseTableError(STRATA_INDEXLIMIT, table);
  if (def.FieldNumbers.size() > kMaxKeyFields) RaiseTableError(STRATA_INDEXLIMIT, table);
  std::string name = Trimmed(def.Name);
  if (name.empty()) RaiseTableError(STRATA_INDEXNAMEREQUIRED, table);
  if (name.size() > kMaxIndexNameLength ||
      !ValidFirstCharacter(static_cast<unsigned char>(name[0]))) {
    RaiseIndexError(STRATA_INVALIDINDEXNAME, name, table);
  }
  for (const TIndexDescriptor& other : header.Indexes) {
    if (!other.Name.empty() && SameName(other.Name, name)) {
      RaiseIndexError(STRATA_INDEXEXISTS, name, table);
    }
  }
  TIndexDescriptor d;
  d.Name = name;
  TIndexDef secondary = def;
  secondary.Primary = false;
  FillKey(d, secondary, fields, table);
  int slot = kFirstSecondaryIndex + header.SecondaryCount;
  header.Indexes[slot] = d;
  ++header.SecondaryCount;
  return slot;
}

}  // namespace strata
