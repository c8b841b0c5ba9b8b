#include "tools/sql_output.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "platform/hex_digit.h"
#include "platform/utf8_text.h"
#include "storage/cursor/data_cursor.h"
#include "storage/record/field_descriptor.h"

namespace strata_tool {
namespace {

using strata::TDataCursor;
using strata::TFieldDescriptor;
using TKind = TCell::TKind;

constexpr std::string_view kHiddenColumnPrefix = "Sys__Avg__Count";

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", seconds);
  return text;
}

std::string Plural(int64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::vector<uint8_t> HexBytes(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(
        static_cast<uint8_t>(platform::HexDigit(hex[i]) * 16 + platform::HexDigit(hex[i + 1])));
  }
  return bytes;
}

bool IsMemo(const TFieldDescriptor& field) {
  return field.SubType == strata::fldstMEMO || field.SubType == strata::fldstFMTMEMO;
}

// Characters on a terminal: UTF-8 lead bytes.
size_t DisplayWidth(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// ---- table ------------------------------------------------------------------

class TTablePrinter : public TResultPrinter {
 public:
  explicit TTablePrinter(std::ostream& out) : out_(out) {}

  void Result(TDataCursor& result, double seconds) override {
    const std::vector<uint16_t> fields = ShownFields(result);
    std::vector<std::string> header;
    std::vector<bool> right;
    for (uint16_t field : fields) {
      header.push_back(platform::Windows1252ToUtf8(result.Field(field).Name));
      right.push_back(false);
    }
    std::vector<std::vector<std::string>> rows;
    result.First();
    while (result.MoveNext()) {
      std::vector<std::string>& row = rows.emplace_back();
      for (size_t i = 0; i < fields.size(); ++i) {
        TCell cell = ReadCell(result, fields[i]);
        right[i] = right[i] || cell.Kind == TKind::kInteger || cell.Kind == TKind::kFloat ||
                   cell.Kind == TKind::kDecimal;
        row.push_back(Shown(cell));
      }
    }
    std::vector<size_t> widths;
    for (const std::string& name : header) widths.push_back(DisplayWidth(name));
    for (const auto& row : rows) {
      for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    }
    Line(header, widths, right);  // a heading stands over its values
    for (size_t i = 0; i < widths.size(); ++i)
      out_ << (i == 0 ? "" : "-+-") << std::string(widths[i], '-');
    out_ << "\n";
    for (const auto& row : rows) Line(row, widths, right);
    out_ << "(" << Plural(static_cast<int64_t>(rows.size()), "row", "rows") << ", "
         << Seconds(seconds) << ")\n";
  }

  void RowsAffected(int64_t rows, double seconds) override {
    out_ << "(" << Plural(rows, "row", "rows") << " affected, " << Seconds(seconds) << ")\n";
  }

 private:
  static std::string Shown(const TCell& cell) {
    switch (cell.Kind) {
      case TKind::kNull:
        return "NULL";
      case TKind::kBoolean:
        return cell.Boolean ? "TRUE" : "FALSE";
      case TKind::kBlob:
        return "<blob " + Plural(cell.Text.size(), "byte", "bytes") + ">";
      case TKind::kBinary:
        return "<" + Plural(cell.Text.size(), "byte", "bytes") + ">";
      case TKind::kText: {
        // One line per row: line breaks inside a text are shown escaped.
        std::string shown;
        for (char c : cell.Text) shown += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
        return shown;
      }
      default:
        return cell.Text;
    }
  }

  void Line(const std::vector<std::string>& cells, const std::vector<size_t>& widths,
            const std::vector<bool>& right) {
    for (size_t i = 0; i < cells.size(); ++i) {
      const std::string pad(widths[i] - DisplayWidth(cells[i]), ' ');
      out_ << (i == 0 ? "" : " | ");
      if (right[i]) {
        out_ << pad << cells[i];
      } else if (i + 1 < cells.size()) {
        out_ << cells[i] << pad;
      } else {
        out_ << cells[i];  // no blanks at the end of a line
      }
    }
    out_ << "\n";
  }

  std::ostream& out_;
};

// ---- csv --------------------------------------------------------------------

class TCsvPrinter : public TResultPrinter {
 public:
  explicit TCsvPrinter(std::ostream& out) : out_(out) {}

  void Result(TDataCursor& result, double) override {
    // Results of several statements are kept apart by an empty line.
    if (results_++ > 0) out_ << "\r\n";
    const std::vector<uint16_t> fields = ShownFields(result);
    for (size_t i = 0; i < fields.size(); ++i) {
      out_ << (i == 0 ? "" : ",")
           << Field(platform::Windows1252ToUtf8(result.Field(fields[i]).Name));
    }
    out_ << "\r\n";
    result.First();
    while (result.MoveNext()) {
      for (size_t i = 0; i < fields.size(); ++i) {
        out_ << (i == 0 ? "" : ",") << Value(ReadCell(result, fields[i]));
      }
      out_ << "\r\n";
    }
  }

  // CSV carries only result rows.
  void RowsAffected(int64_t, double) override {}

 private:
  static std::string Value(const TCell& cell) {
    switch (cell.Kind) {
      case TKind::kNull:
        return "";
      case TKind::kBoolean:
        return cell.Boolean ? "TRUE" : "FALSE";
      case TKind::kBinary:
      case TKind::kBlob:
        return Base64(cell.Text);
      default:
        return Field(cell.Text);
    }
  }

  // Quoted when it holds a separator, a quote or a line break; quotes doubled.
  static std::string Field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
  }

  std::ostream& out_;
  int results_ = 0;
};

// ---- json -------------------------------------------------------------------

class TJsonPrinter : public TResultPrinter {
 public:
  explicit TJsonPrinter(std::ostream& out) : out_(out) {}

  void Result(TDataCursor& result, double) override {
    const std::vector<uint16_t> fields = ShownFields(result);
    nlohmann::json columns = nlohmann::json::array();
    for (uint16_t field : fields)
      columns.push_back(platform::Windows1252ToUtf8(result.Field(field).Name));
    nlohmann::json rows = nlohmann::json::array();
    result.First();
    while (result.MoveNext()) {
      nlohmann::json row = nlohmann::json::array();
      for (uint16_t field : fields) row.push_back(Value(ReadCell(result, field)));
      rows.push_back(std::move(row));
    }
    nlohmann::json line = nlohmann::json::object();
    line["columns"] = std::move(columns);
    line["rows"] = std::move(rows);
    out_ << line.dump() << "\n";
  }

  void RowsAffected(int64_t rows, double) override {
    out_ << nlohmann::json{{"rows_affected", rows}}.dump() << "\n";
  }

 private:
  static nlohmann::json Value(const TCell& cell) {
    switch (cell.Kind) {
      case TKind::kNull:
        return nullptr;
      case TKind::kInteger:
        return cell.Integer;
      case TKind::kFloat:
        return cell.Float;  // not finite: null
      case TKind::kDecimal: {
        nlohmann::json number = nlohmann::json::parse(cell.Text, nullptr, false);
        return number.is_number() ? number : nlohmann::json(cell.Text);
      }
      case TKind::kBoolean:
        return cell.Boolean;
      case TKind::kBinary:
      case TKind::kBlob:
        return Base64(cell.Text);
      case TKind::kText:
        return cell.Text;
    }
    return nullptr;
  }

  std::ostream& out_;
};

}  // namespace

std::optional<TOutputFormat> ParseOutputFormat(std::string_view word) {
  if (word == "table") return TOutputFormat::kTable;
  if (word == "csv") return TOutputFormat::kCsv;
  if (word == "json") return TOutputFormat::kJson;
  return std::nullopt;
}

std::unique_ptr<TResultPrinter> MakeResultPrinter(TOutputFormat format, std::ostream& out) {
  switch (format) {
    case TOutputFormat::kCsv:
      return std::make_unique<TCsvPrinter>(out);
    case TOutputFormat::kJson:
      return std::make_unique<TJsonPrinter>(out);
    case TOutputFormat::kTable:
      break;
  }
  return std::make_unique<TTablePrinter>(out);
}

std::vector<uint16_t> ShownFields(const TDataCursor& result) {
  std::vector<uint16_t> shown;
  for (const TFieldDescriptor& field : result.Fields()) {
    if (std::string_view(field.Name).starts_with(kHiddenColumnPrefix)) break;
    shown.push_back(field.FieldNumber);
  }
  return shown;
}

TCell ReadCell(TDataCursor& result, uint16_t field_number) {
  const TFieldDescriptor& field = result.Field(field_number);
  TCell cell;
  if (result.IsFieldBlank(field_number)) return cell;
  switch (field.TypeCode) {
    case strata::fldINT16:
    case strata::fldINT32:
    case strata::fldUINT16:
    case strata::fldUINT32:
    case strata::fldINT64:
      cell.Kind = TKind::kInteger;
      cell.Integer = result.GetFieldInt64(field_number).value_or(0);
      cell.Text = std::to_string(cell.Integer);
      return cell;
    case strata::fldFLOAT:
    case strata::fldFLOATIEEE:
      cell.Kind = TKind::kFloat;
      cell.Float = result.GetFieldDouble(field_number).value_or(0);
      cell.Text = result.GetFieldText(field_number).value_or("");
      return cell;
    case strata::fldBCD:
      cell.Kind = TKind::kDecimal;
      cell.Text = result.GetFieldText(field_number).value_or("");
      return cell;
    case strata::fldBOOL:
      cell.Kind = TKind::kBoolean;
      cell.Boolean = result.GetFieldText(field_number).value_or("") == "TRUE";
      return cell;
    case strata::fldBYTES:
    case strata::fldVARBYTES: {
      const std::vector<uint8_t> bytes = HexBytes(result.GetFieldText(field_number).value_or(""));
      cell.Kind = TKind::kBinary;
      cell.Text.assign(bytes.begin(), bytes.end());
      return cell;
    }
    case strata::fldBLOB: {
      const std::vector<uint8_t> bytes = result.ReadBlob(field_number);
      cell.Text.assign(bytes.begin(), bytes.end());
      if (IsMemo(field)) {
        cell.Kind = TKind::kText;
        cell.Text = platform::Windows1252ToUtf8(cell.Text);
      } else {
        cell.Kind = TKind::kBlob;
      }
      return cell;
    }
    case strata::fldZSTRING:
      cell.Kind = TKind::kText;
      cell.Text = platform::Windows1252ToUtf8(result.GetFieldText(field_number).value_or(""));
      return cell;
    default:  // dates, times, timestamps: their value texts
      cell.Kind = TKind::kText;
      cell.Text = result.GetFieldText(field_number).value_or("");
      return cell;
  }
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t group = 0;
    for (size_t k = 0; k < 3; ++k)
      group = (group << 8) | (k < n ? static_cast<uint8_t>(bytes[i + k]) : 0);
    for (size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(group >> (18 - 6 * k)) & 0x3F] : '=';
  }
  return out;
}

}  // namespace strata_tool
