#include "storage/record/record_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/engine_error.h"
#include "storage/record/field_validation.h"
#include "storage/record/field_value.h"

namespace strata {
namespace {

TFieldDescriptor Field(uint16_t number, const char* name, uint8_t code, uint8_t declared = 0) {
  TFieldDescriptor field;
  field.FieldNumber = number;
  field.Name = name;
  field.TypeCode = code;
  field.DeclaredSize = declared;
  return field;
}

class RecordCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fields = {Field(1, "Name", fldZSTRING, 20), Field(2, "Alter", fldINT16),
              Field(3, "Preis", fldBCD),        Field(4, "Faktor", fldFLOAT),
              Field(5, "Datum", fldDATE),       Field(6, "Frei", fldZSTRING, 5)};
    fields[0].Required = true;
    fields[0].MinValue = "B";
    fields[0].MaxValue = "M";
    fields[1].MinValue = "-5";
    fields[1].MaxValue = "120";
    fields[2].Decimals = 2;
    fields[2].MinValue = "0.01";
    fields[2].MaxValue = "999.99";
    fields[3].MaxValue = "1.5";
    fields[4].MinValue = "2000-01-01";
    record.resize(ValidateFieldDescriptors(fields, "Artikel", 0, 512));
    SetFieldString(fields[0], record, "Dora", context);
  }

  // The code CheckRecord raises and the field it names; 0 when it passes.
  uint16_t Check(std::string* field = nullptr) {
    try {
      CheckRecord(fields, record, context);
    } catch (const EStrataEngineError& error) {
      EXPECT_EQ(error.ContextTable, "Artikel");
      if (field != nullptr) *field = error.ContextField;
      return error.Code;
    }
    return 0;
  }

  TRecordContext context{"Artikel"};
  std::vector<TFieldDescriptor> fields;
  std::vector<uint8_t> record;
};

TEST_F(RecordCheckTest, PassesWithinLimitsAndForBlankOptionalFields) {
  EXPECT_EQ(Check(), 0);
  SetFieldInt64(fields[1], record, 120, context);
  SetFieldBcd(fields[2], record, TBcd::FromText("0.01"), context);
  SetFieldDouble(fields[3], record, 1.5, context);
  SetFieldDate(fields[4], record, 730120, context);  // 2000-01-01
  EXPECT_EQ(Check(), 0);
}

TEST_F(RecordCheckTest, RequiredBlankGives9732) {
  SetFieldString(fields[0], record, "   ", context);
  std::string named;
  EXPECT_EQ(Check(&named), STRATA_REQDERR);
  EXPECT_EQ(named, "Name");
}

TEST_F(RecordCheckTest, StringsCompareInTheLocale) {
  std::string named;
  SetFieldString(fields[0], record, "Anna", context);
  EXPECT_EQ(Check(&named), STRATA_MINVALERR);
  EXPECT_EQ(named, "Name");
  SetFieldString(fields[0], record, "Max", context);
  EXPECT_EQ(Check(), STRATA_MAXVALERR);
  // Letter order, not byte order: "c" lies between "B" and "M".
  SetFieldString(fields[0], record, "c", context);
  EXPECT_EQ(Check(), 0);
  SetFieldString(fields[0], record, "M", context);
  EXPECT_EQ(Check(), 0);
}

TEST_F(RecordCheckTest, NumbersCompareNumerically) {
  std::string named;
  SetFieldInt64(fields[1], record, -6, context);
  EXPECT_EQ(Check(&named), STRATA_MINVALERR);
  EXPECT_EQ(named, "Alter");
  SetFieldInt64(fields[1], record, 121, context);
  EXPECT_EQ(Check(), STRATA_MAXVALERR);
  SetFieldInt64(fields[1], record, 9, context);  // "9" > "120" as text, not as number

  SetFieldBcd(fields[2], record, TBcd::FromText("1000"), context);
  EXPECT_EQ(Check(&named), STRATA_MAXVALERR);
  EXPECT_EQ(named, "Preis");
  SetFieldBcd(fields[2], record, TBcd::FromText("0.004"), context);  // stored as 0.00
  EXPECT_EQ(Check(), STRATA_MINVALERR);
  SetFieldBcd(fields[2], record, TBcd::FromText("5"), context);

  SetFieldDouble(fields[3], record, 1.5000001, context);
  EXPECT_EQ(Check(&named), STRATA_MAXVALERR);
  EXPECT_EQ(named, "Faktor");
  SetFieldDouble(fields[3], record, -1e9, context);

  SetFieldDate(fields[4], record, 730119, context);
  EXPECT_EQ(Check(&named), STRATA_MINVALERR);
  EXPECT_EQ(named, "Datum");
}

TEST_F(RecordCheckTest, FirstFailureInFieldOrderWins) {
  SetFieldInt64(fields[1], record, 500, context);
  SetFieldString(fields[0], record, "", context);
  EXPECT_EQ(Check(), STRATA_REQDERR);
}

}  // namespace
}  // namespace strata
