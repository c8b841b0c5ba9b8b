// The field list: an ordered list of byte strings, one per field, each of the
// form name=value, as every producer and consumer of request fields uses it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cgi {

// Entries keep their order and may repeat. An entry's name is the text before
// its first "=", its value the text after it (further "=" included); an entry
// without "=" has no name and is never found by name. Names compare without
// regard to letter case (Windows-1252 case rules), and the first match wins.
class TStringList {
 public:
  TStringList() = default;

  int Count() const { return static_cast<int>(entries_.size()); }
  const std::string& operator[](int index) const { return entries_.at(index); }
  std::string& operator[](int index) { return entries_.at(index); }
  void Add(std::string entry) { entries_.push_back(std::move(entry)); }
  void Delete(int index);
  void Clear() { entries_.clear(); }

  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

  // Index of the first entry with this name; -1 when there is none.
  int IndexOfName(std::string_view name) const;
  // The name of entry `index`: the text before its first "=", "" without one.
  std::string Names(int index) const;
  // The value of the first entry with this name; "" when there is none.
  std::string Values(std::string_view name) const;

  // Text form: every entry followed by CR LF.
  std::string Text() const;
  // Replaces the entries by the lines of `text`: a line ends at CR, LF or
  // CR LF (one break), empty lines are kept, and a NUL byte ends the text.
  void SetText(std::string_view text);

  bool operator==(const TStringList& other) const = default;

 private:
  std::vector<std::string> entries_;
};

// Whether two texts are equal without regard to letter case (Windows-1252:
// ASCII letters and the accented Latin letters).
bool SameText(std::string_view a, std::string_view b);

}  // namespace cgi
