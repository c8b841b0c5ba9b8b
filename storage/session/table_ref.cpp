#include "storage/session/table_ref.h"

#include "storage/best_effort.h"
#include "storage/session/data_directory.h"

namespace strata {

TTableRef::~TTableRef() {
  try {
    Release();
  } catch (...) {
    // Closing the table failed; a destructor cannot report it.
  }
}

TTableRef::TTableRef(TTableRef&& other) noexcept
    : directory_(std::move(other.directory_)), table_(other.table_), cursor_id_(other.cursor_id_) {
  other.table_ = nullptr;
  other.cursor_id_ = 0;
}

TTableRef& TTableRef::operator=(TTableRef&& other) noexcept {
  if (this != &other) {
    BestEffort([&] { Release(); });
    directory_ = std::move(other.directory_);
    table_ = other.table_;
    cursor_id_ = other.cursor_id_;
    other.table_ = nullptr;
    other.cursor_id_ = 0;
  }
  return *this;
}

void TTableRef::Release() {
  if (table_ == nullptr) return;
  TDataTable* table = table_;
  int cursor_id = cursor_id_;
  std::shared_ptr<TDataDirectory> directory = std::move(directory_);
  table_ = nullptr;
  cursor_id_ = 0;
  directory->ReleaseTable(table, cursor_id);
}

}  // namespace strata
