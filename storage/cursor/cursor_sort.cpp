// TDataCursor: sorting the table's records in place.
#include <string>
#include <vector>

#include "storage/blob/blob_file.h"
#include "storage/record/record_header.h"

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

  // A blob chain names the row that owns it, and the sort renumbers rows:
  // each kept record's chains are noted with its old and new row number and
  // handed over once the records stand in their new slots.
  struct TChainMove {
    uint32_t first_block;
    uint32_t old_row;
    uint32_t new_row;
  };
  std::vector<TChainMove> chain_moves;
  uint32_t kept = 0;  // records kept so far: the next one's new row is kept + 1
  std::vector<const TFieldDescriptor*> blob_fields;
  if (BlobFile() != nullptr) {
    for (const TFieldDescriptor& field : Fields()) {
      if (field.IsBlob()) blob_fields.push_back(&field);
    }
  }
  if (!blob_fields.empty()) {
    rules.Finish = [&, finish = std::move(rules.Finish)](std::span<uint8_t> record) {
      if (finish && !finish(record)) return false;
      const auto old_row = static_cast<uint32_t>(GetRowNumber(record.data()));
      if (old_row != ++kept) {
        for (const TFieldDescriptor* field : blob_fields) {
          const uint32_t first_block = BlobReference(record, *field);
          if (first_block != 0) chain_moves.push_back(TChainMove{first_block, old_row, kept});
        }
      }
      return true;
    };
  }

  WriteLock lock(table_.Table());
  SyncWithTable();
  TRecordSortOutcome outcome;
  try {
    outcome = strata::SortRecords(data, rules);
    for (const TChainMove& move : chain_moves) {
      BlobFile()->ChangeOwner(move.first_block, move.old_row, move.new_row);
    }
    if (outcome.Changed) {
      // The row-order index maps row numbers to slots; when none moved it
      // is right as it stands. Every other index holds record contents.
      const std::vector<int> indexes = Indexes();
      const bool row_order_only = indexes.size() == 1 && indexes.front() == kRowOrderIndex;
      if (!outcome.RowsUnchanged || !row_order_only) {
        IndexFile().Empty();
        FillIndexes(indexes);
        table_->FlushAfterChange(false);
      } else {
        // Only the data file changed: its header is written (its change
        // counter tells the table's other cursors), the index file is left
        // as it is.
        data.MarkHeaderModified();
        table_->Flush(false);
      }
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
