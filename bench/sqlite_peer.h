// The peer of the storage benchmark: the same four jobs on SQLite, in a
// file of its own, with settings comparable to ours (journal on disk, no
// fsync per statement, one process).
#pragma once

#include <string>

#include "bench/workload.h"

struct sqlite3;

namespace bench {

class SqlitePeer : public Engine {
 public:
  explicit SqlitePeer(std::string folder);
  ~SqlitePeer() override;
  std::string Name() const override { return "SQLite"; }
  void InsertAll(const Workload& work) override;
  long LookupAll(const Workload& work) override;
  long CountOdd() override;
  void UpdateEach(const Workload& work) override;

 private:
  std::string path_;
  sqlite3* db_ = nullptr;
};

}  // namespace bench
