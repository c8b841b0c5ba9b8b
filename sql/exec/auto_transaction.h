// TAutoTransaction: the transaction an INSERT, UPDATE or DELETE runs in.
// When the target's database has no transaction in progress, one is
// started, committed every `interval` rows (COMMIT INTERVAL n, or
// min(2 x record-cache bytes / record length, record-cache count)) and at
// the end, and rolled back when the statement fails (rows of earlier
// interval commits stay). Inside a user's transaction nothing is started;
// only a COMMIT INTERVAL given with the statement commits at its multiples.
// FLUSH makes each commit flush the operating system's buffers.
#pragma once

#include <cstdint>

namespace strata {

class TDataCursor;
class TDataDirectory;
struct TCommitOption;

class TAutoTransaction {
 public:
  // `target`: the cursor rows are changed through (refreshed after each
  // interval commit).
  TAutoTransaction(TDataCursor& target, const TCommitOption& option);
  ~TAutoTransaction();  // rolls back an automatic transaction not finished
  TAutoTransaction(const TAutoTransaction&) = delete;
  TAutoTransaction& operator=(const TAutoTransaction&) = delete;

  // One more row changed (the count so far): commits at the interval.
  void RowDone(int64_t count);
  // Commits the automatic transaction.
  void Finish();

  int64_t Interval() const { return interval_; }
  bool Automatic() const { return automatic_; }

 private:
  void CommitNow();

  TDataCursor& target_;
  TDataDirectory& database_;
  bool automatic_ = false;
  bool interval_commits_ = false;
  bool flush_ = false;
  int64_t interval_ = 0;
  bool open_ = false;
};

}  // namespace strata
