#include "storage/session/strata_session.h"

#include <algorithm>

#include "storage/session/data_session.h"
#include "storage/session/database_error.h"
#include "storage/engine_names.h"
#include "storage/session/session_list.h"
#include "storage/session/strata_database.h"

namespace strata {

TStrataSession::TStrataSession() : list_(TStrataSessionList::Instance()) { list_.Add(this); }

TStrataSession::TStrataSession(TStrataSessionList& list, DefaultTag)
    : list_(list), session_name_(kDefaultSessionName) {
  list_.Add(this);
}

TStrataSession::~TStrataSession() {
  try {
    SetActive(false);
  } catch (...) {
    // A destructor cannot report; the session is stopped regardless.
  }
  list_.Remove(this);
}

bool TStrataSession::IsDefault() const { return this == &list_.DefaultSession(); }

void TStrataSession::CheckInactive() const {
  if (active_) RaiseDatabaseError(kSessionActive);
}

void TStrataSession::SetActive(bool active) {
  if (loading_) {
    stream_active_ = active;
    return;
  }
  if (active == active_) return;
  std::lock_guard lock(list_.StartLock());
  if (active) {
    Start();
  } else {
    Stop();
  }
}

void TStrataSession::Start() {
  try {
    if (OnStartup) OnStartup(*this);
    if (session_name_.empty()) RaiseDatabaseError(kSessionNameMissing);
    if (session_type_ == stRemote) RaiseDatabaseError(kRemoteSessionRefused);
    if (!IsDefault()) list_.DefaultSession().SetActive(true);
    engine_ = IsDefault() ? TDataSession::ProcessSession() : TDataSession::Create();
    PassSettings();
    engine_->RemoveAllPasswords();
    for (const std::string& password : passwords_) engine_->AddPassword(password);
    engine_->PasswordRequest = [this](const std::string&) {
      bool retry = false;
      if (OnPassword) OnPassword(*this, retry);
      return retry;
    };
    active_ = true;
  } catch (...) {
    if (engine_) engine_->PasswordRequest = nullptr;
    engine_.reset();
    active_ = false;
    throw;
  }
}

void TStrataSession::Stop() {
  // Every database of the session closes; those the session created itself
  // are freed. The session stops even when closing one of them fails.
  std::exception_ptr failure;
  std::vector<TStrataDatabase*> databases = databases_;
  for (TStrataDatabase* database : databases) {
    try {
      database->SetConnected(false);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  databases_.clear();
  temporaries_.clear();
  if (engine_) engine_->PasswordRequest = nullptr;
  engine_.reset();
  active_ = false;
  if (failure) std::rethrow_exception(failure);
}

void TStrataSession::PassSettings() {
  if (!engine_) return;
  engine_->Settings() = settings_;
  engine_->SetPrivateDirectory(private_dir_);
}

void TStrataSession::SetAutoSessionName(bool value) {
  auto_session_name_ = value;
  if (!value || loading_) return;
  CheckInactive();
  for (int number = 1;; ++number) {
    std::string name = "Session_" + std::to_string(number);
    TStrataSession* found = list_.FindSession(name);
    if (found == nullptr || found == this) {
      session_name_ = name;
      return;
    }
  }
}

void TStrataSession::SetForceBufferFlush(bool value) {
  settings_.ForceBufferFlush = value;
  PassSettings();
}

void TStrataSession::SetLockRetryCount(uint8_t value) {
  settings_.LockRetryCount = value;
  PassSettings();
}

void TStrataSession::SetLockWaitTime(uint16_t value) {
  settings_.LockWaitTime = value;
  PassSettings();
}

void TStrataSession::SetLockProtocol(TLockProtocol value) {
  settings_.LockProtocol = value;
  PassSettings();
}

void TStrataSession::SetPrivateDir(std::string_view value) {
  private_dir_ = value;
  PassSettings();
}

void TStrataSession::SetProgressSteps(uint16_t value) {
  settings_.ProgressSteps = value;
  PassSettings();
}

void TStrataSession::SetStrictChangeDetection(bool value) {
  settings_.StrictChangeDetection = value;
  PassSettings();
}

void TStrataSession::SetHoldIdleTables(bool value) {
  settings_.HoldIdleTables = value;
  PassSettings();
}

void TStrataSession::SetSessionName(std::string_view value) {
  if (SameName(value, session_name_) && value.size() == session_name_.size()) {
    session_name_ = value;
    return;
  }
  CheckInactive();
  if (!value.empty()) {
    TStrataSession* other = list_.FindSession(value);
    if (other != nullptr && other != this) RaiseDatabaseError(kDuplicateSessionName, value);
  }
  session_name_ = value;
}

void TStrataSession::SetSessionType(TStrataSessionType value) {
  if (value == session_type_) return;
  CheckInactive();
  session_type_ = value;
}

void TStrataSession::BeginLoading() {
  loading_ = true;
  stream_active_ = active_;
}

void TStrataSession::EndLoading() {
  if (!loading_) return;
  loading_ = false;
  if (auto_session_name_) SetAutoSessionName(true);
  SetActive(stream_active_);
}

void TStrataSession::AddPassword(const std::string& password) {
  if (std::find(passwords_.begin(), passwords_.end(), password) == passwords_.end()) {
    passwords_.push_back(password);
  }
  if (engine_) engine_->AddPassword(password);
}

void TStrataSession::RemovePassword(const std::string& password) {
  std::erase(passwords_, password);
  if (engine_) engine_->RemovePassword(password);
}

void TStrataSession::RemoveAllPasswords() {
  passwords_.clear();
  if (engine_) engine_->RemoveAllPasswords();
}

TStrataDatabase* TStrataSession::FindDatabase(std::string_view name) const {
  for (TStrataDatabase* database : databases_) {
    if (SameName(database->DatabaseName(), name)) return database;
  }
  for (TStrataDatabase* database : list_.AllDatabases()) {
    if (SameName(database->DatabaseName(), name) &&
        list_.FindSession(database->SessionName()) == this) {
      return database;
    }
  }
  return nullptr;
}

TStrataDatabase& TStrataSession::OpenDatabase(std::string_view name) {
  TStrataDatabase* database = FindDatabase(name);
  if (database == nullptr) {
    // No component carries the name: it names a directory (or "Memory").
    auto temporary = std::make_unique<TStrataDatabase>();
    temporary->temporary_ = true;
    temporary->database_name_ = name;
    if (!SameName(name, kMemoryDatabaseName)) temporary->directory_ = name;
    temporary->session_name_ = session_name_;
    temporary->keep_connection_ = keep_connections_;
    database = temporary.get();
    temporaries_.push_back(std::move(temporary));
  }
  try {
    database->SetConnected(true);
  } catch (...) {
    if (database->Temporary()) {
      std::erase_if(temporaries_, [&](const auto& owned) { return owned.get() == database; });
    }
    throw;
  }
  return *database;
}

void TStrataSession::CloseDatabase(TStrataDatabase& database) {
  database.SetConnected(false);
  if (database.Temporary()) {
    std::erase_if(temporaries_, [&](const auto& owned) { return owned.get() == &database; });
  }
}

TDataSession& TStrataSession::Handle() const {
  if (!engine_) RaiseDatabaseError(kSessionInactive, session_name_);
  return *engine_;
}

void TStrataSession::AddDatabase(TStrataDatabase* database) { databases_.push_back(database); }

void TStrataSession::RemoveDatabase(TStrataDatabase* database) { std::erase(databases_, database); }

}  // namespace strata
