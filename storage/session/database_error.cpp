#include "storage/session/database_error.h"

namespace strata {

void RaiseDatabaseError(std::string_view text, std::string_view name) {
  std::string message(text);
  if (auto at = message.find("%s"); at != std::string::npos) message.replace(at, 2, name);
  throw EDatabaseError(message);
}

}  // namespace strata
