#include "storage/record/field_descriptor.h"

#include <cstring>

#include "storage/byte_order.h"

namespace strata {
namespace {

// Where each part of the 768-byte descriptor lives (table in the header).
constexpr size_t kNumberAt = 0;
constexpr size_t kNameAt = 2;
constexpr size_t kNameCapacity = 30;
constexpr size_t kDescriptionAt = 33;
constexpr size_t kDescriptionCapacity = 50;
constexpr size_t kTypeAt = 84;
constexpr size_t kSubTypeAt = 85;
constexpr size_t kDeclaredSizeAt = 86;
constexpr size_t kDecimalsAt = 87;
constexpr size_t kDataSizeAt = 88;
constexpr size_t kDecimalsCopyAt = 89;
constexpr size_t kOffsetAt = 90;
constexpr size_t kRequiredAt = 92;
constexpr size_t kCharCaseAt = 93;
constexpr size_t kMinValueAt = 94;
constexpr size_t kMaxValueAt = 145;
constexpr size_t kDefaultValueAt = 196;
constexpr size_t kValueCapacity = 50;
constexpr size_t kNotStoredAt = 247;

}  // namespace

uint8_t FieldDataSize(uint8_t type_code, uint8_t declared_size) {
  switch (type_code) {
    case fldZSTRING:
      // The characters and their zero byte; 250 + 1 at most, so no overflow
      // for any valid descriptor. A damaged 255 keeps to one byte.
      return declared_size == 255 ? 255 : static_cast<uint8_t>(declared_size + 1);
    case fldDATE:
    case fldINT32:
    case fldTIME:
    case fldUINT32:
      return 4;
    case fldBLOB:
    case fldFLOAT:
    case fldTIMESTAMP:
    case fldINT64:
      return 8;
    case fldBOOL:
    case fldINT16:
    case fldUINT16:
      return 2;
    case fldBCD:
      return 34;
    case fldFLOATIEEE:
      return 10;
    case fldBYTES:
    case fldVARBYTES:
      return declared_size;
    default:
      // Every other code has its declared size forced to 0: flag byte only.
      return 0;
  }
}

void TFieldDescriptor::Encode(uint8_t* out) const {
  std::memset(out, 0, kFieldDescriptorSize);
  PutU16(out + kNumberAt, FieldNumber);
  PutShortString(out + kNameAt, kNameCapacity, Name);
  PutShortString(out + kDescriptionAt, kDescriptionCapacity, Description);
  out[kTypeAt] = TypeCode;
  out[kSubTypeAt] = SubType;
  out[kDeclaredSizeAt] = DeclaredSize;
  out[kDecimalsAt] = Decimals;
  out[kDataSizeAt] = DataSize;
  out[kDecimalsCopyAt] = DecimalsCopy;
  PutU16(out + kOffsetAt, Offset);
  out[kRequiredAt] = Required ? 1 : 0;
  out[kCharCaseAt] = CharCase;
  PutShortString(out + kMinValueAt, kValueCapacity, MinValue);
  PutShortString(out + kMaxValueAt, kValueCapacity, MaxValue);
  PutShortString(out + kDefaultValueAt, kValueCapacity, DefaultValue);
  out[kNotStoredAt] = NotStored ? 1 : 0;
}

TFieldDescriptor TFieldDescriptor::Decode(const uint8_t* in) {
  TFieldDescriptor field;
  field.FieldNumber = GetU16(in + kNumberAt);
  field.Name = GetShortString(in + kNameAt, kNameCapacity);
  field.Description = GetShortString(in + kDescriptionAt, kDescriptionCapacity);
  field.TypeCode = in[kTypeAt];
  field.SubType = in[kSubTypeAt];
  // The declared size is kept as stored so that verification can see a
  // damaged one; the derived bytes are recomputed rather than trusted.
  field.DeclaredSize = in[kDeclaredSizeAt];
  field.Decimals = field.TypeCode == fldBCD ? in[kDecimalsAt] : 0;
  field.DataSize = FieldDataSize(field.TypeCode, field.DeclaredSize);
  field.DecimalsCopy = field.Decimals;
  field.Offset = GetU16(in + kOffsetAt);
  field.Required = in[kRequiredAt] != 0;
  field.CharCase = in[kCharCaseAt];
  field.MinValue = GetShortString(in + kMinValueAt, kValueCapacity);
  field.MaxValue = GetShortString(in + kMaxValueAt, kValueCapacity);
  field.DefaultValue = GetShortString(in + kDefaultValueAt, kValueCapacity);
  field.NotStored = in[kNotStoredAt] != 0;
  return field;
}

}  // namespace strata
