// Locale-aware comparison and case mapping over ICU, reached on first need
// (icu.h). US English ASCII text is served by built-in tables without ICU.
//
// The functions are called through icu::Api only, so the headers serve for
// types and constants; renaming is turned off to keep their declarations
// unversioned and unreferenced.
#define U_DISABLE_RENAMING 1
#define U_SHOW_CPLUSPLUS_API 0

#include "platform/nls.h"

#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <array>
#include <climits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

#include "platform/icu.h"
#include "platform/letter_case.h"

namespace platform::nls {

namespace {

// ---------------------------------------------------------------------------
// Windows-1252 (the code points of its bytes: windows1252.h)

bool IsAscii(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

// A Windows-1252 text in UTF-16, one code unit per byte; short texts (all
// that the engine stores) stay on the stack.
class Utf16Text {
 public:
  explicit Utf16Text(std::string_view text) {
    if (text.size() > static_cast<size_t>(INT32_MAX)) throw std::length_error("text too long");
    if (text.size() > inline_.size()) heap_.resize(text.size());
    data_ = text.size() > inline_.size() ? heap_.data() : inline_.data();
    size_ = static_cast<int32_t>(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      data_[i] = Windows1252ToUnicode(static_cast<uint8_t>(text[i]));
    }
  }
  Utf16Text(const Utf16Text&) = delete;
  Utf16Text& operator=(const Utf16Text&) = delete;
  const UChar* data() const { return data_; }
  int32_t size() const { return size_; }

 private:
  std::array<UChar, 256> inline_;
  std::u16string heap_;
  UChar* data_;
  int32_t size_;
};

// ---------------------------------------------------------------------------
// US English ASCII tables

// Primary weight of each ASCII character in ICU's root order (which US
// English uses unchanged) with punctuation non-ignorable: 0 for the control
// characters that ICU ignores completely, equal weights for a letter's two
// cases. The unit test checks this table against ICU itself.
constexpr std::array<uint8_t, 128> kAsciiPrimary = {
    0,  0,  0,  0,  0,  0,  0,  0,  0,  1,  2,  3,  4,  5,  0,  0,   // 00..0F
    0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,   // 10..1F
    6,  12, 16, 28, 38, 29, 27, 15, 17, 18, 24, 32, 9,  8,  14, 25,  //  !"#$%&'()*+,-./
    39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 11, 10, 33, 34, 35, 13,  // 0123456789:;<=>?
    23, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63,  // @ABCDEFGHIJKLMNO
    64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 19, 26, 20, 31, 7,   // PQRSTUVWXYZ[\]^_
    30, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 62, 63,  // `abcdefghijklmno
    64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 21, 36, 22, 37, 0,   // pqrstuvwxyz{|}~
};

bool IsAsciiUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }

// The collation of pure ASCII text in US English, as ICU's collator does it:
// first the sequence of primary weights (ignored characters skipped, a
// prefix sorting first), then, when case counts, the case of each character
// in turn, lower before upper.
int CompareAscii(std::string_view a, std::string_view b, bool ignore_case) {
  size_t i = 0, j = 0;
  for (;;) {
    while (i < a.size() && kAsciiPrimary[static_cast<unsigned char>(a[i])] == 0) ++i;
    while (j < b.size() && kAsciiPrimary[static_cast<unsigned char>(b[j])] == 0) ++j;
    if (i == a.size() || j == b.size()) {
      if (i != a.size()) return 1;
      if (j != b.size()) return -1;
      break;
    }
    const int wa = kAsciiPrimary[static_cast<unsigned char>(a[i])];
    const int wb = kAsciiPrimary[static_cast<unsigned char>(b[j])];
    if (wa != wb) return wa < wb ? -1 : 1;
    ++i;
    ++j;
  }
  if (ignore_case) return 0;
  // Same primary weights at the same places: the case level decides.
  i = j = 0;
  for (;;) {
    while (i < a.size() && kAsciiPrimary[static_cast<unsigned char>(a[i])] == 0) ++i;
    while (j < b.size() && kAsciiPrimary[static_cast<unsigned char>(b[j])] == 0) ++j;
    if (i == a.size()) return 0;  // both end together after the primary pass
    const bool upper_a = IsAsciiUpper(static_cast<unsigned char>(a[i]));
    const bool upper_b = IsAsciiUpper(static_cast<unsigned char>(b[j]));
    if (upper_a != upper_b) return upper_a ? 1 : -1;
    ++i;
    ++j;
  }
}

std::string MapAscii(std::string_view text, bool upper) {
  return upper ? AsciiUpperCase(text) : AsciiLowerCase(text);
}

// Language id 0 stands for US English.
uint32_t Normalize(uint32_t locale_id) {
  return (locale_id & 0xFFFF) == 0 ? (locale_id | kUsEnglish) : locale_id;
}

bool IsUsEnglish(uint32_t normalized_id) { return normalized_id == kUsEnglish; }

// ---------------------------------------------------------------------------
// ICU, reached on first need

using IcuApi = icu::Api;

std::once_flag icu_once;
const IcuApi* icu_api = nullptr;  // set once; never freed

void OpenIcu() { icu_api = icu::Open(); }

const IcuApi* Icu() {
  std::call_once(icu_once, OpenIcu);
  return icu_api;
}

// What one locale id needs from ICU. Built once under the cache's mutex and
// never freed; `installed` false means ICU cannot serve the id.
struct LocaleData {
  bool installed = false;
  std::string icu_locale;
  UCollator* case_sensitive = nullptr;
  UCollator* ignore_case = nullptr;  // opened on first use
  std::array<uint8_t, 256> upper{};
  std::array<uint8_t, 256> lower{};
};

// Opens the collator of string sort: primary strength with the case level
// (accents never count, case only after every letter), punctuation and
// symbols compared as characters rather than ignored.
UCollator* OpenCollator(const IcuApi& api, const std::string& locale, bool with_case) {
  UErrorCode status = U_ZERO_ERROR;
  UCollator* collator = api.ucol_open(locale.c_str(), &status);
  if (U_FAILURE(status)) return nullptr;
  api.ucol_setAttribute(collator, UCOL_STRENGTH, UCOL_PRIMARY, &status);
  api.ucol_setAttribute(collator, UCOL_CASE_LEVEL, with_case ? UCOL_ON : UCOL_OFF, &status);
  api.ucol_setAttribute(collator, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
  if (U_FAILURE(status)) {
    api.ucol_close(collator);
    return nullptr;
  }
  return collator;
}

// The single Windows-1252 byte that `byte` maps to in the locale, or `byte`
// itself when the mapping is several characters or none Windows-1252 has.
uint8_t MapByte(const IcuApi& api, const std::string& locale, uint8_t byte, bool upper) {
  const UChar source = Windows1252ToUnicode(byte);
  UChar mapped[4];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = upper ? api.u_strToUpper(mapped, 4, &source, 1, locale.c_str(), &status)
                               : api.u_strToLower(mapped, 4, &source, 1, locale.c_str(), &status);
  uint8_t result = byte;
  if (U_SUCCESS(status) && length == 1 && UnicodeToWindows1252(mapped[0], &result)) return result;
  return byte;
}

std::unique_ptr<LocaleData> BuildLocale(uint32_t normalized_id) {
  auto data = std::make_unique<LocaleData>();
  const IcuApi* api = Icu();
  if (api == nullptr) return data;
  char name[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = api->uloc_getLocaleForLCID(normalized_id, name, sizeof(name) - 1, &status);
  if (U_FAILURE(status) || length <= 0) return data;
  data->icu_locale.assign(name, static_cast<size_t>(length));
  data->case_sensitive = OpenCollator(*api, data->icu_locale, true);
  if (data->case_sensitive == nullptr) return data;
  for (int b = 0; b < 256; ++b) {
    data->upper[b] = MapByte(*api, data->icu_locale, static_cast<uint8_t>(b), true);
    data->lower[b] = MapByte(*api, data->icu_locale, static_cast<uint8_t>(b), false);
  }
  data->installed = true;
  return data;
}

// The per-locale cache; deliberately never destroyed, so that no collator is
// closed while ICU may be going away at exit.
struct Cache {
  std::mutex mutex;
  std::unordered_map<uint32_t, std::unique_ptr<LocaleData>> locales;
};

Cache& TheCache() {
  static Cache* cache = new Cache;
  return *cache;
}

// The data of an installed locale; throws when ICU cannot serve it. With
// `need_ignore_case` the case-blind collator is opened too.
const LocaleData& Locale(uint32_t normalized_id, bool need_ignore_case = false) {
  Cache& cache = TheCache();
  std::lock_guard guard(cache.mutex);
  auto& slot = cache.locales[normalized_id];
  if (!slot) slot = BuildLocale(normalized_id);
  if (!slot->installed) {
    throw std::runtime_error("locale " + std::to_string(normalized_id) + " is not installed");
  }
  if (need_ignore_case && slot->ignore_case == nullptr) {
    slot->ignore_case = OpenCollator(*Icu(), slot->icu_locale, false);
    if (slot->ignore_case == nullptr) {
      throw std::runtime_error("no collator for locale " + std::to_string(normalized_id));
    }
  }
  return *slot;
}

int CompareWithCollator(const UCollator* collator, std::string_view a, std::string_view b) {
  const Utf16Text ua(a), ub(b);
  const UCollationResult result =
      icu_api->ucol_strcoll(collator, ua.data(), ua.size(), ub.data(), ub.size());
  return result == UCOL_LESS ? -1 : result == UCOL_GREATER ? 1 : 0;
}

int Compare(uint32_t locale_id, std::string_view a, std::string_view b, bool ignore_case,
            bool allow_fast_path) {
  const uint32_t id = Normalize(locale_id);
  if (allow_fast_path && IsUsEnglish(id) && IsAscii(a) && IsAscii(b)) {
    return CompareAscii(a, b, ignore_case);
  }
  const LocaleData& data = Locale(id, ignore_case);
  return CompareWithCollator(ignore_case ? data.ignore_case : data.case_sensitive, a, b);
}

std::string MapCase(uint32_t locale_id, std::string_view text, bool upper) {
  const uint32_t id = Normalize(locale_id);
  if (IsUsEnglish(id) && IsAscii(text)) return MapAscii(text, upper);
  const LocaleData& data = Locale(id);
  const auto& table = upper ? data.upper : data.lower;
  std::string result(text);
  for (char& c : result) c = static_cast<char>(table[static_cast<unsigned char>(c)]);
  return result;
}

}  // namespace

bool IsLocaleInstalled(uint32_t locale_id) {
  const uint32_t id = Normalize(locale_id);
  if (IsUsEnglish(id)) return true;
  Cache& cache = TheCache();
  std::lock_guard guard(cache.mutex);
  auto& slot = cache.locales[id];
  if (!slot) slot = BuildLocale(id);
  return slot->installed;
}

int CompareText(uint32_t locale_id, std::string_view a, std::string_view b) {
  return Compare(locale_id, a, b, false, true);
}

int CompareTextIgnoreCase(uint32_t locale_id, std::string_view a, std::string_view b) {
  return Compare(locale_id, a, b, true, true);
}

std::string ToUpper(uint32_t locale_id, std::string_view text) {
  return MapCase(locale_id, text, true);
}

std::string ToLower(uint32_t locale_id, std::string_view text) {
  return MapCase(locale_id, text, false);
}

bool IcuLoaded() { return icu::InUse(); }

int CompareTextWithIcu(uint32_t locale_id, std::string_view a, std::string_view b,
                       bool ignore_case) {
  return Compare(locale_id, a, b, ignore_case, false);
}

}  // namespace platform::nls
