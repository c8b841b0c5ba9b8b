// Our side of the storage benchmark: the same four jobs through the table
// cursor, as the SQL engine and the CGI program will drive it.
#pragma once

#include <memory>
#include <string>

#include "bench/workload.h"

namespace strata {
class TDataSession;
class TDataDirectory;
class TDataCursor;
}  // namespace strata

namespace bench {

class StrataEngine : public Engine {
 public:
  explicit StrataEngine(std::string folder);
  ~StrataEngine() override;
  std::string Name() const override { return "strata"; }
  void InsertAll(const Workload& work) override;
  long LookupAll(const Workload& work) override;
  long CountOdd() override;
  void UpdateEach(const Workload& work) override;

 private:
  std::string folder_;
  std::shared_ptr<strata::TDataSession> session_;
  std::shared_ptr<strata::TDataDirectory> directory_;
  std::unique_ptr<strata::TDataCursor> cursor_;
};

}  // namespace bench
