// Fuzz target: any text as an expression at every place, resolved against a
// one-table source and evaluated over a record of zeros. Errors must be
// engine errors; nothing may crash, hang or trip a sanitizer.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sql/expr/exp_eval.h"
#include "sql/expr/exp_grammar.h"
#include "sql/expr/operand_types.h"
#include "sql/expr/table_rows.h"
#include "storage/engine_error.h"
#include "storage/record/convert_error.h"

namespace {

std::vector<strata::TFieldDescriptor> Fields() {
  using namespace strata;
  std::vector<TFieldDescriptor> fields;
  const uint8_t types[] = {fldINT32, fldZSTRING, fldFLOAT, fldDATE,   fldTIME, fldTIMESTAMP,
                           fldBOOL,  fldINT16,   fldINT64, fldUINT16, fldBCD};
  const char* names[] = {"I", "S", "F", "D", "T", "TS", "B", "SI", "L", "W", "N"};
  uint16_t offset = 9;
  for (size_t i = 0; i < std::size(types); ++i) {
    TFieldDescriptor field;
    field.FieldNumber = static_cast<uint16_t>(i + 1);
    field.Name = names[i];
    field.TypeCode = types[i];
    field.DeclaredSize = types[i] == fldZSTRING ? 20 : 0;
    const uint8_t sizes[] = {4, 21, 8, 4, 4, 8, 2, 2, 8, 2, 34};
    field.DataSize = sizes[i];
    field.Offset = offset;
    offset = static_cast<uint16_t>(offset + field.DataSize + 1);
    fields.push_back(field);
  }
  return fields;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace strata;
  static const std::vector<TFieldDescriptor> fields = Fields();
  static const std::vector<uint8_t> record(400, 0);
  const unsigned places[] = {kSelectItemPermissions, kWherePermissions, kHavingPermissions,
                             kValuePermissions, kColumnPermissions};
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (unsigned permissions : places) {
    try {
      TExpressionParser tokens(text);
      tokens.NextToken();
      if (tokens.AtEnd()) return 0;
      TExpTokenStack pool;
      TExpToken* root = ParseExpression(tokens, pool, permissions);
      TTableColumns columns("T", fields);
      ResolveExpression(*root, columns, TResolveOptions{});
      TRecordRows rows(fields, TRecordContext{});
      rows.Bind(record);
      TEvalContext context;
      context.Rows = &rows;
      Evaluate(*root, context);
    } catch (const EStrataEngineError&) {
    } catch (const EConvertError&) {
    }
  }
  return 0;
}
