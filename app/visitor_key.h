// The visitor key: what tells one visitor from another. The first two parts
// of the remote address followed directly by the whole user-agent text,
// lower-cased, as it is stored in and looked up from Visitor.request.
#pragma once

#include <string>

namespace banner {

// The width of Visitor.request: the longest text a string field stores.
inline constexpr size_t kVisitorKeyWidth = 250;

// The key of a request. A key is cut to kVisitorKeyWidth characters and
// loses trailing blanks, as the string field would store it, so that the key
// looked up always equals the key stored at the visit's first request.
std::string VisitorKey(const std::string& remote_addr, const std::string& user_agent);

}  // namespace banner
