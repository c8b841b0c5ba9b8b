#include "sql/query/fields.h"

#include <charconv>
#include <limits>

#include "platform/windows1252.h"
#include "sql/query/strata_dataset.h"
#include "storage/record/convert_error.h"

namespace strata {
namespace {

using namespace platform::literals;

[[noreturn]] void RaiseNotAnInteger(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' ist kein gültiger Integerwert"_w1252);
}

// A value of a 32-bit integer property; wider values do not fit.
int32_t ToInt32(int64_t value) {
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    RaiseNotAnInteger(std::to_string(value));
  }
  return static_cast<int32_t>(value);
}

}  // namespace

TField::TField(TStrataDataSet& dataset, uint16_t field_number, std::string name)
    : dataset_(dataset), field_number_(field_number), name_(std::move(name)) {}

TField::~TField() = default;

bool TField::IsNull() const { return dataset_.FieldIsNull(field_number_); }

int32_t TField::AsInteger() const {
  const std::optional<std::string> text = dataset_.FieldText(field_number_);
  if (!text || text->empty()) return 0;
  // Blanks around the digits are allowed, as a number text is read.
  size_t begin = text->find_first_not_of(' ');
  size_t end = text->find_last_not_of(' ');
  if (begin == std::string::npos) RaiseNotAnInteger(*text);
  const char* first = text->data() + begin;
  const char* last = text->data() + end + 1;
  if (*first == '+') ++first;
  int64_t value = 0;
  const auto [ptr, error] = std::from_chars(first, last, value);
  if (error != std::errc() || ptr != last) RaiseNotAnInteger(*text);
  return ToInt32(value);
}

std::string TField::AsString() const { return dataset_.FieldText(field_number_).value_or(""); }

int32_t TIntegerField::AsInteger() const {
  const std::optional<int64_t> value = dataset_.FieldInteger(field_number_);
  return value ? ToInt32(*value) : 0;
}

std::string TIntegerField::AsString() const {
  const std::optional<int64_t> value = dataset_.FieldInteger(field_number_);
  return value ? std::to_string(*value) : std::string();
}

void TBlobField::SaveToStream(std::string& stream) const {
  stream += dataset_.FieldBlob(field_number_);
}

}  // namespace strata
