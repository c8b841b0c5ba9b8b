#include "sql/exec/source_rows.h"

#include "sql/parse/data_query.h"
#include "sql/parse/table_name.h"
#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/table/data_table.h"

namespace strata {

TSourceRows::TSourceRows(TDataQuery& query) {
  slots_.reserve(query.SourceTables.size());
  for (TSourceTable& source : query.SourceTables) {
    TSlot slot;
    slot.Cursor = source.Cursor.get();
    slot.Rows = std::make_unique<TRecordRows>(slot.Cursor->Fields(),
                                              slot.Cursor->Table().DataFile().Context());
    TDataCursor* cursor = slot.Cursor;
    slot.Rows->SetBlobReader([cursor](uint16_t field, std::string& out) {
      const std::vector<uint8_t> bytes = cursor->ReadBlob(field);
      out.assign(bytes.begin(), bytes.end());
      return !bytes.empty();
    });
    slots_.push_back(std::move(slot));
  }
}

TSourceRows::~TSourceRows() = default;

bool TSourceRows::ReadColumn(int source, uint16_t column, TExpValue& out) {
  if (source < 0 || static_cast<size_t>(source) >= slots_.size()) return false;
  TSlot& slot = slots_[static_cast<size_t>(source)];
  switch (slot.Binding) {
    case TBinding::kNone:
      return false;
    case TBinding::kNull:
      if (column < 1 || column > slot.Cursor->Fields().size()) return false;
      out.SetNull(slot.Cursor->Field(column).TypeCode);
      return true;
    case TBinding::kRecord:
      // The buffer may have moved since the last read: bind it afresh.
      slot.Rows->Bind(slot.Cursor->RecordBuffer());
      return slot.Rows->ReadColumn(0, column, out);
  }
  return false;
}

std::optional<int64_t> TSourceRows::LastAutoInc(std::string_view table) {
  for (TSlot& slot : slots_) {
    if (SameTableName(slot.Cursor->TableName(), table)) {
      return slot.Cursor->Table().DataFile().LastAutoIncrement();
    }
  }
  return std::nullopt;
}

}  // namespace strata
