#include "sql/query/strata_query.h"

namespace strata {

void TQueryLines::Clear() {
  lines_.clear();
  if (on_change_) on_change_();
}

void TQueryLines::Add(std::string line) {
  lines_.push_back(std::move(line));
  if (on_change_) on_change_();
}

std::string TQueryLines::Text() const {
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace strata
