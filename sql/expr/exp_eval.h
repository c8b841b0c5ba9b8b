// Evaluation of a resolved expression over the current rows of its sources.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/nls.h"
#include "sql/expr/exp_token.h"

namespace strata {

// The current rows, as the statement layer (or a table filter) binds them.
class TRowSource {
 public:
  virtual ~TRowSource() = default;
  // Reads column `column` of source `source`'s current row into `out`
  // (NULL for a blank field); false when no row is bound for the source.
  virtual bool ReadColumn(int source, uint16_t column, TExpValue& out) = 0;
  // The last auto-increment value of a table that the statement has open;
  // nullopt when it has none open under that name.
  virtual std::optional<int64_t> LastAutoInc(std::string_view /*table*/) { return std::nullopt; }
};

struct TEvalContext {
  TRowSource* Rows = nullptr;
  // The locale of string comparison, LIKE and case mapping.
  uint32_t LocaleId = platform::nls::kUsEnglish;
};

// Evaluates `node` (and what it needs of its operands); the result is
// node.Value.
const TExpValue& Evaluate(TExpToken& node, TEvalContext& context);

// Comparison by the rules of "=", "<" and so on for two non-NULL values of
// comparable types: <0, 0, >0.
int CompareValues(const TExpValue& a, const TExpValue& b, uint32_t locale_id);

}  // namespace strata
