// The 9-byte header every record buffer starts with, and the allocation of
// row numbers from the data file header's last auto-increment value.
#pragma once

#include <cstdint>

#include "storage/byte_order.h"

namespace strata {

//  offset width  content
//       0     1  status: 0 live, 1 deleted (on the free chain)
//       1     4  live: the record's own number (1-based slot);
//                deleted: the next record on the free chain, 0 at its end
//       5     4  row number: table-wide, never reused; an auto-increment
//                field reads and writes it
constexpr uint8_t kRecordLive = 0;
constexpr uint8_t kRecordDeleted = 1;
constexpr size_t kRecordStatusOffset = 0;
constexpr size_t kRecordNumberOffset = 1;
constexpr size_t kRowNumberOffset = 5;

inline uint8_t GetRecordStatus(const uint8_t* record) { return record[kRecordStatusOffset]; }
inline void SetRecordStatus(uint8_t* record, uint8_t status) {
  record[kRecordStatusOffset] = status;
}

// Bytes 1..4 of a live record.
inline uint32_t GetRecordNumber(const uint8_t* record) {
  return GetU32(record + kRecordNumberOffset);
}
inline void SetRecordNumber(uint8_t* record, uint32_t number) {
  PutU32(record + kRecordNumberOffset, number);
}

// Bytes 1..4 of a deleted record: the same place, read as the free-chain link.
inline uint32_t GetFreeLink(const uint8_t* record) { return GetU32(record + kRecordNumberOffset); }
inline void SetFreeLink(uint8_t* record, uint32_t next) {
  PutU32(record + kRecordNumberOffset, next);
}

inline int32_t GetRowNumber(const uint8_t* record) { return GetI32(record + kRowNumberOffset); }
inline void SetRowNumber(uint8_t* record, int32_t row_number) {
  PutI32(record + kRowNumberOffset, row_number);
}

// The row number a new record gets from the header's last auto-increment
// value; it is also the header's new value. After 2,147,483,647 comes 1; a
// value below 0 (only a damaged header holds one) also restarts at 1, so a
// row number is never 0 or negative.
int32_t NextRowNumber(int32_t last_auto_increment);

}  // namespace strata
