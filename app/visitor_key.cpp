#include "app/visitor_key.h"

#include "platform/letter_case.h"
#include "app/mk_html.h"

namespace banner {

std::string VisitorKey(const std::string& remote_addr, const std::string& user_agent) {
  std::string key = platform::AsciiLowerCase(FirstpartIP(remote_addr) + user_agent);
  if (key.size() > kVisitorKeyWidth) key.resize(kVisitorKeyWidth);
  while (!key.empty() && key.back() == ' ') key.pop_back();
  return key;
}

}  // namespace banner
