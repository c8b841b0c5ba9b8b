// One table as the only source of an expression: TTableColumns resolves
// column names against its field descriptors, TRecordRows reads the fields
// of a bound record buffer. Table filters use both; so do tests.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "sql/expr/column_resolver.h"
#include "sql/expr/exp_eval.h"
#include "storage/record/field_descriptor.h"
#include "storage/record/record_context.h"

namespace strata {

// The fields of one table under one correlation name. Holds a reference to
// the field list, which must outlive it.
class TTableColumns : public TColumnResolver {
 public:
  TTableColumns(std::string correlation, const std::vector<TFieldDescriptor>& fields)
      : correlation_(std::move(correlation)), fields_(fields) {}

  int SourceCount() const override { return 1; }
  std::string_view CorrelationName(int) const override { return correlation_; }
  std::optional<TColumnInfo> FindColumn(int source, std::string_view column) const override;

 private:
  std::string correlation_;
  const std::vector<TFieldDescriptor>& fields_;
};

// The fields of one record buffer (source 0). A memo field is read through
// `blob_reader` when one is set (else it reads as NULL).
class TRecordRows : public TRowSource {
 public:
  using TBlobReader = std::function<bool(uint16_t field, std::string& out)>;

  TRecordRows(const std::vector<TFieldDescriptor>& fields, TRecordContext context);

  void Bind(std::span<const uint8_t> record) { record_ = record; }
  void SetBlobReader(TBlobReader reader) { blob_reader_ = std::move(reader); }
  bool ReadColumn(int source, uint16_t column, TExpValue& out) override;

 private:
  const std::vector<TFieldDescriptor>& fields_;
  std::vector<int> by_number_;  // field number -> index in fields_, -1 when none
  TRecordContext context_;
  std::span<const uint8_t> record_;
  TBlobReader blob_reader_;
};

}  // namespace strata
