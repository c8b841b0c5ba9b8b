// How `strata sql` prints what statements give: a result table as an
// aligned table, as CSV (RFC 4180) or as one JSON line, and the rows a
// change affected. A printer reads a result cursor once from its first
// record; it owns nothing but its place in the output stream.
//
// Hidden columns (the AVG count columns, "Sys__Avg__Count...") and every
// column after the first of them are not shown. Texts are stored in
// Windows-1252 and printed in UTF-8.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace strata {
class TDataCursor;
}

namespace strata_tool {

enum class TOutputFormat { kTable, kCsv, kJson };

// "table", "csv" or "json"; nullopt for any other word.
std::optional<TOutputFormat> ParseOutputFormat(std::string_view word);

class TResultPrinter {
 public:
  virtual ~TResultPrinter() = default;
  // A statement's result table; `seconds` its execution time.
  virtual void Result(strata::TDataCursor& result, double seconds) = 0;
  // A statement without a result table.
  virtual void RowsAffected(int64_t rows, double seconds) = 0;
};

std::unique_ptr<TResultPrinter> MakeResultPrinter(TOutputFormat format, std::ostream& out);

// ---- The pieces the printers share ----------------------------------------

// One value of a result record, read by its field's type.
struct TCell {
  enum class TKind { kNull, kInteger, kFloat, kDecimal, kBoolean, kText, kBinary, kBlob };
  TKind Kind = TKind::kNull;
  int64_t Integer = 0;  // kInteger
  double Float = 0;     // kFloat
  bool Boolean = false;
  // kText: UTF-8; kBinary, kBlob: the bytes; numbers: the engine's value text.
  std::string Text;
};

// The shown columns: the fields before the first hidden one.
std::vector<uint16_t> ShownFields(const strata::TDataCursor& result);
// The value of `field` in the cursor's current record.
TCell ReadCell(strata::TDataCursor& result, uint16_t field);
// Standard base64 with padding.
std::string Base64(std::string_view bytes);

}  // namespace strata_tool
