#include "sql/exec/auto_transaction.h"

#include <algorithm>

#include "sql/parse/data_query.h"
#include "storage/best_effort.h"
#include "storage/cursor/data_cursor.h"
#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"

namespace strata {

TAutoTransaction::TAutoTransaction(TDataCursor& target, const TCommitOption& option)
    : target_(target), database_(target.Directory()), flush_(option.Flush) {
  const TEngineSettings& settings = database_.Session().Settings();
  if (option.Interval > 0) {
    interval_ = option.Interval;
  } else {
    const int64_t length = std::max<int64_t>(target.RecordSize(), 1);
    interval_ = std::min<int64_t>(2 * int64_t{settings.RecordCacheBytes} / length,
                                  settings.RecordCacheCount);
    interval_ = std::max<int64_t>(interval_, 1);
  }
  automatic_ = !database_.InTransaction();
  interval_commits_ = automatic_ || option.Interval > 0;
  if (automatic_) {
    database_.StartTransaction(/*one_statement=*/true);
    open_ = true;
  }
}

TAutoTransaction::~TAutoTransaction() {
  if (open_) BestEffort([&] { database_.Rollback(); });
}

void TAutoTransaction::CommitNow() {
  TEngineSettings& settings = database_.Session().Settings();
  const bool forced = settings.ForceBufferFlush;
  if (flush_) settings.ForceBufferFlush = true;
  try {
    database_.Commit();
  } catch (...) {
    settings.ForceBufferFlush = forced;
    open_ = false;
    throw;
  }
  settings.ForceBufferFlush = forced;
  open_ = false;
}

void TAutoTransaction::RowDone(int64_t count) {
  if (!interval_commits_ || count % interval_ != 0) return;
  if (!database_.InTransaction()) return;
  CommitNow();
  // The statement goes on in a transaction of its own (or the user's).
  database_.StartTransaction(/*one_statement=*/automatic_);
  open_ = automatic_;
  if (target_.OnRecord()) target_.Refresh();
}

void TAutoTransaction::Finish() {
  if (!automatic_ || !open_) return;
  CommitNow();
}

}  // namespace strata
