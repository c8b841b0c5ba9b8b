// TStrataSessionList: the process's list of session components. Created on
// first use together with the session named "Default", which, registered
// first, is the default session. Thread-safe; starting and stopping
// sessions is serialised by its process-wide lock.
#pragma once

#include <mutex>
#include <string_view>
#include <vector>

namespace strata {

class TStrataSession;
class TStrataDatabase;

inline constexpr std::string_view kDefaultSessionName = "Default";

class TStrataSessionList {
 public:
  static TStrataSessionList& Instance();

  TStrataSession& DefaultSession() const { return *default_session_; }
  // The session with this name, compared without regard to letter case; an
  // empty name means the default session. nullptr when there is none.
  TStrataSession* FindSession(std::string_view name) const;
  // The session with this name, started. A name without a session gets a
  // new session (owned by the list) with that name.
  TStrataSession& OpenSession(std::string_view name);
  std::vector<TStrataSession*> List() const;
  int Count() const;

  // Held while a session starts or stops.
  std::recursive_mutex& StartLock() { return start_lock_; }

 private:
  friend class TStrataSession;
  friend class TStrataDatabase;
  TStrataSessionList() = default;
  void Add(TStrataSession* session);
  void Remove(TStrataSession* session);
  void AddDatabase(TStrataDatabase* database);
  void RemoveDatabase(TStrataDatabase* database);
  std::vector<TStrataDatabase*> AllDatabases() const;

  mutable std::recursive_mutex mutex_;
  std::recursive_mutex start_lock_;
  std::vector<TStrataSession*> sessions_;    // registration order; not owned
  std::vector<TStrataSession*> owned_;       // created by OpenSession
  std::vector<TStrataDatabase*> databases_;  // every database component
  TStrataSession* default_session_ = nullptr;
};

// Shorthands: the list and the default session.
TStrataSessionList& Sessions();
TStrataSession& DefaultSession();

}  // namespace strata
