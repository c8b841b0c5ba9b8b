#include "sql/query/strata_db_dataset.h"

#include "storage/session/database_error.h"
#include "storage/session/session_list.h"
#include "storage/session/strata_session.h"

namespace strata {

TStrataDBDataSet::TStrataDBDataSet() = default;

TStrataDBDataSet::~TStrataDBDataSet() { DetachDatabase(); }

void TStrataDBDataSet::SetSessionName(std::string_view name) {
  CheckInactive();
  session_name_ = name;
  BindingChanged();
}

void TStrataDBDataSet::SetDatabaseName(std::string_view name) {
  CheckInactive();
  database_name_ = name;
  BindingChanged();
}

TStrataSession& TStrataDBDataSet::Session() const {
  TStrataSession* session = Sessions().FindSession(session_name_);
  if (session == nullptr) RaiseDatabaseError(kInvalidSessionName, session_name_);
  return *session;
}

TStrataDatabase& TStrataDBDataSet::AttachDatabase() {
  if (database_ != nullptr) return *database_;
  TStrataSession& session = Session();
  if (!session.Active()) session.SetActive(true);
  TStrataDatabase& database = session.OpenDatabase(database_name_);
  database.AttachDataSet(this);
  database_ = &database;
  return database;
}

void TStrataDBDataSet::DetachDatabase() noexcept {
  if (database_ == nullptr) return;
  TStrataDatabase* database = database_;
  database_ = nullptr;
  try {
    database->DetachDataSet(this);
  } catch (...) {
    // Disconnecting a database without KeepConnection failed: the database
    // reports it when used again.
  }
}

void TStrataDBDataSet::ReleaseForDatabase() noexcept { Close(); }

void TStrataDBDataSet::BindingChanged() noexcept { DetachDatabase(); }

void TStrataDBDataSet::CloseForDatabase() {
  ReleaseForDatabase();
  // The database clears its list itself.
  database_ = nullptr;
}

}  // namespace strata
