// TStatementReadScope: the read locks of one statement's source tables,
// each taken once while the statement is worked out (the sources' filters
// and ranges installed, the join order chosen, a SELECT's rows read into
// its private result table), so that the many small cursor operations in
// between nest inside them: no lock call and no header read each.
//
// Rules it keeps:
// - The first table is waited for as any read waits; every other one is
//   only tried. When one is not free at once (a writer is at work on it),
//   the scope gives back what it took and holds nothing: the statement then
//   locks per operation, as it would without the scope. So the scope never
//   waits for one table while it holds another's read lock, and cannot close
//   a cycle with a writer that holds one table's write lock while it waits
//   for another's (a commit over several tables).
// - A statement with WITH LOCKS takes none: its table locks are taken while
//   this process holds nothing else.
// - Exclusive and read-only-attribute tables take no locks and are skipped.
// - The holder gives the locks back (Release, or the destructor on every
//   other path) before a change loop begins and before control goes back to
//   whoever runs the statement: they never outlive the statement's call.
#pragma once

#include <vector>

namespace strata {

class TDataQuery;
class TDataTable;
class TParsedStatement;

class TStatementReadScope {
 public:
  // Holds nothing.
  TStatementReadScope() = default;
  // Takes the read locks of the source tables of the statement's queries,
  // `skip` left out (the INSERT whose target is only written).
  explicit TStatementReadScope(const TParsedStatement& statement, const TDataQuery* skip = nullptr);
  ~TStatementReadScope();
  TStatementReadScope(const TStatementReadScope&) = delete;
  TStatementReadScope& operator=(const TStatementReadScope&) = delete;

  // The tables whose read lock is held (empty after a fallback or Release).
  const std::vector<TDataTable*>& Held() const { return held_; }
  // Gives every lock back; the first failure to release one is raised after
  // all were given back.
  void Release();

 private:
  std::vector<TDataTable*> held_;
};

}  // namespace strata
