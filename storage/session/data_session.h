// TDataSession: the engine side of a session. It owns the settings handed to
// every table file it opens, the process's current directory at creation
// (where databases without a directory live), the private directory for
// temporary tables, the open directory objects and the table passwords the
// session knows. Directory objects keep their session alive.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "storage/engine_settings.h"

namespace strata {

class TDataDirectory;

inline constexpr std::string_view kMemoryDatabaseName = "Memory";

class TDataSession : public std::enable_shared_from_this<TDataSession> {
 public:
  static std::shared_ptr<TDataSession> Create();
  // The process-wide engine session, used by the "Default" session.
  static std::shared_ptr<TDataSession> ProcessSession();
  ~TDataSession();

  // Settings handed to every table opened in this session. The lock
  // settings reach open tables at once; the files take their cache limits
  // when they open.
  TEngineSettings& Settings() { return *settings_; }
  std::shared_ptr<const TEngineSettings> SharedSettings() const { return settings_; }

  // The process's current directory when the session was created, with a
  // trailing '/'.
  const std::string& CurrentDirectory() const { return current_directory_; }
  // Where temporary tables go; empty sets the operating system's temporary
  // directory. Always carries a trailing '/'.
  const std::string& PrivateDirectory() const { return private_directory_; }
  void SetPrivateDirectory(std::string_view directory);

  // The directory object for a database: "Memory" (any letter case) is the
  // in-memory database; otherwise `directory` trimmed with a trailing '/',
  // or the current directory when empty. An open object with the same path
  // (letter case ignored) and kind is shared.
  std::shared_ptr<TDataDirectory> OpenDirectory(std::string_view database_name,
                                                std::string_view directory);
  // The directory object of the private directory (temporary tables).
  std::shared_ptr<TDataDirectory> OpenPrivateDirectory();
  // The directory objects open in this session.
  std::vector<TDataDirectory*> Directories() const;

  // Table passwords (exact, case-sensitive comparison).
  void AddPassword(const std::string& password);
  void RemovePassword(const std::string& password);
  void RemoveAllPasswords();
  bool HasPassword(const std::string& password) const;
  std::vector<std::string> Passwords() const;
  // Asked when an encrypted table is opened without its password in the
  // list: returns true when it may have added passwords and the list should
  // be searched again.
  std::function<bool(const std::string& table_name)> PasswordRequest;

 private:
  TDataSession();
  friend class TDataDirectory;
  void ForgetDirectory(TDataDirectory* directory);

  std::shared_ptr<TEngineSettings> settings_;
  std::string current_directory_;
  std::string private_directory_;
  mutable std::mutex mutex_;
  std::vector<TDataDirectory*> directories_;  // open, not owned
  std::vector<std::string> passwords_;
};

}  // namespace strata
