// The engine's language table: the 99 language names a table can be created
// with, each mapped to the Windows language id stored in the data file header
// (primary language in the low 10 bits, sublanguage above), and the sort
// orders each language offers. The locale used for comparisons combines the
// language id with the table's sort id (sort id in bits 16 and up).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace strata {

struct TLanguageEntry {
  std::string_view Name;
  uint16_t LanguageId;
};

inline constexpr std::string_view kAnsiStandard = "ANSI Standard";
inline constexpr std::string_view kDefaultOrder = "Default Order";
inline constexpr std::string_view kGermanPhoneBookOrder = "German Phone Book Order";

// All 99 entries in table order ("ANSI Standard" first, id 0).
std::span<const TLanguageEntry> LanguageTable();

// The language id of a name, ignoring letter case; nullopt for an unknown name.
std::optional<uint16_t> LanguageIdByName(std::string_view name);
// The first name mapped to a language id; nullopt when none is.
std::optional<std::string_view> LanguageNameById(uint16_t language_id);

// The sort order names of a language: "Default Order", plus "German Phone
// Book Order" for the German entries. Empty for an unknown language.
std::vector<std::string_view> SortNames(std::string_view language_name);
// The sort id of a sort name of a language (both ignoring case); nullopt when
// the language does not offer it. Every sort name resolves to sort id 0.
std::optional<uint16_t> SortIdByName(std::string_view language_name, std::string_view sort_name);

// The locale a table's language id and sort id select: language id 0 ("ANSI
// Standard") means US English (1033) with sort id 0.
uint32_t TableLocaleId(uint16_t language_id, uint16_t sort_id);
// Whether the operating system can serve that locale (else the table is
// unusable: STRATA_CANNOTLOADLDDRV, 15878).
bool IsTableLocaleInstalled(uint16_t language_id, uint16_t sort_id);

}  // namespace strata
