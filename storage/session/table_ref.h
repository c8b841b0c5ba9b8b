// TTableRef: one user's (a cursor's) hold on a shared table object. It keeps
// the directory alive, carries the user's own cursor id for record locks and
// gives the table back when it goes: the user's record locks are released
// and, with the last user (outside a transaction), the table is closed.
#pragma once

#include <memory>

namespace strata {

class TDataDirectory;
class TDataTable;

class TTableRef {
 public:
  TTableRef() = default;
  TTableRef(std::shared_ptr<TDataDirectory> directory, TDataTable* table, int cursor_id)
      : directory_(std::move(directory)), table_(table), cursor_id_(cursor_id) {}
  ~TTableRef();  // Release(), errors swallowed
  TTableRef(TTableRef&& other) noexcept;
  TTableRef& operator=(TTableRef&& other) noexcept;
  TTableRef(const TTableRef&) = delete;
  TTableRef& operator=(const TTableRef&) = delete;

  // Gives the table back; errors of closing the table propagate.
  void Release();

  explicit operator bool() const { return table_ != nullptr; }
  TDataTable& Table() const { return *table_; }
  TDataTable* operator->() const { return table_; }
  TDataTable& operator*() const { return *table_; }
  TDataDirectory& Directory() const { return *directory_; }
  const std::shared_ptr<TDataDirectory>& SharedDirectory() const { return directory_; }
  int CursorId() const { return cursor_id_; }

 private:
  std::shared_ptr<TDataDirectory> directory_;
  TDataTable* table_ = nullptr;
  int cursor_id_ = 0;
};

}  // namespace strata
