#include "app/visitor_key.h"

#include <gtest/gtest.h>

namespace banner {
namespace {

TEST(VisitorKeyTest, AddressPrefixAndUserAgentLowerCased) {
  EXPECT_EQ(VisitorKey("192.168.10.20", "Mozilla/5.0 (X11; Linux)"),
            "192.168mozilla/5.0 (x11; linux)");
  // The same prefix from other full addresses, and another letter case of
  // the user agent, give the same key.
  EXPECT_EQ(VisitorKey("192.168.99.1", "MOZILLA/5.0 (x11; LINUX)"),
            "192.168mozilla/5.0 (x11; linux)");
  EXPECT_EQ(VisitorKey("::1", "curl/8.0"), "::1curl/8.0");
  EXPECT_EQ(VisitorKey("", ""), "");
  // Only ASCII letters change.
  EXPECT_EQ(VisitorKey("10.1.2.3", "\xC4gent \xC9"), "10.1\xC4gent \xC9");
}

TEST(VisitorKeyTest, LongKeysAreCutToTheColumnWidth) {
  const std::string agent(400, 'A');
  const std::string key = VisitorKey("10.1.2.3", agent);
  EXPECT_EQ(key.size(), kVisitorKeyWidth);
  EXPECT_EQ(key, "10.1" + std::string(kVisitorKeyWidth - 4, 'a'));
  // Two agents that differ only beyond the width share the key.
  EXPECT_EQ(VisitorKey("10.1.2.3", agent + "x"), key);
  // A cut that ends in blanks loses them, as the stored value does.
  const std::string blanks = std::string(244, 'b') + "      tail";
  EXPECT_EQ(VisitorKey("10.1.2.3", blanks), "10.1" + std::string(244, 'b'));
  EXPECT_EQ(VisitorKey("10.1.2.3", "agent  "), "10.1agent");
}

}  // namespace
}  // namespace banner
