#include "tools/definition_parser.h"

#include <gtest/gtest.h>

namespace strata_tool {
namespace {

TEST(DefinitionParser, FieldTypesSizesAndOptions) {
  auto name = ParseFieldDefinition("Name:string(40):required:upper:default=n/a", 2);
  EXPECT_EQ(name.FieldNumber, 2);
  EXPECT_EQ(name.Name, "Name");
  EXPECT_EQ(name.TypeCode, strata::fldZSTRING);
  EXPECT_EQ(name.DeclaredSize, 40);
  EXPECT_TRUE(name.Required);
  EXPECT_EQ(name.CharCase, 2);
  EXPECT_EQ(name.DefaultValue, "n/a");

  auto id = ParseFieldDefinition("ID:AutoInc", 1);
  EXPECT_TRUE(id.IsAutoInc());
  auto price = ParseFieldDefinition("Price:bcd(2):min=0:max=99.5", 3);
  EXPECT_EQ(price.TypeCode, strata::fldBCD);
  EXPECT_EQ(price.Decimals, 2);
  EXPECT_EQ(price.MinValue, "0");
  EXPECT_EQ(price.MaxValue, "99.5");
  auto image = ParseFieldDefinition("Image:graphic", 4);
  EXPECT_TRUE(image.IsBlob());
  EXPECT_EQ(image.SubType, strata::fldstGRAPHIC);
  EXPECT_EQ(TypeText(name), "string(40)");
  EXPECT_EQ(TypeText(price), "bcd(2)");
  EXPECT_EQ(TypeText(image), "graphic");
}

TEST(DefinitionParser, OptionValuesKeepTheirColons) {
  auto opens = ParseFieldDefinition("Opens:time:default=08:30:min=06:00:00:required", 1);
  EXPECT_EQ(opens.DefaultValue, "08:30");
  EXPECT_EQ(opens.MinValue, "06:00:00");
  EXPECT_TRUE(opens.Required);
  auto stamp = ParseFieldDefinition("Seen:timestamp:default=2026-12-08 10:15:00", 1);
  EXPECT_EQ(stamp.DefaultValue, "2026-12-08 10:15:00");
}

TEST(DefinitionParser, BadFieldDefinitionsSayWhatIsWrong) {
  EXPECT_THROW(ParseFieldDefinition("NoType", 1), DefinitionError);
  EXPECT_THROW(ParseFieldDefinition(":integer", 1), DefinitionError);
  EXPECT_THROW(ParseFieldDefinition("A:text", 1), DefinitionError);
  EXPECT_THROW(ParseFieldDefinition("A:string", 1), DefinitionError);
  EXPECT_THROW(ParseFieldDefinition("A:string(x)", 1), DefinitionError);
  EXPECT_THROW(ParseFieldDefinition("A:string(300)", 1), DefinitionError);
  EXPECT_THROW(ParseFieldDefinition("A:string(10", 1), DefinitionError);
  EXPECT_THROW(ParseFieldDefinition("A:integer(4)", 1), DefinitionError);
  EXPECT_THROW(ParseFieldDefinition("A:integer:sometimes", 1), DefinitionError);
  try {
    ParseFieldDefinition("Count:number", 1);
  } catch (const DefinitionError& e) {
    EXPECT_STREQ(e.what(), "field 'Count': unknown type 'number'");
  }
}

TEST(DefinitionParser, IndexesNameTheirFields) {
  std::vector<strata::TFieldDescriptor> fields = {ParseFieldDefinition("ID:integer", 1),
                                                  ParseFieldDefinition("Name:string(20)", 2)};
  auto primary = ParsePrimaryDefinition("id", fields);
  EXPECT_TRUE(primary.Primary);
  EXPECT_EQ(primary.FieldNumbers, std::vector<uint16_t>{1});
  EXPECT_TRUE(ParsePrimaryDefinition("", fields).FieldNumbers.empty());

  auto by_name = ParseIndexDefinition("ByName:Name,ID:unique:nocase:desc", fields);
  EXPECT_EQ(by_name.Name, "ByName");
  EXPECT_EQ(by_name.FieldNumbers, (std::vector<uint16_t>{2, 1}));
  EXPECT_TRUE(by_name.Unique);
  EXPECT_TRUE(by_name.CaseInsensitive);
  EXPECT_TRUE(by_name.Descending);

  EXPECT_THROW(ParseIndexDefinition("ByName", fields), DefinitionError);
  EXPECT_THROW(ParseIndexDefinition("ByName:Missing", fields), DefinitionError);
  EXPECT_THROW(ParseIndexDefinition("ByName:Name:sorted", fields), DefinitionError);
}

}  // namespace
}  // namespace strata_tool
