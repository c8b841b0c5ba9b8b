// The printers of `strata sql` over a real table, read as a result cursor.
#include "tools/sql_output.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "storage/cursor/data_cursor.h"
#include "storage/session/data_session.h"
#include "tools/definition_parser.h"

namespace strata_tool {
namespace {

namespace fs = std::filesystem;

class ResultPrinters : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("sql_output_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    session_ = strata::TDataSession::Create();
    directory_ = session_->OpenDirectory("test", dir_.string());
  }
  void TearDown() override {
    cursor_.reset();
    fs::remove_all(dir_);
  }

  // A table of the given fields; each row a list of value texts ("" blank,
  // "@bytes" a blob's bytes).
  strata::TDataCursor& Table(const std::vector<std::string>& fields,
                             const std::vector<std::vector<std::string>>& rows) {
    strata::TTableDefinition definition;
    definition.Name = "Result";
    for (const std::string& field : fields) {
      definition.Fields.push_back(
          ParseFieldDefinition(field, static_cast<uint16_t>(definition.Fields.size() + 1)));
    }
    cursor_ = std::make_unique<strata::TDataCursor>(directory_);
    cursor_->CreateTable(definition);
    cursor_->Open("Result");
    for (const auto& row : rows) {
      cursor_->InitRecord();
      for (size_t i = 0; i < row.size(); ++i) {
        const auto field = static_cast<uint16_t>(i + 1);
        if (row[i].starts_with("@")) {
          const std::string bytes = row[i].substr(1);
          cursor_->SetBlob(field,
                           std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
        } else {
          cursor_->PutFieldText(field, row[i]);
        }
      }
      cursor_->InsertRecord();
    }
    return *cursor_;
  }

  std::string Print(TOutputFormat format, strata::TDataCursor& result, double seconds = 0.25) {
    std::ostringstream out;
    MakeResultPrinter(format, out)->Result(result, seconds);
    return out.str();
  }

  fs::path dir_;
  std::shared_ptr<strata::TDataSession> session_;
  std::shared_ptr<strata::TDataDirectory> directory_;
  std::unique_ptr<strata::TDataCursor> cursor_;
};

TEST(Base64, EncodesWithPaddingForEveryRemainder) {
  EXPECT_EQ(Base64(""), "");
  EXPECT_EQ(Base64("f"), "Zg==");
  EXPECT_EQ(Base64("fo"), "Zm8=");
  EXPECT_EQ(Base64("foo"), "Zm9v");
  EXPECT_EQ(Base64("foobar"), "Zm9vYmFy");
  EXPECT_EQ(Base64(std::string("\xFF\x00\xFE", 3)), "/wD+");
}

TEST(OutputFormats, AreNamedByTheirWords) {
  EXPECT_EQ(ParseOutputFormat("table"), TOutputFormat::kTable);
  EXPECT_EQ(ParseOutputFormat("csv"), TOutputFormat::kCsv);
  EXPECT_EQ(ParseOutputFormat("json"), TOutputFormat::kJson);
  EXPECT_FALSE(ParseOutputFormat("JSON"));
  EXPECT_FALSE(ParseOutputFormat(""));
}

TEST_F(ResultPrinters, TableAlignsColumnsAndShowsBlobsBySize) {
  strata::TDataCursor& result =
      Table({"ID:integer", "Name:string(20)", "Image:graphic", "Shown:boolean"},
            {{"7", "M\xFCller", "@GIF89a;", "TRUE"}, {"1234", "", "", "FALSE"}});
  EXPECT_EQ(Print(TOutputFormat::kTable, result),
            "  ID | Name   | Image          | Shown\n"
            "-----+--------+----------------+------\n"
            "   7 | M\xC3\xBCller | <blob 7 bytes> | TRUE\n"
            "1234 | NULL   | NULL           | FALSE\n"
            "(2 rows, 0.250 s)\n");
}

TEST_F(ResultPrinters, TableOfNoRowsStillHasItsHeader) {
  strata::TDataCursor& result = Table({"id:integer"}, {});
  EXPECT_EQ(Print(TOutputFormat::kTable, result, 0), "id\n--\n(0 rows, 0.000 s)\n");
  std::ostringstream out;
  MakeResultPrinter(TOutputFormat::kTable, out)->RowsAffected(1, 0.0015);
  EXPECT_EQ(out.str(), "(1 row affected, 0.002 s)\n");
}

TEST_F(ResultPrinters, CsvQuotesOnlyWhatNeedsItAndLeavesNullEmpty) {
  strata::TDataCursor& result = Table({"A:integer", "B:string(30)", "C:memo", "D:blob"},
                                      {{"1", "plain", "@line one\nline two", "@\x01\x02\x03"},
                                       {"", "with, comma", "@say \"hi\"", ""},
                                       {"-3", "caf\xE9", "", ""}});
  EXPECT_EQ(Print(TOutputFormat::kCsv, result),
            "A,B,C,D\r\n"
            "1,plain,\"line one\nline two\",AQID\r\n"
            ",\"with, comma\",\"say \"\"hi\"\"\",\r\n"
            "-3,caf\xC3\xA9,,\r\n");
}

TEST_F(ResultPrinters, JsonIsOneLineWithTypedValues) {
  strata::TDataCursor& result =
      Table({"N:integer", "F:float", "M:money", "T:string(10)", "B:boolean", "D:date",
             "TS:timestamp", "G:graphic", "Memo:memo"},
            {{"42", "2.5", "12.75", "\x80 5", "TRUE", "2026-12-08", "2026-12-08 13:05:00", "@GIF",
              "@text"},
             {"", "", "", "", "", "", "", "", ""}});
  const std::string line = Print(TOutputFormat::kJson, result);
  ASSERT_EQ(line.find('\n'), line.size() - 1) << line;
  EXPECT_EQ(nlohmann::json::parse(line), nlohmann::json::parse(R"({
      "columns": ["N", "F", "M", "T", "B", "D", "TS", "G", "Memo"],
      "rows": [[42, 2.5, 12.75, "€ 5", true, "2026-12-08", "2026-12-08 13:05:00", "R0lG", "text"],
               [null, null, null, null, null, null, null, null, null]]})"));
  std::ostringstream out;
  MakeResultPrinter(TOutputFormat::kJson, out)->RowsAffected(3, 0);
  EXPECT_EQ(out.str(), "{\"rows_affected\":3}\n");
}

TEST_F(ResultPrinters, HiddenAverageCountColumnsAreNotShown) {
  strata::TDataCursor& result =
      Table({"G:integer", "A:float", "Sys__Avg__Count:integer", "Sys__Avg__Count_1:integer"},
            {{"1", "1.5", "2", "2"}});
  EXPECT_EQ(ShownFields(result), (std::vector<uint16_t>{1, 2}));
  EXPECT_EQ(Print(TOutputFormat::kCsv, result), "G,A\r\n1,1.5\r\n");
  EXPECT_EQ(nlohmann::json::parse(Print(TOutputFormat::kJson, result))["columns"],
            nlohmann::json::parse(R"(["G","A"])"));
}

}  // namespace
}  // namespace strata_tool
