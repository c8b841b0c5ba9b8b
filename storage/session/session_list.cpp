#include "storage/session/session_list.h"

#include <algorithm>
#include <memory>

#include "storage/engine_names.h"
#include "storage/session/strata_session.h"

namespace strata {

TStrataSessionList& TStrataSessionList::Instance() {
  // Created with the engine and never destroyed: sessions and their tables
  // may still be in use while the process exits.
  static TStrataSessionList* list = [] {
    auto* created = new TStrataSessionList();
    created->default_session_ = new TStrataSession(*created, TStrataSession::DefaultTag{});
    return created;
  }();
  return *list;
}

TStrataSession* TStrataSessionList::FindSession(std::string_view name) const {
  std::lock_guard lock(mutex_);
  if (name.empty()) return default_session_;
  for (TStrataSession* session : sessions_) {
    if (SameName(session->SessionName(), name)) return session;
  }
  return nullptr;
}

TStrataSession& TStrataSessionList::OpenSession(std::string_view name) {
  std::lock_guard lock(mutex_);
  TStrataSession* session = FindSession(name);
  if (session == nullptr) {
    auto created = std::make_unique<TStrataSession>();
    created->SetSessionName(name);
    session = created.get();
    owned_.push_back(created.release());
  }
  session->SetActive(true);
  return *session;
}

std::vector<TStrataSession*> TStrataSessionList::List() const {
  std::lock_guard lock(mutex_);
  return sessions_;
}

int TStrataSessionList::Count() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(sessions_.size());
}

void TStrataSessionList::Add(TStrataSession* session) {
  std::lock_guard lock(mutex_);
  sessions_.push_back(session);
}

void TStrataSessionList::Remove(TStrataSession* session) {
  std::lock_guard lock(mutex_);
  std::erase(sessions_, session);
  std::erase(owned_, session);
}

void TStrataSessionList::AddDatabase(TStrataDatabase* database) {
  std::lock_guard lock(mutex_);
  databases_.push_back(database);
}

void TStrataSessionList::RemoveDatabase(TStrataDatabase* database) {
  std::lock_guard lock(mutex_);
  std::erase(databases_, database);
}

std::vector<TStrataDatabase*> TStrataSessionList::AllDatabases() const {
  std::lock_guard lock(mutex_);
  return databases_;
}

TStrataSessionList& Sessions() { return TStrataSessionList::Instance(); }
TStrataSession& DefaultSession() { return Sessions().DefaultSession(); }

}  // namespace strata
