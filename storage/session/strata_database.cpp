#include "storage/session/strata_database.h"

#include <algorithm>

#include "storage/session/data_directory.h"
#include "storage/session/data_session.h"
#include "storage/session/database_error.h"
#include "storage/engine_names.h"
#include "storage/session/session_list.h"
#include "storage/session/strata_session.h"

namespace strata {

TStrataDatabase::TStrataDatabase() { Sessions().AddDatabase(this); }

TStrataDatabase::~TStrataDatabase() {
  try {
    Disconnect();
  } catch (...) {
    // A destructor cannot report; the database is disconnected regardless.
  }
  Sessions().RemoveDatabase(this);
}

std::string TStrataDatabase::EngineVersion() const { return std::string(kEngineVersion); }

void TStrataDatabase::CheckInactive() const {
  if (connected_) RaiseDatabaseError(kDatabaseOpen);
}

void TStrataDatabase::CheckActive() const {
  if (!connected_) RaiseDatabaseError(kDatabaseClosed);
}

void TStrataDatabase::SetConnected(bool connected) {
  if (loading_) {
    stream_connected_ = connected;
    return;
  }
  if (connected == connected_) return;
  if (connected) {
    Connect();
  } else {
    Disconnect();
  }
}

void TStrataDatabase::SetDatabaseName(std::string_view value) {
  if (value == database_name_) return;
  CheckInactive();
  if (value.find(':') != std::string_view::npos || value.find('\\') != std::string_view::npos) {
    RaiseDatabaseError(kInvalidDatabaseName, value);
  }
  database_name_ = value;
}

void TStrataDatabase::SetDirectory(std::string_view value) {
  if (value == directory_) return;
  CheckInactive();
  directory_ = value;
}

void TStrataDatabase::SetSessionName(std::string_view value) {
  if (value == session_name_) return;
  CheckInactive();
  session_name_ = value;
}

void TStrataDatabase::BeginLoading() {
  loading_ = true;
  stream_connected_ = connected_;
}

void TStrataDatabase::EndLoading() {
  if (!loading_) return;
  loading_ = false;
  SetConnected(stream_connected_);
}

void TStrataDatabase::Connect() {
  if (BeforeConnect) BeforeConnect(*this);
  if (database_name_.empty()) RaiseDatabaseError(kDatabaseNameMissing);
  TStrataSession* session = Sessions().FindSession(session_name_);
  if (session == nullptr) RaiseDatabaseError(kInvalidSessionName, session_name_);
  session->SetActive(true);
  for (TStrataDatabase* other : session->Databases()) {
    if (other != this && SameName(other->DatabaseName(), database_name_)) {
      std::string name = database_name_;
      database_name_.clear();
      RaiseDatabaseError(kDuplicateDatabaseName, name);
    }
  }
  session->AddDatabase(this);
  try {
    directory_object_ = session->Handle().OpenDirectory(database_name_, directory_);
  } catch (...) {
    session->RemoveDatabase(this);
    throw;
  }
  session_ = session;
  connected_ = true;
}

void TStrataDatabase::Disconnect() {
  if (!connected_ || disconnecting_) return;
  disconnecting_ = true;
  // The database ends up disconnected even when a dataset fails to close or
  // the open transaction fails to roll back; the first error is reported.
  std::exception_ptr failure;
  try {
    CloseDataSets();
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    if (directory_object_ && directory_object_->InTransaction()) directory_object_->Rollback();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  datasets_.clear();
  directory_object_.reset();
  if (session_ != nullptr) session_->RemoveDatabase(this);
  session_ = nullptr;
  connected_ = false;
  disconnecting_ = false;
  if (failure) std::rethrow_exception(failure);
}

TDataDirectory& TStrataDatabase::Handle() const {
  CheckActive();
  return *directory_object_;
}

void TStrataDatabase::AttachDataSet(TDataSetLink* dataset) {
  if (std::find(datasets_.begin(), datasets_.end(), dataset) == datasets_.end()) {
    datasets_.push_back(dataset);
  }
}

void TStrataDatabase::DetachDataSet(TDataSetLink* dataset) {
  auto found = std::find(datasets_.begin(), datasets_.end(), dataset);
  if (found == datasets_.end()) return;
  datasets_.erase(found);
  if (datasets_.empty() && !keep_connection_ && connected_ && !disconnecting_) Disconnect();
}

void TStrataDatabase::CloseDataSets() {
  // A dataset may detach itself while closing; work on a copy.
  std::vector<TDataSetLink*> datasets = datasets_;
  for (TDataSetLink* dataset : datasets) dataset->CloseForDatabase();
  datasets_.clear();
}

void TStrataDatabase::StartTransaction() {
  CheckActive();
  if (directory_object_->InTransaction()) RaiseDatabaseError(kTransactionActive, database_name_);
  directory_object_->StartTransaction();
}

void TStrataDatabase::Commit() {
  CheckActive();
  if (!directory_object_->InTransaction()) RaiseDatabaseError(kNoTransaction, database_name_);
  directory_object_->Commit();
}

void TStrataDatabase::Rollback() {
  CheckActive();
  if (!directory_object_->InTransaction()) RaiseDatabaseError(kNoTransaction, database_name_);
  directory_object_->Rollback();
}

bool TStrataDatabase::InTransaction() const {
  return connected_ && directory_object_ && directory_object_->InTransaction();
}

}  // namespace strata
