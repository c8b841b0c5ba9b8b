// Our side of the statement benchmark: the banner service's statement
// texts, built by app/statement_texts.h with each run's values spliced in,
// prepared and run through one TQueryStatement on the SQL executor, as the
// service's one query component runs them (a new text each time: close,
// set the text, open or execute). The tables come from app/schema.sql and
// are filled through table cursors.
#pragma once

#include <memory>
#include <string>

#include "bench/statement_workload.h"

namespace strata {
class TDataSession;
class TDataDirectory;
class TStatementExecutor;
class TQueryStatement;
}  // namespace strata

namespace bench {

class TStrataStatements : public TStatementEngine {
 public:
  // Creates the tables in `folder` (emptied first) from `schema` and fills them.
  TStrataStatements(const std::string& folder, const std::string& schema,
                    const TStatementWorkload& work);
  ~TStrataStatements() override;
  std::string Name() const override { return "ours"; }
  int64_t Run(TStatementCase statement, int i) override;

 private:
  void Fill();
  // A SELECT: its record count; `read` reads the first column of the last
  // row (the visitor re-read) instead of the first.
  int64_t Open(const std::string& text, bool last = false);
  int64_t CandidateQuery(int i);
  int64_t Execute(const std::string& text);

  const TStatementWorkload& work_;
  std::shared_ptr<strata::TDataSession> session_;
  std::shared_ptr<strata::TDataDirectory> directory_;
  std::unique_ptr<strata::TStatementExecutor> executor_;
  std::unique_ptr<strata::TQueryStatement> query_;
  int64_t last_value_ = 0;  // what the last Open read
};

}  // namespace bench
