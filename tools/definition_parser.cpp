#include "tools/definition_parser.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/letter_case.h"

namespace strata_tool {
namespace {

using strata::TFieldDescriptor;

struct TypeWord {
  std::string_view word;
  uint8_t code;
  uint8_t subtype;
  bool sized;  // takes "(N)": declared size, or decimals for bcd
};

constexpr TypeWord kTypes[] = {
    {"string", strata::fldZSTRING, strata::fldstNONE, true},
    {"fixed", strata::fldZSTRING, strata::fldstFIXED, true},
    {"bytes", strata::fldBYTES, strata::fldstNONE, true},
    {"varbytes", strata::fldVARBYTES, strata::fldstNONE, true},
    {"bcd", strata::fldBCD, strata::fldstNONE, true},
    {"date", strata::fldDATE, strata::fldstNONE, false},
    {"time", strata::fldTIME, strata::fldstNONE, false},
    {"timestamp", strata::fldTIMESTAMP, strata::fldstNONE, false},
    {"boolean", strata::fldBOOL, strata::fldstNONE, false},
    {"smallint", strata::fldINT16, strata::fldstNONE, false},
    {"integer", strata::fldINT32, strata::fldstNONE, false},
    {"autoinc", strata::fldINT32, strata::fldstAUTOINC, false},
    {"float", strata::fldFLOAT, strata::fldstNONE, false},
    {"money", strata::fldFLOAT, strata::fldstMONEY, false},
    {"word", strata::fldUINT16, strata::fldstNONE, false},
    {"largeint", strata::fldINT64, strata::fldstNONE, false},
    {"blob", strata::fldBLOB, strata::fldstNONE, false},
    {"memo", strata::fldBLOB, strata::fldstMEMO, false},
    {"fmtmemo", strata::fldBLOB, strata::fldstFMTMEMO, false},
    {"graphic", strata::fldBLOB, strata::fldstGRAPHIC, false},
    {"typedbinary", strata::fldBLOB, strata::fldstTYPEDBINARY, false},
};

// Splits at `separator`; an option's text may itself hold the separator
// only after "=" (default=12:30 keeps its colon).
std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == separator) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// Field options: everything after the type. "default=", "min=" and "max="
// take the rest of the text up to the next ":option" that is a known word or
// another key=value, so that times such as 12:30 survive.
std::vector<std::string> SplitOptions(std::string_view rest) {
  static constexpr std::string_view kWords[] = {"required", "upper", "lower"};
  static constexpr std::string_view kKeys[] = {"default=", "min=", "max=", "description="};
  std::vector<std::string> options;
  for (std::string_view part : Split(rest, ':')) {
    bool starts_option = false;
    for (auto word : kWords) starts_option |= platform::SameAsciiIgnoringCase(part, word);
    for (auto key : kKeys) {
      starts_option |= part.size() >= key.size() &&
                       platform::SameAsciiIgnoringCase(part.substr(0, key.size()), key);
    }
    if (starts_option || options.empty()) {
      options.emplace_back(part);
    } else {
      options.back() += ':';
      options.back() += part;
    }
  }
  return options;
}

int ParseNumber(std::string_view text, std::string_view what) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > 65535) {
    throw DefinitionError("bad number '" + std::string(text) + "' in " + std::string(what));
  }
  return value;
}

const TFieldDescriptor& FieldByName(std::string_view name,
                                    const std::vector<TFieldDescriptor>& fields) {
  for (const TFieldDescriptor& field : fields) {
    if (platform::SameAsciiIgnoringCase(field.Name, name)) return field;
  }
  throw DefinitionError("no field named '" + std::string(name) + "'");
}

std::vector<uint16_t> KeyFields(std::string_view list,
                                const std::vector<TFieldDescriptor>& fields) {
  std::vector<uint16_t> numbers;
  for (std::string_view name : Split(list, ',')) {
    numbers.push_back(FieldByName(name, fields).FieldNumber);
  }
  return numbers;
}

}  // namespace

TFieldDescriptor ParseFieldDefinition(std::string_view text, uint16_t number) {
  size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) {
    throw DefinitionError("field '" + std::string(text) + "': write NAME:TYPE");
  }
  TFieldDescriptor field;
  field.FieldNumber = number;
  field.Name = std::string(text.substr(0, colon));
  std::string_view rest = text.substr(colon + 1);
  size_t type_end = rest.find(':');
  std::string_view type = rest.substr(0, type_end);
  std::string_view options = type_end == std::string_view::npos ? "" : rest.substr(type_end + 1);

  std::string_view argument;
  size_t paren = type.find('(');
  if (paren != std::string_view::npos) {
    if (type.back() != ')') throw DefinitionError("field '" + field.Name + "': unclosed '('");
    argument = type.substr(paren + 1, type.size() - paren - 2);
    type = type.substr(0, paren);
  }
  const TypeWord* word = nullptr;
  for (const TypeWord& candidate : kTypes) {
    if (platform::SameAsciiIgnoringCase(candidate.word, type)) word = &candidate;
  }
  if (word == nullptr) {
    throw DefinitionError("field '" + field.Name + "': unknown type '" + std::string(type) + "'");
  }
  field.TypeCode = word->code;
  field.SubType = word->subtype;
  if (word->sized) {
    if (argument.empty()) {
      throw DefinitionError("field '" + field.Name + "': " + std::string(word->word) +
                            " needs (N)");
    }
    int value = ParseNumber(argument, "field '" + field.Name + "'");
    if (value > 255) throw DefinitionError("field '" + field.Name + "': size above 255");
    if (field.TypeCode == strata::fldBCD) {
      field.Decimals = static_cast<uint8_t>(value);
    } else {
      field.DeclaredSize = static_cast<uint8_t>(value);
    }
  } else if (!argument.empty()) {
    throw DefinitionError("field '" + field.Name + "': " + std::string(word->word) +
                          " takes no size");
  }

  if (options.empty()) return field;
  for (const std::string& option : SplitOptions(options)) {
    std::string_view text = option;
    size_t equals = text.find('=');
    std::string_view key = text.substr(0, equals);
    std::string value =
        equals == std::string_view::npos ? "" : std::string(text.substr(equals + 1));
    if (platform::SameAsciiIgnoringCase(key, "required") && equals == std::string_view::npos) {
      field.Required = true;
    } else if (platform::SameAsciiIgnoringCase(key, "upper") && equals == std::string_view::npos) {
      field.CharCase = 2;
    } else if (platform::SameAsciiIgnoringCase(key, "lower") && equals == std::string_view::npos) {
      field.CharCase = 1;
    } else if (platform::SameAsciiIgnoringCase(key, "default") &&
               equals != std::string_view::npos) {
      field.DefaultValue = value;
    } else if (platform::SameAsciiIgnoringCase(key, "min") && equals != std::string_view::npos) {
      field.MinValue = value;
    } else if (platform::SameAsciiIgnoringCase(key, "max") && equals != std::string_view::npos) {
      field.MaxValue = value;
    } else if (platform::SameAsciiIgnoringCase(key, "description") &&
               equals != std::string_view::npos) {
      field.Description = value;
    } else {
      throw DefinitionError("field '" + field.Name + "': unknown option '" + option + "'");
    }
  }
  return field;
}

strata::TIndexDef ParsePrimaryDefinition(std::string_view text,
                                         const std::vector<TFieldDescriptor>& fields) {
  strata::TIndexDef index;
  index.Primary = true;
  index.Unique = true;
  if (!text.empty()) index.FieldNumbers = KeyFields(text, fields);
  return index;
}

strata::TIndexDef ParseIndexDefinition(std::string_view text,
                                       const std::vector<TFieldDescriptor>& fields) {
  std::vector<std::string_view> parts = Split(text, ':');
  if (parts.size() < 2 || parts[0].empty() || parts[1].empty()) {
    throw DefinitionError("index '" + std::string(text) +
                          "': write NAME:FIELD[,FIELD...][:OPTION]");
  }
  strata::TIndexDef index;
  index.Name = std::string(parts[0]);
  index.FieldNumbers = KeyFields(parts[1], fields);
  for (size_t i = 2; i < parts.size(); ++i) {
    if (platform::SameAsciiIgnoringCase(parts[i], "unique")) {
      index.Unique = true;
    } else if (platform::SameAsciiIgnoringCase(parts[i], "desc")) {
      index.Descending = true;
    } else if (platform::SameAsciiIgnoringCase(parts[i], "nocase")) {
      index.CaseInsensitive = true;
    } else {
      throw DefinitionError("index '" + index.Name + "': unknown option '" + std::string(parts[i]) +
                            "'");
    }
  }
  return index;
}

std::string TypeText(const TFieldDescriptor& field) {
  for (const TypeWord& word : kTypes) {
    if (word.code != field.TypeCode || word.subtype != field.SubType) continue;
    std::string text(word.word);
    if (field.TypeCode == strata::fldBCD) {
      text += "(" + std::to_string(field.Decimals) + ")";
    } else if (word.sized) {
      text += "(" + std::to_string(field.DeclaredSize) + ")";
    }
    return text;
  }
  return "code " + std::to_string(field.TypeCode) + "/" + std::to_string(field.SubType);
}

}  // namespace strata_tool
