#include "storage/session/language_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace strata {
namespace {

TEST(LanguageTable, HoldsTheNinetyNineNamesInOrder) {
  auto table = LanguageTable();
  ASSERT_EQ(table.size(), 99u);
  EXPECT_EQ(table.front().Name, "ANSI Standard");
  EXPECT_EQ(table[1].Name, "Afrikaans");
  EXPECT_EQ(table[28].Name, "English (USA)");
  EXPECT_EQ(table[48].Name, "German (Standard)");
  EXPECT_EQ(table[97].Name, "Ukranian");
  EXPECT_EQ(table.back().Name, "Vietnamese");
  std::set<std::string> names;
  std::set<uint16_t> ids;
  for (const auto& entry : table) {
    names.insert(std::string(entry.Name));
    ids.insert(entry.LanguageId);
    if (entry.LanguageId != 0) {
      // A primary language in the low 10 bits, a sublanguage of at least 1 above.
      EXPECT_NE(entry.LanguageId & 0x3FF, 0) << entry.Name;
      EXPECT_GE(entry.LanguageId >> 10, 1) << entry.Name;
    }
  }
  EXPECT_EQ(names.size(), 99u);
  EXPECT_EQ(ids.size(), 99u) << "every name has its own language id";
}

TEST(LanguageTable, NamesMapToWindowsLanguageIdsIgnoringCase) {
  EXPECT_EQ(LanguageIdByName("ANSI Standard"), 0);
  EXPECT_EQ(LanguageIdByName("English (USA)"), 1033);
  EXPECT_EQ(LanguageIdByName("German (Standard)"), 1031);
  EXPECT_EQ(LanguageIdByName("german (standard)"), 1031);
  EXPECT_EQ(LanguageIdByName("German (Swiss)"), 2055);
  EXPECT_EQ(LanguageIdByName("Turkish"), 1055);
  EXPECT_EQ(LanguageIdByName("TURKISH"), 1055);
  EXPECT_EQ(LanguageIdByName("Spanish (Modern)"), 3082);
  EXPECT_EQ(LanguageIdByName("Spanish (Castilian)"), 1034);
  EXPECT_EQ(LanguageIdByName("English (UK)"), 2057);
  EXPECT_EQ(LanguageIdByName("Portuguese (Brazilian)"), 1046);
  EXPECT_EQ(LanguageIdByName("Arabic (Qatar)"), 16385);
  EXPECT_FALSE(LanguageIdByName("Klingon").has_value());
  EXPECT_FALSE(LanguageIdByName("").has_value());
  EXPECT_EQ(LanguageNameById(1031), "German (Standard)");
  EXPECT_EQ(LanguageNameById(0), "ANSI Standard");
  EXPECT_FALSE(LanguageNameById(0x7777).has_value());
}

TEST(LanguageTable, SortNamesAllResolveToSortIdZero) {
  auto german = SortNames("German (Austrian)");
  ASSERT_EQ(german.size(), 2u);
  EXPECT_EQ(german[0], "Default Order");
  EXPECT_EQ(german[1], "German Phone Book Order");
  int with_phone_book = 0;
  for (const auto& entry : LanguageTable()) {
    if (SortNames(entry.Name).size() == 2) ++with_phone_book;
    EXPECT_EQ(SortIdByName(entry.Name, "default order"), 0) << entry.Name;
  }
  EXPECT_EQ(with_phone_book, 5);
  EXPECT_EQ(SortIdByName("German (Standard)", "German Phone Book Order"), 0);
  EXPECT_FALSE(SortIdByName("Turkish", "German Phone Book Order").has_value());
  EXPECT_FALSE(SortIdByName("ANSI Standard", "German Phone Book Order").has_value());
  EXPECT_TRUE(SortNames("Klingon").empty());
}

TEST(LanguageTable, LanguageIdsSelectInstalledLocales) {
  EXPECT_EQ(TableLocaleId(0, 0), 1033u) << "ANSI Standard is US English";
  EXPECT_EQ(TableLocaleId(1031, 0), 1031u);
  EXPECT_EQ(TableLocaleId(1031, 1), 1031u | (1u << 16));
  EXPECT_TRUE(IsTableLocaleInstalled(0, 0));
  EXPECT_TRUE(IsTableLocaleInstalled(*LanguageIdByName("German (Standard)"), 0));
  EXPECT_TRUE(IsTableLocaleInstalled(*LanguageIdByName("Turkish"), 0));
  EXPECT_FALSE(IsTableLocaleInstalled(0x03FF, 0)) << "no such language";
}

}  // namespace
}  // namespace strata
