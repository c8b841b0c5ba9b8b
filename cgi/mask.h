// File-name style patterns for the path info of action items.
#pragma once

#include <bitset>
#include <string>
#include <vector>

namespace cgi {

// A compiled pattern, matched against a whole text:
//   "*"  any run of characters, also none ("?" right after "*" adds nothing);
//   "?"  one character;
//   "[set]", "[!set]"  one character (not) in the set of characters and
//        ranges such as a-z;
//   any other character matches itself without regard to ASCII letter case.
// An empty pattern matches only an empty text. An unclosed "[", an empty set,
// a range without a start or more than 30 "*" make the pattern invalid: the
// constructor raises EMaskException "'<pattern>' ist eine ungültige Maske für
// (<position>)" with the 1-based position of the fault.
class TMask {
 public:
  explicit TMask(const std::string& pattern);
  bool Matches(const std::string& text) const;

 private:
  enum class Kind { kLiteral, kAnyOne, kAnyRun, kSet };
  struct Step {
    Kind kind;
    char literal = 0;      // upper case, for kLiteral
    std::bitset<256> set;  // upper-cased members, for kSet
    bool negate = false;   // for kSet
  };
  std::vector<Step> steps_;
};

}  // namespace cgi
