#include "storage/engine_error.h"

#include <gtest/gtest.h>

namespace strata {
namespace {

TEST(EngineError, MessageFillsPlaceholdersInOrder) {
  try {
    RaiseTableError(STRATA_OSENOENT, "Banner");
    FAIL();
  } catch (const EStrataEngineError& e) {
    EXPECT_EQ(e.Code, 11010);
    EXPECT_STREQ(e.what(), "Strata Engine Error # 11010 Table 'Banner' does not exist");
    EXPECT_EQ(e.ContextTable, "Banner");
  }
  try {
    RaiseIndexError(STRATA_KEYVIOL, "ByName", "Links");
    FAIL();
  } catch (const EStrataEngineError& e) {
    EXPECT_STREQ(e.what(),
                 "Strata Engine Error # 9729 Duplicate key found in the index 'ByName' of the "
                 "table 'Links'");
    EXPECT_EQ(LastErrorContext().index, "ByName");
  }
  EXPECT_EQ(EngineErrorMessage(STRATA_INVALIDIDXDESC, {.table = "T", .field = "F", .index = "I"}),
            "Strata Engine Error # 10023 Invalid field number 'F' specified in the index 'I' for "
            "the table 'T'");
  EXPECT_EQ(EngineErrorMessage(STRATA_INVALIDFILTER, {.table = "T", .detail = "bad"}),
            "Strata Engine Error # 10051 Filter error for the table 'T' - bad");
  EXPECT_EQ(EngineErrorMessage(STRATA_OSENOMEM, {}),
            "Strata Engine Error # 11016 There is insufficient operating system memory available "
            "for the current operation");
}

TEST(EngineError, UnknownAndRemoteCodesHaveTheGenericText) {
  EXPECT_EQ(EngineErrorMessage(1234, {}), "Strata Engine Error # 1234 An unknown error occurred");
  EXPECT_EQ(EngineErrorMessage(STRATA_REMOTECONNECT, {.table = "x"}),
            "Strata Engine Error # 11280 An unknown error occurred");
  EXPECT_EQ(EngineErrorName(STRATA_EOF), "STRATA_EOF");
  EXPECT_EQ(EngineErrorName(1234), "");
}

TEST(EngineError, TextIsCutTo254AndContextTo255) {
  std::string long_name(400, 'x');
  try {
    RaiseTableError(STRATA_OSENOENT, long_name);
    FAIL();
  } catch (const EStrataEngineError& e) {
    EXPECT_EQ(e.ContextTable.size(), 255u);
    std::string prefix = "Strata Engine Error # 11010 ";
    EXPECT_EQ(std::string(e.what()).size(), prefix.size() + 254);
  }
}

TEST(EngineError, CodeOfOtherExceptionsIsUnknownOsError) {
  EXPECT_EQ(EngineErrorCode(std::runtime_error("x")), 11047);
  EXPECT_EQ(EngineErrorCode(EStrataEngineError(8705, {})), 8705);
}

}  // namespace
}  // namespace strata
