// strata: the administrators' command-line tool for tables. The banner
// service never creates tables; this is how they are made, filled with
// banners, inspected, checked and repaired.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "platform/utf8_text.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/engine_error.h"
#include "storage/index/index_file.h"
#include "storage/record/convert_error.h"
#include "storage/record/record_header.h"
#include "storage/session/data_session.h"
#include "storage/session/database_error.h"
#include "storage/session/language_table.h"
#include "storage/table/data_table.h"
#include "storage/table_check.h"
#include "storage/table_repair.h"
#include "tools/definition_parser.h"
#include "tools/sql_console.h"
#include "tools/sql_shell.h"

namespace {

using strata::TDataCursor;

// The help text is laid out by hand: the formatter must not reflow it.
// clang-format off
constexpr const char* kHelp = R"HELP(strata - create, fill, inspect, check and repair tables

Usage: strata COMMAND TABLE [ARGUMENTS]
       strata sql DIR [--format table|csv|json] [STATEMENT]...

TABLE is a path: the folder that holds the table's files and the table name,
e.g. Bannerdata/Banner (files Banner.DAT, Banner.IDX, Banner.BLB). A name
without a folder means the current folder. ".DAT" may be given or left out.

Commands:
  create TABLE --field FIELD... [--primary FIELDS] [--index INDEX]...
               [--block-size N] [--language NAME] [--description TEXT]
               [--overwrite]
      Creates a table. A FIELD is NAME:TYPE[:OPTION]...
        TYPE:   string(N) fixed(N) bytes(N) varbytes(N) bcd(DECIMALS)
                date time timestamp boolean smallint integer autoinc
                float money word largeint blob memo fmtmemo graphic
                typedbinary
        OPTION: required  upper  lower  default=TEXT  min=TEXT  max=TEXT
      --primary FIELD[,FIELD]...   the primary index (unique)
      --index NAME:FIELD[,FIELD]...[:unique][:desc][:nocase]   an INDEX
      --block-size N   bytes per blob block (at least 64; default 512)
      --language NAME  e.g. "German (Standard)"; default "ANSI Standard"
  info TABLE
      Shows the header, the fields and the indexes.
  insert TABLE FIELD=VALUE...
      Inserts one record. Values are written as value texts: dates 2026-12-08,
      times 13:05:00, timestamps "2026-12-08 13:05:00", booleans TRUE/FALSE.
      FIELD=@FILE loads a blob field from a file. Fields left out get their
      defaults. Prints the new row number.
  delete TABLE ROW
      Deletes the record with this row number.
  list TABLE [--index NAME]
      Lists the records in natural (row) order or in index order; blob
      fields are shown by their size. NAME "" is the primary index.
  blob TABLE ROW FIELD FILE
      Writes one blob value to FILE.
  verify TABLE
      Checks every invariant of the table's three files. Exit status 0 when
      the table is sound, 1 with each fault named otherwise.
  rebuild TABLE
      Rebuilds every index from the records. Refuses, naming the faults,
      when the records themselves are damaged: repair such a table.
  repair TABLE
      Makes a damaged table sound and says what it did. The files as they
      were are kept in TABLE.DBK, TABLE.IBK and TABLE.BBK; records whose own
      data cannot be read, and what broken blob values still held, are set
      aside (as text with the bytes in hexadecimal) into TABLE.LOST; broken
      blob references are cleared, unused slots and blocks go back on their
      free chains, and every index is rebuilt.
  sql DIR [--format table|csv|json] [STATEMENT]...
      Runs SQL statements on the tables in the folder DIR: each argument is
      a text of one or more statements (ended by ";"), run in order; without
      arguments the text is read from standard input, or, when that is a
      terminal, statement by statement under a prompt with line editing and
      history. A result is shown as
        table  (the default) an aligned table with a header, blobs by their
               size, then the row count and the execution time; other
               statements show the rows they affected;
        csv    a header line and the rows (RFC 4180), NULL an empty field;
        json   one line per statement: {"columns":[...],"rows":[[...],...]}
               or {"rows_affected":N}; binary blobs in base64.
      The first error stops the text: its message goes to standard error,
      no later statement runs, and the exit status is 1.
  --help
      Shows this text.

Example: a banner table with a GIF image
  strata create Bannerdata/Demo --field ID:autoinc \
      --field Name:string(40):required --field Image:graphic \
      --primary ID --index ByName:Name:nocase
  strata insert Bannerdata/Demo Name=Welcome Image=@welcome.gif
  strata list Bannerdata/Demo --index ByName
  strata blob Bannerdata/Demo 1 Image copy.gif
  strata verify Bannerdata/Demo

  strata sql Bannerdata "select ID, Banner from Banner where ID = 1;"
  strata sql Bannerdata --format json < statements.sql

Exit status: 0 on success, 1 when verify finds faults (or rebuild refuses
damaged records, or repair leaves faults, or a statement of sql fails), 2 on
any other error.
)HELP";
// clang-format on

// A usage mistake: the message and a pointer to --help.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TablePath {
  std::string folder;  // "" for the current folder
  std::string name;
};

TablePath SplitTablePath(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {"", path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// An engine session and the directory of one table, opened for a command.
class Table {
 public:
  explicit Table(const std::string& path)
      : path_(SplitTablePath(path)),
        session_(strata::TDataSession::Create()),
        directory_(session_->OpenDirectory("strata", path_.folder)),
        cursor_(directory_) {
    if (path_.name.empty()) throw UsageError("no table name in '" + path + "'");
  }
  void Open(bool exclusive = false) { cursor_.Open(path_.name, {.Exclusive = exclusive}); }
  const std::string& Name() const { return path_.name; }
  TDataCursor& Cursor() { return cursor_; }
  const std::shared_ptr<strata::TDataDirectory>& Directory() const { return directory_; }

 private:
  TablePath path_;
  std::shared_ptr<strata::TDataSession> session_;
  std::shared_ptr<strata::TDataDirectory> directory_;
  TDataCursor cursor_;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read '" + path + "'");
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("cannot write '" + path + "'");
}

int Create(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("create needs a table");
  strata::TTableDefinition definition;
  std::vector<std::string> index_texts;
  std::string primary_text;
  bool has_primary = false;
  bool overwrite = false;
  auto value_of = [&](size_t& i) -> const std::string& {
    if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
    return args[++i];
  };
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--field") {
      definition.Fields.push_back(strata_tool::ParseFieldDefinition(
          value_of(i), static_cast<uint16_t>(definition.Fields.size() + 1)));
    } else if (arg == "--primary") {
      primary_text = value_of(i);
      has_primary = true;
    } else if (arg == "--index") {
      index_texts.push_back(value_of(i));
    } else if (arg == "--block-size") {
      definition.BlobBlockSize = static_cast<uint32_t>(std::stoul(value_of(i)));
    } else if (arg == "--language") {
      const std::string& name = value_of(i);
      auto id = strata::LanguageIdByName(name);
      if (!id) throw UsageError("unknown language '" + name + "'");
      definition.LanguageId = *id;
    } else if (arg == "--description") {
      definition.Description = value_of(i);
    } else if (arg == "--overwrite") {
      overwrite = true;
    } else {
      throw UsageError("create: unknown argument '" + arg + "'");
    }
  }
  if (definition.Fields.empty()) throw UsageError("create needs at least one --field");
  if (has_primary) {
    definition.Indexes.push_back(
        strata_tool::ParsePrimaryDefinition(primary_text, definition.Fields));
  }
  for (const std::string& spec : index_texts) {
    definition.Indexes.push_back(strata_tool::ParseIndexDefinition(spec, definition.Fields));
  }
  Table table(args[0]);
  definition.Name = table.Name();
  table.Cursor().CreateTable(definition, {.Exclusive = true}, overwrite);
  std::cout << "created " << args[0] << "\n";
  return 0;
}

std::string IndexFields(TDataCursor& cursor, const strata::TIndexDescriptor& index) {
  std::string text;
  for (int i = 0; i < index.FieldCount; ++i) {
    if (!text.empty()) text += ",";
    text += cursor.Field(index.FieldNumbers[i]).Name;
  }
  return text.empty() ? "(row order)" : text;
}

int Info(const std::vector<std::string>& args) {
  if (args.size() != 1) throw UsageError("info takes a table");
  Table table(args[0]);
  table.Open();
  TDataCursor& cursor = table.Cursor();
  strata::TDataFile& data = cursor.Table().DataFile();
  const strata::TDataHeader& header = data.Header();
  auto language = strata::LanguageNameById(header.LocaleId);
  std::cout << "table        " << table.Name() << "\n"
            << "description  " << header.Description << "\n"
            << "records      " << cursor.RecordCount() << " (slots " << data.SlotCount()
            << ", free chain head " << header.FreeChainHead << ")\n"
            << "record size  " << header.RecordSize << " bytes\n"
            << "last row     " << header.LastAutoIncrement << "\n"
            << "changes      " << header.ChangeCounter << "\n"
            << "language     " << (language ? std::string(*language) : "?") << " (locale "
            << header.LocaleId << ", sort " << header.SortId << ")\n"
            << "blob blocks  " << data.BlobBlockSize() << " bytes\n"
            << "encrypted    " << (header.Encrypted ? "yes" : "no") << "\n\nfields\n";
  for (const strata::TFieldDescriptor& field : cursor.Fields()) {
    std::cout << "  " << field.FieldNumber << "  " << field.Name << "  "
              << strata_tool::TypeText(field);
    if (field.Required) std::cout << "  required";
    if (field.CharCase == 1) std::cout << "  lower";
    if (field.CharCase == 2) std::cout << "  upper";
    if (!field.DefaultValue.empty()) std::cout << "  default=" << field.DefaultValue;
    if (!field.MinValue.empty()) std::cout << "  min=" << field.MinValue;
    if (!field.MaxValue.empty()) std::cout << "  max=" << field.MaxValue;
    std::cout << "\n";
  }
  std::cout << "\nindexes\n";
  strata::TIndexFile& index = cursor.Table().IndexFile();
  for (int slot : cursor.Indexes()) {
    const strata::TIndexDescriptor& descriptor = index.Descriptor(slot);
    std::cout << "  " << slot << "  " << (slot == 0 ? "(primary)" : descriptor.Name) << "  "
              << IndexFields(cursor, descriptor) << "  key " << descriptor.KeySize << " bytes";
    if (descriptor.Unique || slot == 0) std::cout << "  unique";
    if (descriptor.Descending) std::cout << "  desc";
    if (descriptor.CaseInsensitive) std::cout << "  nocase";
    std::cout << "  " << index.EntryCount(slot) << " entries\n";
  }
  return 0;
}

int Insert(const std::vector<std::string>& args) {
  if (args.size() < 2) throw UsageError("insert needs a table and FIELD=VALUE pairs");
  Table table(args[0]);
  table.Open();
  TDataCursor& cursor = table.Cursor();
  cursor.InitRecord();
  for (size_t i = 1; i < args.size(); ++i) {
    size_t equals = args[i].find('=');
    if (equals == std::string::npos || equals == 0) {
      throw UsageError("insert: write FIELD=VALUE, not '" + args[i] + "'");
    }
    uint16_t field = cursor.FieldNumber(args[i].substr(0, equals));
    std::string value = args[i].substr(equals + 1);
    if (cursor.Field(field).IsBlob() && !value.empty() && value[0] == '@') {
      cursor.SetBlob(field, ReadFile(value.substr(1)));
    } else {
      cursor.PutFieldText(field, value);
    }
  }
  cursor.InsertRecord();
  std::cout << "inserted row " << strata::GetRowNumber(cursor.RecordBuffer().data()) << "\n";
  return 0;
}

// Makes the record with this row number current; false when there is none.
bool FindRow(TDataCursor& cursor, const std::string& row_text) {
  int64_t row = 0;
  try {
    row = std::stoll(row_text);
  } catch (const std::exception&) {
    throw UsageError("'" + row_text + "' is not a row number");
  }
  cursor.First();
  while (cursor.MoveNext()) {
    if (strata::GetRowNumber(cursor.RecordBuffer().data()) == row) return true;
  }
  return false;
}

int Delete(const std::vector<std::string>& args) {
  if (args.size() != 2) throw UsageError("delete takes a table and a row number");
  Table table(args[0]);
  table.Open();
  if (!FindRow(table.Cursor(), args[1])) throw std::runtime_error("no row " + args[1]);
  table.Cursor().DeleteRecord();
  std::cout << "deleted row " << args[1] << "\n";
  return 0;
}

int List(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("list needs a table");
  Table table(args[0]);
  table.Open();
  TDataCursor& cursor = table.Cursor();
  if (args.size() == 3 && args[1] == "--index") {
    cursor.SetIndex(std::string_view(args[2]));
  } else if (args.size() != 1) {
    throw UsageError("list takes a table and optionally --index NAME");
  }
  const auto& fields = cursor.Fields();
  std::cout << "row";
  for (const auto& field : fields) std::cout << "\t" << field.Name;
  std::cout << "\n";
  cursor.First();
  while (cursor.MoveNext()) {
    std::cout << strata::GetRowNumber(cursor.RecordBuffer().data());
    for (const auto& field : fields) {
      std::cout << "\t";
      if (field.IsBlob()) {
        std::cout << "(" << cursor.BlobSize(field.FieldNumber) << " bytes)";
      } else {
        std::cout << cursor.GetFieldText(field.FieldNumber).value_or("");
      }
    }
    std::cout << "\n";
  }
  return 0;
}

int Blob(const std::vector<std::string>& args) {
  if (args.size() != 4) throw UsageError("blob takes a table, a row number, a field and a file");
  Table table(args[0]);
  table.Open();
  TDataCursor& cursor = table.Cursor();
  uint16_t field = cursor.FieldNumber(args[2]);
  if (!FindRow(cursor, args[1])) throw std::runtime_error("no row " + args[1]);
  std::vector<uint8_t> bytes = cursor.ReadBlob(field);
  WriteFile(args[3], bytes);
  std::cout << "wrote " << bytes.size() << " bytes to " << args[3] << "\n";
  return 0;
}

int Verify(const std::vector<std::string>& args) {
  if (args.size() != 1) throw UsageError("verify takes a table");
  Table table(args[0]);
  try {
    table.Open();
  } catch (const strata::EStrataEngineError& e) {
    // A table that cannot even be opened is as unsound as it gets.
    std::cout << "fault: " << e.what() << "\n1 faults\n";
    return 1;
  }
  strata::TTableCheckResult result = strata::CheckTable(table.Cursor());
  for (const std::string& fault : result.Faults) std::cout << "fault: " << fault << "\n";
  std::cout << table.Name() << ": " << result.LiveRecords << " records in " << result.Slots
            << " slots (" << result.FreeSlots << " free)";
  for (const auto& [name, entries] : result.IndexEntries) {
    std::cout << "; " << name << " " << entries;
  }
  if (result.BlobBlocks > 0) {
    std::cout << "; " << result.BlobBlocks << " blob blocks (" << result.FreeBlobBlocks << " free)";
  }
  std::cout << "\n"
            << (result.Sound() ? "sound" : std::to_string(result.Faults.size()) + " faults")
            << "\n";
  return result.Sound() ? 0 : 1;
}

int Rebuild(const std::vector<std::string>& args) {
  if (args.size() != 1) throw UsageError("rebuild takes a table");
  Table table(args[0]);
  table.Open(/*exclusive=*/true);
  // Indexes built from damaged records would carry the damage on.
  strata::TTableCheckResult records = strata::CheckRecords(table.Cursor());
  if (!records.DamagedRecords.empty()) {
    for (const std::string& fault : records.Faults) std::cout << "fault: " << fault << "\n";
    std::cout << table.Name() << ": " << records.DamagedRecords.size()
              << " damaged records; the indexes are left as they are (use strata repair)\n";
    return 1;
  }
  table.Cursor().RebuildIndexes();
  std::cout << "rebuilt the indexes of " << table.Name() << "\n";
  return 0;
}

int Repair(const std::vector<std::string>& args) {
  if (args.size() != 1) throw UsageError("repair takes a table");
  Table table(args[0]);
  strata::TTableRepairReport report = strata::RepairTable(table.Directory(), table.Name());
  for (const std::string& fault : report.FaultsFound) std::cout << "found: " << fault << "\n";
  for (const std::string& action : report.Actions) std::cout << "repaired: " << action << "\n";
  for (const std::string& fault : report.After.Faults) std::cout << "left: " << fault << "\n";
  std::cout << table.Name() << ": ";
  if (report.FaultsFound.empty()) {
    std::cout << "sound, nothing to repair\n";
  } else if (report.After.Sound()) {
    std::cout << "sound after the repair (" << report.After.LiveRecords << " records, "
              << report.RecordsSetAside << " set aside, " << report.ValuesCleared
              << " blob values cleared)\n";
  } else {
    std::cout << report.After.Faults.size() << " faults left after the repair\n";
  }
  return report.After.Sound() ? 0 : 1;
}

// The texts of `strata sql`: the arguments, else all of standard input.
int Sql(const std::vector<std::string>& args) {
  if (args.empty()) throw UsageError("sql needs a folder");
  strata_tool::TOutputFormat format = strata_tool::TOutputFormat::kTable;
  std::vector<std::string> texts;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--format") {
      if (i + 1 >= args.size()) throw UsageError("--format needs table, csv or json");
      auto chosen = strata_tool::ParseOutputFormat(args[++i]);
      if (!chosen) throw UsageError("unknown format '" + args[i] + "'");
      format = *chosen;
    } else if (args[i].starts_with("--")) {
      throw UsageError("sql: unknown option '" + args[i] + "'");
    } else {
      texts.push_back(args[i]);
    }
  }
  std::error_code error;
  if (!std::filesystem::is_directory(args[0], error)) {
    throw UsageError("no folder '" + args[0] + "'");
  }
  std::unique_ptr<strata_tool::TResultPrinter> printer =
      strata_tool::MakeResultPrinter(format, std::cout);
  try {
    strata_tool::TSqlShell shell(args[0], *printer);
    if (texts.empty() && isatty(STDIN_FILENO)) return strata_tool::RunConsole(shell);
    // The texts run at once and the tool ends: tables it reuses between
    // statements may stay in use meanwhile.
    shell.SetHoldIdleTables(true);
    if (texts.empty()) {
      texts.emplace_back(std::istreambuf_iterator<char>(std::cin),
                         std::istreambuf_iterator<char>());
    }
    for (const std::string& text : texts) shell.Run(text);
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << platform::Windows1252ToUtf8(e.what()) << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::cout << kHelp;
    return args.empty() ? 2 : 0;
  }
  const std::string command = args[0];
  args.erase(args.begin());
  try {
    if (command == "create") return Create(args);
    if (command == "info") return Info(args);
    if (command == "insert") return Insert(args);
    if (command == "delete") return Delete(args);
    if (command == "list") return List(args);
    if (command == "blob") return Blob(args);
    if (command == "verify") return Verify(args);
    if (command == "rebuild") return Rebuild(args);
    if (command == "repair") return Repair(args);
    if (command == "sql") return Sql(args);
    throw UsageError("unknown command '" + command + "'");
  } catch (const UsageError& e) {
    std::cerr << "strata: " << e.what() << "\nTry 'strata --help'.\n";
  } catch (const strata_tool::DefinitionError& e) {
    std::cerr << "strata: " << e.what() << "\n";
  } catch (const std::exception& e) {
    std::cerr << "strata: " << e.what() << "\n";
  }
  return 2;
}
