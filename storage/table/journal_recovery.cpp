#include "storage/table/journal_recovery.h"

#include "platform/clock.h"
#include "storage/engine_error.h"
#include "storage/file/file_handler.h"
#include "storage/file/rollback_journal.h"
#include "storage/table/lock_loop.h"
#include "storage/table/lock_regions.h"

namespace strata {

void RecoverHotJournal(TRollbackJournal& journal, TFileHandler& data, TFileHandler* index,
                       TFileHandler* blob, bool holds_mutex, std::string_view table_name) {
  bool took_mutex = false;
  if (!holds_mutex) {
    for (int failures = 0; !data.Lock(kTableMutexOffset, kTableMutexLength);) {
      if (!journal.HoldsChange()) return;
      if (++failures >= kTableLockAttempts) RaiseTableError(STRATA_LOCKTIMEOUT, table_name);
      platform::SleepMs(kTableLockRetryMs);
    }
    took_mutex = true;
  }
  bool took_index = false;
  bool took_blob = false;
  auto give_back = [&] {
    if (took_blob) blob->Unlock(kWriteRegionOffset, kWriteRegionLength);
    if (took_index) index->Unlock(kWriteRegionOffset, kWriteRegionLength);
    if (took_mutex) data.Unlock(kTableMutexOffset, kTableMutexLength);
  };
  auto lock_region = [](TFileHandler& file) {
    return RunTableLockLoop([&] { return file.Lock(kWriteRegionOffset, kWriteRegionLength); });
  };
  try {
    if (index != nullptr) {
      if (!lock_region(*index)) RaiseTableError(STRATA_LOCKTIMEOUT, table_name);
      took_index = true;
    }
    if (blob != nullptr && blob->IsOpen()) {
      if (!lock_region(*blob)) RaiseTableError(STRATA_LOCKTIMEOUT, table_name);
      took_blob = true;
    }
    journal.Rollback();
  } catch (...) {
    give_back();
    throw;
  }
  give_back();
}

}  // namespace strata
