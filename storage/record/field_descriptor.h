// Field type codes and the field descriptor that fixes where a field lives
// in the record buffer.
#pragma once

#include <cstdint>
#include <string>

namespace strata {

// Type codes (one byte) ...
constexpr uint8_t fldUNKNOWN = 0;
constexpr uint8_t fldZSTRING = 1;
constexpr uint8_t fldDATE = 2;
constexpr uint8_t fldBLOB = 3;
constexpr uint8_t fldBOOL = 4;
constexpr uint8_t fldINT16 = 5;
constexpr uint8_t fldINT32 = 6;
constexpr uint8_t fldFLOAT = 7;
constexpr uint8_t fldBCD = 8;
constexpr uint8_t fldBYTES = 9;
constexpr uint8_t fldTIME = 10;
constexpr uint8_t fldTIMESTAMP = 11;
constexpr uint8_t fldUINT16 = 12;
constexpr uint8_t fldUINT32 = 13;
constexpr uint8_t fldFLOATIEEE = 14;
constexpr uint8_t fldVARBYTES = 15;
constexpr uint8_t fldCURSOR = 17;
constexpr uint8_t fldINT64 = 18;
constexpr uint8_t fldADT = 20;
constexpr uint8_t fldARRAY = 21;
constexpr uint8_t fldREF = 22;
constexpr uint8_t fldTABLE = 23;
// ... and subtypes.
constexpr uint8_t fldstNONE = 0;
constexpr uint8_t fldstMONEY = 21;
constexpr uint8_t fldstMEMO = 22;
constexpr uint8_t fldstFMTMEMO = 24;
constexpr uint8_t fldstGRAPHIC = 26;
constexpr uint8_t fldstTYPEDBINARY = 28;
constexpr uint8_t fldstAUTOINC = 29;
constexpr uint8_t fldstFIXED = 31;
constexpr uint8_t fldstUNICODE = 32;

constexpr size_t kFieldDescriptorSize = 768;
constexpr size_t kRecordHeaderSize = 9;

// One field's definition; stored as 768 bytes in the data file.
//
//  offset width  content
//       0     2  field number (from 1, unique in the table)
//       2    31  name, length-prefixed, <= 30 characters
//      33    51  description, length-prefixed, <= 50 characters
//      84     1  type code
//      85     1  subtype
//      86     1  declared size (codes 1, 9, 15: 1..250; else 0)
//      87     1  decimals (code 8 only)
//      88     1  data size (derived)
//      89     1  copy of decimals (derived)
//      90     2  offset of the flag byte in the record (auto-increment: of the value)
//      92     1  required
//      93     1  character case (0 unchanged, 1 lower, 2 upper)
//      94    51  minimum value text, length-prefixed, <= 50
//     145    51  maximum value text
//     196    51  default value text
//     247     1  not-stored marker
//     248   520  reserved, zero
struct TFieldDescriptor {
  uint16_t FieldNumber = 0;
  std::string Name;
  std::string Description;
  uint8_t TypeCode = 0;
  uint8_t SubType = 0;
  uint8_t DeclaredSize = 0;
  uint8_t Decimals = 0;
  uint8_t DataSize = 0;
  uint8_t DecimalsCopy = 0;
  uint16_t Offset = 0;
  bool Required = false;
  uint8_t CharCase = 0;
  std::string MinValue;
  std::string MaxValue;
  std::string DefaultValue;
  bool NotStored = false;

  bool IsAutoInc() const { return TypeCode == fldINT32 && SubType == fldstAUTOINC; }
  bool IsBlob() const { return TypeCode == fldBLOB; }
  // Whether the field occupies a flag byte and data bytes after the header.
  bool IsStored() const { return !NotStored && !IsAutoInc(); }

  // The 768-byte stored form.
  void Encode(uint8_t* out) const;
  static TFieldDescriptor Decode(const uint8_t* in);
};

// The data size of a field by its type code and declared size.
uint8_t FieldDataSize(uint8_t type_code, uint8_t declared_size);

}  // namespace strata
