// TDataCursor: sorting the table's records in place.
#include <string>

#include "storage/cursor/data_cursor.h"
#include "storage/data/data_file.h"
#include "storage/engine_names.h"
#include "storage/index/index_file.h"
#include "storage/session/data_session.h"
#include "storage/table/data_table.h"
#include "storage/table/table_lock_guards.h"

namespace strata {

TRecordSortOutcome TDataCursor::SortRecords(std::span<const TSortColumn> columns,
                                            bool case_insensitive, TRecordSortRules rules) {
  RequireWritable();
  RequireExclusive();
  ReleaseEditLock();
  DropBlobs();
  TDataFile& data = Data();
  const TSortKeyFormat key_format(Fields(), columns, case_insensitive,
                                  static_cast<uint32_t>(data.Header().LocaleId) |
                                      (static_cast<uint32_t>(data.Header().SortId) << 16),
                                  table_name_);
  rules.Order = &key_format;
  std::shared_ptr<TDataDirectory> scratch;
  rules.RunFileName = [&] {
    if (!scratch) scratch = directory_->Session().OpenPrivateDirectory();
    return scratch->TemporaryFileName(kSortRunExtension);
  };

  rules.WriteOut = [&] { table_->Flush(false); };

  WriteLock lock(table_.Table());
  SyncWithTable();
  TRecordSortOutcome outcome;
  try {
    outcome = strata::SortRecords(data, rules);
    if (outcome.Changed) {
      // The row-order index maps row numbers to slots; when none moved it
      // is right as it stands. Every other index holds record contents.
      const std::vector<int> indexes = Indexes();
      const bool row_order_only = indexes.size() == 1 && indexes.front() == kRowOrderIndex;
      if (!outcome.RowsUnchanged || !row_order_only) {
        IndexFile().Empty();
        FillIndexes(indexes);
      }
      table_->FlushAfterChange(false);
    }
  } catch (...) {
    AbandonChanges();
    throw;
  }
  lock.Release();
  ResetPosition();
  image_.assign(RecordSize(), 0);
  buffer_.assign(RecordSize(), 0);
  modified_ = false;
  if (filter_) filter_->TableChanged();
  NoteTableState();
  return outcome;
}

}  // namespace strata
