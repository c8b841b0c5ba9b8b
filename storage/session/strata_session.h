// TStrataSession: the session component. It carries the engine settings
// (lock retries and wait, lock protocol, buffer flushing, change detection,
// private directory), owns while active an engine session (TDataSession) to
// which it hands them, and knows the databases connected through it.
// Setting Active starts the default session first; a failure part-way leaves
// the session inactive. Only local sessions are served.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "storage/engine_settings.h"

namespace strata {

class TDataSession;
class TStrataDatabase;
class TStrataSessionList;

enum TStrataSessionType { stLocal, stRemote };
enum TRemoteType { rtLAN, rtInternet };

inline constexpr std::string_view kEngineVersion = "3.15";

class TStrataSession {
 public:
  TStrataSession();   // registers in the session list
  ~TStrataSession();  // stops the session and leaves the list
  TStrataSession(const TStrataSession&) = delete;
  TStrataSession& operator=(const TStrataSession&) = delete;

  // Published properties ----------------------------------------------------
  bool Active() const { return active_; }
  void SetActive(bool active);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  bool AutoSessionName() const { return auto_session_name_; }
  void SetAutoSessionName(bool value);
  bool ForceBufferFlush() const { return settings_.ForceBufferFlush; }
  void SetForceBufferFlush(bool value);
  bool KeepConnections() const { return keep_connections_; }
  void SetKeepConnections(bool value) { keep_connections_ = value; }
  uint8_t LockRetryCount() const { return settings_.LockRetryCount; }
  void SetLockRetryCount(uint8_t value);
  uint16_t LockWaitTime() const { return settings_.LockWaitTime; }
  void SetLockWaitTime(uint16_t value);
  TLockProtocol LockProtocol() const { return settings_.LockProtocol; }
  void SetLockProtocol(TLockProtocol value);
  // Empty means the operating system's temporary directory.
  const std::string& PrivateDir() const { return private_dir_; }
  void SetPrivateDir(std::string_view value);
  uint16_t ProgressSteps() const { return settings_.ProgressSteps; }
  void SetProgressSteps(uint16_t value);
  const std::string& SessionName() const { return session_name_; }
  // Only while inactive; 'Session name %s already exists.' on a clash.
  void SetSessionName(std::string_view value);
  bool StrictChangeDetection() const { return settings_.StrictChangeDetection; }
  void SetStrictChangeDetection(bool value);
  // Tables kept open between uses stay in use (see
  // TEngineSettings::HoldIdleTables); off by default.
  bool HoldIdleTables() const { return settings_.HoldIdleTables; }
  void SetHoldIdleTables(bool value);
  TStrataSessionType SessionType() const { return session_type_; }
  void SetSessionType(TStrataSessionType value);
  // Always "3.15"; setting it does nothing.
  std::string EngineVersion() const { return std::string(kEngineVersion); }
  void SetEngineVersion(std::string_view) {}

  // Called when the session starts.
  std::function<void(TStrataSession& sender)> OnStartup;
  // Asked for a table password when an encrypted table is opened without
  // one: the handler adds passwords (AddPassword) and sets `retry` to have
  // the list searched again.
  std::function<void(TStrataSession& sender, bool& retry)> OnPassword;

  // Remote-session properties: stored only (remote sessions are refused).
  TRemoteType RemoteType = rtLAN;
  std::string RemoteHost;
  std::string RemoteAddress = "127.0.0.1";
  int RemotePort = 12005;
  std::string RemoteService;
  bool RemoteTrace = false;
  std::string RemoteUser;
  std::string RemotePassword;
  std::function<void(TStrataSession& sender, std::string& user, std::string& password,
                     bool& continue_login)>
      OnRemoteLogin;
  std::function<void(TStrataSession& sender, const std::string& message)> OnRemoteTrace;

  // Loading from a stored definition: between these calls Active is only
  // recorded; EndLoading applies AutoSessionName and then Active.
  void BeginLoading();
  void EndLoading();
  bool Loading() const { return loading_; }

  // Buffer limits handed to the engine session (not published; always the
  // defaults).
  const TEngineSettings& EngineSettings() const { return settings_; }

  // Passwords (exact comparison); kept while inactive too.
  void AddPassword(const std::string& password);
  void RemovePassword(const std::string& password);
  void RemoveAllPasswords();
  const std::vector<std::string>& Passwords() const { return passwords_; }

  // Databases --------------------------------------------------------------
  // The database component with this name belonging to this session
  // (connected or not), nullptr when none.
  TStrataDatabase* FindDatabase(std::string_view name) const;
  // Finds the database by name (or creates a temporary one owned by the
  // session whose directory is the name) and connects it.
  TStrataDatabase& OpenDatabase(std::string_view name);
  // Disconnects a database; a temporary one is freed.
  void CloseDatabase(TStrataDatabase& database);
  // The databases connected through this session.
  std::vector<TStrataDatabase*> Databases() const { return databases_; }

  bool IsDefault() const;
  // The engine session; only while active.
  TDataSession& Handle() const;
  std::shared_ptr<TDataSession> SharedHandle() const { return engine_; }

 private:
  friend class TStrataSessionList;
  friend class TStrataDatabase;
  struct DefaultTag {};
  TStrataSession(TStrataSessionList& list, DefaultTag);
  void Start();
  void Stop();
  void CheckInactive() const;
  void PassSettings();
  void AddDatabase(TStrataDatabase* database);
  void RemoveDatabase(TStrataDatabase* database);

  TStrataSessionList& list_;
  bool active_ = false;
  bool loading_ = false;
  bool stream_active_ = false;  // Active recorded while loading
  bool auto_session_name_ = false;
  bool keep_connections_ = true;
  std::string private_dir_;
  std::string session_name_;
  TStrataSessionType session_type_ = stLocal;
  TEngineSettings settings_;
  std::vector<std::string> passwords_;
  std::shared_ptr<TDataSession> engine_;
  std::vector<TStrataDatabase*> databases_;                    // connected through us
  std::vector<std::unique_ptr<TStrataDatabase>> temporaries_;  // created by OpenDatabase
};

}  // namespace strata
