// TColumnResolver: the sources that column references of an expression may
// name, as the statement layer (or a table filter) presents them. The search
// order and the messages of resolution are the expression layer's own
// (operand_types.h); a resolver only answers about its sources.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace strata {

// A column of a source as resolution needs it.
struct TColumnInfo {
  uint16_t Column = 0;  // field number in the source
  uint8_t Type = 0;
  uint8_t SubType = 0;
  uint16_t Size = 0;
  uint8_t Scale = 0;
};

class TColumnResolver {
 public:
  virtual ~TColumnResolver() = default;
  // Sources in source-list order, 0 .. SourceCount() - 1.
  virtual int SourceCount() const = 0;
  // The source's correlation name (without ".dat").
  virtual std::string_view CorrelationName(int source) const = 0;
  // The source's column of this name (letter case ignored), if any.
  virtual std::optional<TColumnInfo> FindColumn(int source, std::string_view column) const = 0;
};

}  // namespace strata
