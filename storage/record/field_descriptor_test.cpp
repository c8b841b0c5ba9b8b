#include "storage/record/field_descriptor.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace strata {
namespace {

using Bytes = std::array<uint8_t, kFieldDescriptorSize>;

void PutText(Bytes& bytes, size_t at, const char* text) {
  bytes[at] = static_cast<uint8_t>(std::strlen(text));
  std::memcpy(bytes.data() + at + 1, text, std::strlen(text));
}

TEST(FieldDescriptorBytes, EncodePlacesEveryPartAtItsOffset) {
  TFieldDescriptor field;
  field.FieldNumber = 0x0102;
  field.Name = "Kunde";
  field.Description = "Name des Kunden";
  field.TypeCode = fldZSTRING;
  field.SubType = fldstFIXED;
  field.DeclaredSize = 40;
  field.DataSize = 41;
  field.Offset = 0x1234;
  field.Required = true;
  field.CharCase = 2;
  field.MinValue = "A";
  field.MaxValue = "ZZ";
  field.DefaultValue = "Meier";

  Bytes expected{};
  expected[0] = 0x02;
  expected[1] = 0x01;
  PutText(expected, 2, "Kunde");
  PutText(expected, 33, "Name des Kunden");
  expected[84] = 1;
  expected[85] = 31;
  expected[86] = 40;
  expected[88] = 41;
  expected[90] = 0x34;
  expected[91] = 0x12;
  expected[92] = 1;
  expected[93] = 2;
  PutText(expected, 94, "A");
  PutText(expected, 145, "ZZ");
  PutText(expected, 196, "Meier");

  Bytes actual;
  actual.fill(0xEE);  // every byte must be written, the reserved ones as zero
  field.Encode(actual.data());
  for (size_t i = 0; i < kFieldDescriptorSize; ++i) {
    EXPECT_EQ(actual[i], expected[i]) << "byte " << i;
  }
}

TEST(FieldDescriptorBytes, EncodeBcdAndFlags) {
  TFieldDescriptor field;
  field.FieldNumber = 7;
  field.Name = "Betrag";
  field.TypeCode = fldBCD;
  field.Decimals = 2;
  field.DecimalsCopy = 2;
  field.DataSize = 34;
  field.Offset = 300;
  field.NotStored = true;
  Bytes actual{};
  field.Encode(actual.data());
  EXPECT_EQ(actual[0], 7);
  EXPECT_EQ(actual[84], 8);
  EXPECT_EQ(actual[87], 2);
  EXPECT_EQ(actual[88], 34);
  EXPECT_EQ(actual[89], 2);
  EXPECT_EQ(actual[90], 300 % 256);
  EXPECT_EQ(actual[91], 1);
  EXPECT_EQ(actual[92], 0);
  EXPECT_EQ(actual[247], 1);
}

TEST(FieldDescriptorBytes, EncodeCutsTextsToTheirCapacity) {
  TFieldDescriptor field;
  field.Name = std::string(40, 'N');
  field.DefaultValue = std::string(60, 'D');
  Bytes actual{};
  field.Encode(actual.data());
  EXPECT_EQ(actual[2], 30);
  EXPECT_EQ(actual[32], 'N');
  EXPECT_EQ(actual[33], 0);  // the description's length byte is untouched
  EXPECT_EQ(actual[196], 50);
  EXPECT_EQ(actual[246], 'D');
  EXPECT_EQ(actual[247], 0);
}

TEST(FieldDescriptorBytes, DecodeReadsHandMadeBytes) {
  Bytes bytes{};
  bytes[0] = 0x03;
  bytes[1] = 0x00;
  PutText(bytes, 2, "Preis");
  PutText(bytes, 33, "Netto");
  bytes[84] = 8;
  bytes[86] = 0;
  bytes[87] = 4;
  bytes[88] = 99;  // derived bytes are recomputed, not trusted
  bytes[89] = 77;
  bytes[90] = 0x09;
  bytes[92] = 1;
  PutText(bytes, 94, "0");
  PutText(bytes, 145, "1000.5");
  PutText(bytes, 196, "1");
  const TFieldDescriptor field = TFieldDescriptor::Decode(bytes.data());
  EXPECT_EQ(field.FieldNumber, 3);
  EXPECT_EQ(field.Name, "Preis");
  EXPECT_EQ(field.Description, "Netto");
  EXPECT_EQ(field.TypeCode, fldBCD);
  EXPECT_EQ(field.Decimals, 4);
  EXPECT_EQ(field.DataSize, 34);
  EXPECT_EQ(field.DecimalsCopy, 4);
  EXPECT_EQ(field.Offset, 9);
  EXPECT_TRUE(field.Required);
  EXPECT_EQ(field.MinValue, "0");
  EXPECT_EQ(field.MaxValue, "1000.5");
  EXPECT_EQ(field.DefaultValue, "1");
  EXPECT_FALSE(field.NotStored);
}

TEST(FieldDescriptorBytes, DecodeClearsDecimalsOutsideBcdAndKeepsDeclaredSize) {
  Bytes bytes{};
  bytes[84] = fldINT32;
  bytes[86] = 12;  // damaged: verification must still see it
  bytes[87] = 3;
  const TFieldDescriptor field = TFieldDescriptor::Decode(bytes.data());
  EXPECT_EQ(field.DeclaredSize, 12);
  EXPECT_EQ(field.Decimals, 0);
  EXPECT_EQ(field.DataSize, 4);
}

TEST(FieldDataSize, FollowsTheTypeTable) {
  EXPECT_EQ(FieldDataSize(fldZSTRING, 250), 251);
  EXPECT_EQ(FieldDataSize(fldZSTRING, 0), 1);
  for (uint8_t code : {fldDATE, fldINT32, fldTIME, fldUINT32}) EXPECT_EQ(FieldDataSize(code, 9), 4);
  for (uint8_t code : {fldBLOB, fldFLOAT, fldTIMESTAMP, fldINT64}) {
    EXPECT_EQ(FieldDataSize(code, 9), 8);
  }
  for (uint8_t code : {fldBOOL, fldINT16, fldUINT16}) EXPECT_EQ(FieldDataSize(code, 9), 2);
  EXPECT_EQ(FieldDataSize(fldBCD, 0), 34);
  EXPECT_EQ(FieldDataSize(fldFLOATIEEE, 0), 10);
  EXPECT_EQ(FieldDataSize(fldBYTES, 17), 17);
  EXPECT_EQ(FieldDataSize(fldVARBYTES, 250), 250);
  for (uint8_t code : {fldCURSOR, fldADT, fldARRAY, fldREF, fldTABLE}) {
    EXPECT_EQ(FieldDataSize(code, 5), 0);
  }
}

}  // namespace
}  // namespace strata
