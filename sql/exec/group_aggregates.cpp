#include "sql/exec/group_aggregates.h"

#include <cmath>
#include <cstring>
#include <optional>

#include "sql/expr/sql_error.h"
#include "storage/record/bcd.h"
#include "storage/record/field_value.h"

namespace strata {
namespace {

bool Blank(const TFieldDescriptor& field, std::span<const uint8_t> record) {
  return record[field.Offset] == 0;
}

// Flag byte and value of one field, from one record into another.
void CopyField(const TFieldDescriptor& field, std::span<uint8_t> to,
               std::span<const uint8_t> from) {
  std::memcpy(to.data() + field.Offset, from.data() + field.Offset, field.DataSize + 1u);
}

int64_t Sum(int64_t a, int64_t b, const TFieldDescriptor& field) {
  int64_t sum;
  if (__builtin_add_overflow(a, b, &sum)) {
    RaiseSqlError(FormatMessage("Numeric overflow in the aggregate column '%s'", {field.Name}));
  }
  return sum;
}

}  // namespace

TGroupAggregates::TGroupAggregates(std::span<const TFieldDescriptor> fields,
                                   std::span<const TShapeColumn> columns,
                                   const TRecordContext& context, uint32_t locale_id)
    : context_(context) {
  size_t key_size = 0;
  for (const TShapeColumn& shape : columns) {
    if (shape.Aggregate == TAggregateKind::kNone) continue;
    TColumn column;
    column.Field = &fields[shape.Field - 1];
    column.Kind = shape.Aggregate;
    if (shape.Aggregate == TAggregateKind::kAvg && shape.CountField > 0) {
      column.Count = &fields[shape.CountField - 1];
    }
    switch (column.Field->TypeCode) {
      case fldBOOL:
      case fldINT16:
      case fldINT32:
      case fldUINT16:
      case fldINT64:
      case fldDATE:
      case fldTIME:
        column.Number = TNumber::kInteger;
        break;
      case fldFLOAT:
      case fldTIMESTAMP:
        column.Number = TNumber::kFloat;
        break;
      case fldBCD:
        column.Number = TNumber::kBcd;
        break;
      default:
        column.Number = TNumber::kOther;
    }
    if (shape.Aggregate == TAggregateKind::kMin || shape.Aggregate == TAggregateKind::kMax) {
      const TSortColumn sort_column{shape.Field, false};
      column.Order =
          std::make_unique<TSortKeyFormat>(fields, std::span<const TSortColumn>(&sort_column, 1),
                                           false, locale_id, context.TableName);
      key_size = std::max(key_size, column.Order->KeySize());
    }
    columns_.push_back(std::move(column));
  }
  key_a_.resize(key_size);
  key_b_.resize(key_size);
}

TGroupAggregates::~TGroupAggregates() = default;

void TGroupAggregates::Merge(std::span<uint8_t> group, std::span<const uint8_t> member) {
  for (const TColumn& column : columns_) {
    switch (column.Kind) {
      case TAggregateKind::kSum:
      case TAggregateKind::kRunSum:
        Add(column, group, member);
        break;
      case TAggregateKind::kAvg:
        Add(column, group, member);
        if (column.Count) CountUp(*column.Count, group, member);
        break;
      case TAggregateKind::kCount:
        CountUp(*column.Field, group, member);
        break;
      case TAggregateKind::kMin:
      case TAggregateKind::kMax:
        KeepExtreme(column, group, member);
        break;
      case TAggregateKind::kNone:
        break;
    }
  }
}

void TGroupAggregates::Add(const TColumn& column, std::span<uint8_t> group,
                           std::span<const uint8_t> member) {
  const TFieldDescriptor& field = *column.Field;
  if (Blank(field, member)) return;
  if (Blank(field, group)) {
    CopyField(field, group, member);
    return;
  }
  switch (column.Number) {
    case TNumber::kInteger:
      SetFieldInt64(field, group,
                    Sum(*GetFieldInt64(field, group, context_),
                        *GetFieldInt64(field, member, context_), field),
                    context_);
      break;
    case TNumber::kFloat:
      SetFieldDouble(
          field, group,
          *GetFieldDouble(field, group, context_) + *GetFieldDouble(field, member, context_),
          context_);
      break;
    case TNumber::kBcd:
      SetFieldBcd(field, group,
                  TBcd::FromScaled(Sum(GetFieldBcd(field, group, context_)->ToScaled(),
                                       GetFieldBcd(field, member, context_)->ToScaled(), field)),
                  context_);
      break;
    case TNumber::kOther:
      break;  // not a number: the first value stays
  }
}

void TGroupAggregates::CountUp(const TFieldDescriptor& field, std::span<uint8_t> group,
                               std::span<const uint8_t> member) {
  const int64_t a = GetFieldInt64(field, group, context_).value_or(0);
  const int64_t b = GetFieldInt64(field, member, context_).value_or(0);
  SetFieldInt64(field, group, Sum(a, b, field), context_);
}

void TGroupAggregates::KeepExtreme(const TColumn& column, std::span<uint8_t> group,
                                   std::span<const uint8_t> member) {
  const TFieldDescriptor& field = *column.Field;
  if (Blank(field, member)) return;
  if (!Blank(field, group)) {
    column.Order->BuildKey(group.data(), key_a_.data());
    column.Order->BuildKey(member.data(), key_b_.data());
    const int r = column.Order->CompareColumns(key_b_.data(), key_a_.data());
    if (column.Kind == TAggregateKind::kMin ? r >= 0 : r <= 0) return;
  }
  CopyField(field, group, member);
}

void TGroupAggregates::Complete(std::span<uint8_t> group) {
  for (TColumn& column : columns_) {
    switch (column.Kind) {
      case TAggregateKind::kSum:
        if (Blank(*column.Field, group)) SetZero(column, group);
        break;
      case TAggregateKind::kRunSum:
        RunningSum(column, group);
        break;
      case TAggregateKind::kAvg:
        Average(column, group);
        break;
      default:
        break;
    }
  }
}

void TGroupAggregates::Average(const TColumn& column, std::span<uint8_t> group) {
  const TFieldDescriptor& field = *column.Field;
  const int64_t count =
      column.Count ? GetFieldInt64(*column.Count, group, context_).value_or(0) : 1;
  if (count <= 0 || Blank(field, group)) {
    SetZero(column, group);
    return;
  }
  switch (column.Number) {
    case TNumber::kInteger: {
      const double average =
          static_cast<double>(*GetFieldInt64(field, group, context_)) / static_cast<double>(count);
      SetFieldInt64(field, group, std::llround(average), context_);
      break;
    }
    case TNumber::kFloat:
      SetFieldDouble(field, group,
                     *GetFieldDouble(field, group, context_) / static_cast<double>(count),
                     context_);
      break;
    case TNumber::kBcd:
      SetFieldBcd(field, group,
                  TBcd::FromDouble(
                      GetFieldBcd(field, group, context_)->ToDouble() / static_cast<double>(count),
                      field.Decimals),
                  context_);
      break;
    case TNumber::kOther:
      break;
  }
}

void TGroupAggregates::RunningSum(TColumn& column, std::span<uint8_t> group) {
  const TFieldDescriptor& field = *column.Field;
  const bool blank = Blank(field, group);
  column.TotalBefore = column.Total;
  column.TotalFloatBefore = column.TotalFloat;
  switch (column.Number) {
    case TNumber::kInteger:
      if (!blank) column.Total = Sum(column.Total, *GetFieldInt64(field, group, context_), field);
      SetFieldInt64(field, group, column.Total, context_);
      break;
    case TNumber::kFloat:
      if (!blank) column.TotalFloat += *GetFieldDouble(field, group, context_);
      SetFieldDouble(field, group, column.TotalFloat, context_);
      break;
    case TNumber::kBcd:
      if (!blank)
        column.Total = Sum(column.Total, GetFieldBcd(field, group, context_)->ToScaled(), field);
      SetFieldBcd(field, group, TBcd::FromScaled(column.Total), context_);
      break;
    case TNumber::kOther:
      break;
  }
}

void TGroupAggregates::Drop() {
  for (TColumn& column : columns_) {
    column.Total = column.TotalBefore;
    column.TotalFloat = column.TotalFloatBefore;
  }
}

void TGroupAggregates::SetZero(const TColumn& column, std::span<uint8_t> record) {
  const TFieldDescriptor& field = *column.Field;
  switch (column.Number) {
    case TNumber::kInteger:
      SetFieldInt64(field, record, 0, context_);
      break;
    case TNumber::kFloat:
      SetFieldDouble(field, record, 0, context_);
      break;
    case TNumber::kBcd:
      SetFieldBcd(field, record, TBcd::FromInt64(0), context_);
      break;
    case TNumber::kOther:
      break;
  }
}

void TGroupAggregates::SetEmpty(std::span<uint8_t> record) {
  for (const TColumn& column : columns_) {
    switch (column.Kind) {
      case TAggregateKind::kCount:
        SetFieldInt64(*column.Field, record, 0, context_);
        break;
      case TAggregateKind::kAvg:
        if (column.Count) SetFieldInt64(*column.Count, record, 0, context_);
        break;
      default:
        break;
    }
  }
  Complete(record);
}

}  // namespace strata
