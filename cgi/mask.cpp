#include "cgi/mask.h"

#include "cgi/errors.h"
#include "platform/letter_case.h"
#include "platform/windows1252.h"

namespace cgi {

using namespace platform::literals;

namespace {

constexpr int kMaxAnyRuns = 30;

unsigned char Upper(char c) { return static_cast<unsigned char>(platform::AsciiUpper(c)); }

[[noreturn]] void InvalidMask(const std::string& pattern, size_t position) {
  throw EMaskException("'" + pattern + "' ist eine ungültige Maske für ("_w1252 +
                       std::to_string(position) + ")");
}

}  // namespace

TMask::TMask(const std::string& pattern) {
  int any_runs = 0;
  size_t i = 0;
  while (i < pattern.size()) {
    char c = pattern[i];
    if (c == '*') {
      if (++any_runs > kMaxAnyRuns) InvalidMask(pattern, i + 1);
      if (steps_.empty() || steps_.back().kind != Kind::kAnyRun) steps_.push_back({Kind::kAnyRun});
      ++i;
      while (i < pattern.size() && pattern[i] == '?') ++i;  // adds nothing after "*"
    } else if (c == '?') {
      steps_.push_back({Kind::kAnyOne});
      ++i;
    } else if (c == '[') {
      Step step{Kind::kSet};
      ++i;
      if (i < pattern.size() && pattern[i] == '!') {
        step.negate = true;
        ++i;
      }
      bool have_start = false;
      unsigned char start = 0;
      while (i < pattern.size() && pattern[i] != ']') {
        bool is_range = pattern[i] == '-' && i + 1 < pattern.size() && pattern[i + 1] != ']';
        if (is_range) {
          if (!have_start) InvalidMask(pattern, i + 1);  // a range without a start
          unsigned char last = Upper(pattern[i + 1]);
          for (unsigned v = start; v <= last; ++v) step.set.set(v);
          have_start = false;
          i += 2;
        } else {
          start = Upper(pattern[i]);
          step.set.set(start);
          have_start = true;
          ++i;
        }
      }
      if (i >= pattern.size()) InvalidMask(pattern, i + 1);  // unclosed
      if (step.set.none()) InvalidMask(pattern, i + 1);      // empty set
      steps_.push_back(step);
      ++i;
    } else {
      Step step{Kind::kLiteral};
      step.literal = static_cast<char>(Upper(c));
      steps_.push_back(step);
      ++i;
    }
  }
}

bool TMask::Matches(const std::string& text) const {
  // Greedy scan that falls back to the last "*" on a mismatch; every other
  // step takes exactly one character.
  size_t t = 0, s = 0;
  size_t star_step = std::string::npos, star_text = 0;
  while (t < text.size()) {
    if (s < steps_.size() && steps_[s].kind == Kind::kAnyRun) {
      star_step = s++;
      star_text = t;
      continue;
    }
    if (s < steps_.size()) {
      const Step& step = steps_[s];
      unsigned char c = Upper(text[t]);
      bool ok = step.kind == Kind::kAnyOne ||
                (step.kind == Kind::kLiteral && static_cast<unsigned char>(step.literal) == c) ||
                (step.kind == Kind::kSet && step.set.test(c) != step.negate);
      if (ok) {
        ++s;
        ++t;
        continue;
      }
    }
    if (star_step == std::string::npos) return false;
    s = star_step + 1;
    t = ++star_text;
  }
  while (s < steps_.size() && steps_[s].kind == Kind::kAnyRun) ++s;
  return s == steps_.size();
}

}  // namespace cgi
