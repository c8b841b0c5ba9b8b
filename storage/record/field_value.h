// Typed access to one field of a record buffer, for the SQL engine, the
// cursor and index key building. Getters return nullopt for a blank field.
// Setters go through the set rules of record_buffer.h and return whether the
// buffer changed.
//
// Which type codes each accessor serves:
//   Int64      2, 4, 5, 6 (and auto-increment), 10, 12, 13, 18
//   Double     the Int64 codes, 7, 8, 11 (setting: 7, 8, 11 only)
//   String     1
//   Boolean    4
//   Date       2           Time  10          Timestamp  11
//   Bcd        8
//   Bytes      9, 13, 14, 15 (raw data bytes)
// Any other code raises STRATA_INVALIDFLDTYPE (10000) naming the field and the
// table. An integer below the field type's range raises STRATA_MINVALERR
// (9730), one above it STRATA_MAXVALERR (9731).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/record/bcd.h"
#include "storage/record/field_descriptor.h"
#include "storage/record/record_context.h"

namespace strata {

using RecordView = std::span<const uint8_t>;
using RecordSpan = std::span<uint8_t>;

std::optional<int64_t> GetFieldInt64(const TFieldDescriptor& field, RecordView record,
                                     const TRecordContext& context);
std::optional<double> GetFieldDouble(const TFieldDescriptor& field, RecordView record,
                                     const TRecordContext& context);
// The text up to its zero byte (at most data size - 1 characters).
std::optional<std::string> GetFieldString(const TFieldDescriptor& field, RecordView record,
                                          const TRecordContext& context);
std::optional<bool> GetFieldBoolean(const TFieldDescriptor& field, RecordView record,
                                    const TRecordContext& context);
std::optional<int32_t> GetFieldDate(const TFieldDescriptor& field, RecordView record,
                                    const TRecordContext& context);
std::optional<int32_t> GetFieldTime(const TFieldDescriptor& field, RecordView record,
                                    const TRecordContext& context);
std::optional<double> GetFieldTimestamp(const TFieldDescriptor& field, RecordView record,
                                        const TRecordContext& context);
std::optional<TBcd> GetFieldBcd(const TFieldDescriptor& field, RecordView record,
                                const TRecordContext& context);
std::optional<std::vector<uint8_t>> GetFieldBytes(const TFieldDescriptor& field, RecordView record,
                                                  const TRecordContext& context);

bool SetFieldInt64(const TFieldDescriptor& field, RecordSpan record, int64_t value,
                   const TRecordContext& context);
bool SetFieldDouble(const TFieldDescriptor& field, RecordSpan record, double value,
                    const TRecordContext& context);
bool SetFieldString(const TFieldDescriptor& field, RecordSpan record, std::string_view value,
                    const TRecordContext& context);
bool SetFieldBoolean(const TFieldDescriptor& field, RecordSpan record, bool value,
                     const TRecordContext& context);
bool SetFieldDate(const TFieldDescriptor& field, RecordSpan record, int32_t day_number,
                  const TRecordContext& context);
bool SetFieldTime(const TFieldDescriptor& field, RecordSpan record, int32_t time_ms,
                  const TRecordContext& context);
bool SetFieldTimestamp(const TFieldDescriptor& field, RecordSpan record, double timestamp,
                       const TRecordContext& context);
// Rounded to the field's decimals.
bool SetFieldBcd(const TFieldDescriptor& field, RecordSpan record, const TBcd& value,
                 const TRecordContext& context);
// Copies at most the data size; the rest of the data bytes become zero.
bool SetFieldBytes(const TFieldDescriptor& field, RecordSpan record, std::span<const uint8_t> value,
                   const TRecordContext& context);

}  // namespace strata
