// TGroupAggregates: folds the members of a group of result records into the
// group's first record, one aggregate column at a time, and completes the
// group when its last member has been folded in.
//
// A member's aggregate columns hold what the row loop stored (see
// result_shaping.h): the argument's value (blank for NULL), COUNT's 1 or 0,
// an AVG count column's 1 or 0. Folding:
//   SUM, RUNSUM, AVG   values added (blank ones ignored)
//   COUNT, AVG count   added
//   MIN, MAX           the extreme value in the column's key order
// Completing a group:
//   SUM, RUNSUM        0 over no values
//   AVG                the sum divided by the count (0 over no values;
//                      integer, date and time columns round to a whole number)
//   RUNSUM             the running total: this group's sum plus the sums of
//                      the groups completed and kept before it
//   MIN, MAX           stay blank over no values
// A group the caller drops afterwards (HAVING) is taken back out of the
// running totals with Drop.
//
// Owns the comparison keys of MIN and MAX and the running totals; refers to
// the result table's descriptors, which outlive it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "sql/exec/result_shaping.h"
#include "storage/index/sort_key.h"
#include "storage/record/field_descriptor.h"
#include "storage/record/record_context.h"

namespace strata {

class TGroupAggregates {
 public:
  TGroupAggregates(std::span<const TFieldDescriptor> fields, std::span<const TShapeColumn> columns,
                   const TRecordContext& context, uint32_t locale_id);
  ~TGroupAggregates();

  void Merge(std::span<uint8_t> group, std::span<const uint8_t> member);
  void Complete(std::span<uint8_t> group);
  // The group completed last is left out (its running totals are undone).
  void Drop();
  // A record of a group without members: every aggregate over no values.
  void SetEmpty(std::span<uint8_t> record);

 private:
  enum class TNumber { kInteger, kFloat, kBcd, kOther };
  struct TColumn {
    const TFieldDescriptor* Field = nullptr;
    const TFieldDescriptor* Count = nullptr;  // AVG: the hidden count column
    TAggregateKind Kind = TAggregateKind::kNone;
    TNumber Number = TNumber::kOther;
    std::unique_ptr<TSortKeyFormat> Order;  // MIN, MAX
    // RUNSUM: the total up to the last group kept, and before the last one.
    int64_t Total = 0, TotalBefore = 0;
    double TotalFloat = 0, TotalFloatBefore = 0;
  };

  void Add(const TColumn& column, std::span<uint8_t> group, std::span<const uint8_t> member);
  void KeepExtreme(const TColumn& column, std::span<uint8_t> group,
                   std::span<const uint8_t> member);
  void CountUp(const TFieldDescriptor& field, std::span<uint8_t> group,
               std::span<const uint8_t> member);
  void Average(const TColumn& column, std::span<uint8_t> group);
  void RunningSum(TColumn& column, std::span<uint8_t> group);
  void SetZero(const TColumn& column, std::span<uint8_t> record);

  std::vector<TColumn> columns_;
  TRecordContext context_;
  std::vector<uint8_t> key_a_, key_b_;
};

}  // namespace strata
