// EDatabaseError: the dataset layer's error for misuse of sessions and
// databases (as opposed to EStrataEngineError, which reports failures inside
// the engine). The message texts are fixed; "%s" placeholders take a name.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace strata {

class EDatabaseError : public std::runtime_error {
 public:
  explicit EDatabaseError(const std::string& message) : std::runtime_error(message) {}
};

// Message texts.
inline constexpr std::string_view kSessionNameMissing = "Session name is missing.";
inline constexpr std::string_view kDuplicateSessionName = "Session name %s already exists.";
inline constexpr std::string_view kInvalidSessionName = "Session name %s is not valid.";
inline constexpr std::string_view kSessionActive =
    "Cannot perform this operation on an active session.";
inline constexpr std::string_view kDatabaseNameMissing = "Database name is missing.";
inline constexpr std::string_view kInvalidDatabaseName = "Database name %s is not valid.";
inline constexpr std::string_view kDuplicateDatabaseName = "Database name %s already exists.";
inline constexpr std::string_view kDatabaseOpen =
    "Cannot perform this operation on an open database.";
inline constexpr std::string_view kDatabaseClosed =
    "Cannot perform this operation on a closed database.";
inline constexpr std::string_view kTransactionActive =
    "Database %s already has an active transaction.";
inline constexpr std::string_view kNoTransaction = "Database %s has no active transaction.";
inline constexpr std::string_view kSessionInactive = "Session %s is not active.";
inline constexpr std::string_view kRemoteSessionRefused =
    "Remote sessions are not supported; use a local session.";

// Raises EDatabaseError with `text`, its one "%s" (if any) replaced by `name`.
[[noreturn]] void RaiseDatabaseError(std::string_view text, std::string_view name = {});

}  // namespace strata
