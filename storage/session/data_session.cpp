#include "storage/session/data_session.h"

#include <algorithm>

#include "platform/file.h"
#include "storage/session/data_directory.h"
#include "storage/engine_names.h"

namespace strata {

TDataSession::TDataSession()
    : settings_(std::make_shared<TEngineSettings>()),
      current_directory_(NormalizeDirectory(platform::CurrentDirectory())),
      private_directory_(NormalizeDirectory(platform::TempDirectory())) {}

TDataSession::~TDataSession() = default;

std::shared_ptr<TDataSession> TDataSession::Create() {
  return std::shared_ptr<TDataSession>(new TDataSession());
}

std::shared_ptr<TDataSession> TDataSession::ProcessSession() {
  // Never destroyed: tables may still be open while the process exits.
  static auto* session = new std::shared_ptr<TDataSession>(Create());
  return *session;
}

void TDataSession::SetPrivateDirectory(std::string_view directory) {
  std::string path = NormalizeDirectory(directory);
  private_directory_ = path.empty() ? NormalizeDirectory(platform::TempDirectory()) : path;
}

std::shared_ptr<TDataDirectory> TDataSession::OpenDirectory(std::string_view database_name,
                                                            std::string_view directory) {
  const bool in_memory = SameName(database_name, kMemoryDatabaseName);
  std::string path = NormalizeDirectory(directory);
  if (path.empty() && !in_memory) path = current_directory_;
  std::lock_guard lock(mutex_);
  for (TDataDirectory* open : directories_) {
    if (open->InMemory() == in_memory && SameName(open->Path(), path)) {
      // A directory whose last user is going right now cannot be shared.
      if (auto shared = open->weak_from_this().lock()) return shared;
    }
  }
  auto created = std::make_shared<TDataDirectory>(shared_from_this(), path, in_memory);
  directories_.push_back(created.get());
  return created;
}

std::shared_ptr<TDataDirectory> TDataSession::OpenPrivateDirectory() {
  return OpenDirectory("", private_directory_);
}

std::vector<TDataDirectory*> TDataSession::Directories() const {
  std::lock_guard lock(mutex_);
  return directories_;
}

void TDataSession::ForgetDirectory(TDataDirectory* directory) {
  std::lock_guard lock(mutex_);
  std::erase(directories_, directory);
}

void TDataSession::AddPassword(const std::string& password) {
  std::lock_guard lock(mutex_);
  if (std::find(passwords_.begin(), passwords_.end(), password) == passwords_.end()) {
    passwords_.push_back(password);
  }
}

void TDataSession::RemovePassword(const std::string& password) {
  std::lock_guard lock(mutex_);
  std::erase(passwords_, password);
}

void TDataSession::RemoveAllPasswords() {
  std::lock_guard lock(mutex_);
  passwords_.clear();
}

bool TDataSession::HasPassword(const std::string& password) const {
  std::lock_guard lock(mutex_);
  return std::find(passwords_.begin(), passwords_.end(), password) != passwords_.end();
}

std::vector<std::string> TDataSession::Passwords() const {
  std::lock_guard lock(mutex_);
  return passwords_;
}

}  // namespace strata
