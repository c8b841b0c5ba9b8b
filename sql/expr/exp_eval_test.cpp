// Evaluation allocates nothing per row once a tree's values have grown: the
// banner service's conditions (LOWER, LIKE, comparisons, AND/OR, IN,
// concatenation) are evaluated over many records while every allocation of
// this program is counted.
#include "sql/expr/exp_eval.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "sql/expr/test_expression_table.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

// The replacements pair malloc with free; GCC cannot see through that.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
// clang-format off
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
// clang-format on

namespace strata::testing {
namespace {

TEST(ExpressionEvaluation, AllocatesNothingPerRow) {
  TExpressionTable table;
  TDataCursor& cursor = table.Cursor();
  const std::vector<uint8_t> record = cursor.GetCurrentRecord();
  TTableColumns columns("Items", cursor.Fields());
  TRecordRows rows(cursor.Fields(), cursor.Table().DataFile().Context());
  rows.Bind(record);
  TEvalContext context;
  context.Rows = &rows;
  const char* texts[] = {
      "LOWER(Name) LIKE '%dget' AND ID > 3 OR Code = 'x'",
      "Name + Code = 'Widgetabc' AND ID IN (1, 5, 7)",
      "Price * Qty BETWEEN 1 AND 10 AND NOT Flag = FALSE",
      "Stamp > '2024-01-01  00:00:00' AND SUBSTRING(Name FROM 2 FOR 3) = 'idg'",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    TExpressionParser tokens(text);
    tokens.NextToken();
    TExpTokenStack pool;
    TExpToken* root = ParseExpression(tokens, pool, kWherePermissions);
    ResolveExpression(*root, columns, TResolveOptions{});
    EXPECT_TRUE(Evaluate(*root, context).IsTrue());  // the values grow once
    const long before = g_allocations.load();
    for (int row = 0; row < 10000; ++row) Evaluate(*root, context);
    EXPECT_EQ(g_allocations.load() - before, 0);
  }
}

}  // namespace
}  // namespace strata::testing
