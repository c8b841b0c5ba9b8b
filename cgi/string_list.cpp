#include "cgi/string_list.h"
#include "platform/letter_case.h"

namespace cgi {
bool SameText(std::string_view a, std::string_view b) {
  return platform::SameTextIgnoringCase(a, b);
}

void TStringList::Delete(int index) { entries_.erase(entries_.begin() + index); }

int TStringList::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < entries_.size(); ++i) {
    size_t equals = entries_[i].find('=');
    if (equals == std::string::npos) continue;
    if (SameText(std::string_view(entries_[i]).substr(0, equals), name)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::string TStringList::Names(int index) const {
  const std::string& entry = entries_.at(index);
  size_t equals = entry.find('=');
  return equals == std::string::npos ? std::string() : entry.substr(0, equals);
}

std::string TStringList::Values(std::string_view name) const {
  int index = IndexOfName(name);
  if (index < 0) return std::string();
  return entries_[index].substr(name.size() + 1);
}

std::string TStringList::Text() const {
  std::string text;
  for (const std::string& entry : entries_) {
    text += entry;
    text += "\r\n";
  }
  return text;
}

void TStringList::SetText(std::string_view text) {
  entries_.clear();
  size_t end = text.find('\0');
  if (end != std::string_view::npos) text = text.substr(0, end);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t stop = text.find_first_of("\r\n", pos);
    if (stop == std::string_view::npos) stop = text.size();
    entries_.emplace_back(text.substr(pos, stop - pos));
    pos = stop;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  }
}

}  // namespace cgi
