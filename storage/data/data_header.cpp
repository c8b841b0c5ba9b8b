#include "storage/data/data_header.h"

#include <cstring>

#include "storage/byte_order.h"
#include "storage/scramble.h"

namespace strata {
namespace {

//  offset width  content
//       0     4  change counter, signed; +1 with every header write
//       4     4  blob block size in bytes; 0 means 512
//       8     1  format version, 5
//       9     4  free chain head: first deleted slot for reuse, 0 when none
//      13     4  next record slot number (slots in the file + 1)
//      17     4  last auto-increment value (last row number handed out)
//      21     2  record size, including the 9-byte record header
//      23     2  field count (at most 1024)
//      25     2  blob field count (at most 128)
//      27     8  time of the last header write: IEEE double, the local
//                date-time as days since 30 December 1899 minus 693594.0
//      35    51  description, length-prefixed, <= 50 characters; the
//                characters scrambled with the text seed when encrypted
//      86     1  encrypted: nonzero when records and descriptors are scrambled
//      87    16  password, length-prefixed, <= 15 characters, scrambled
//                with the text seed; length 0 when not encrypted
//     103     2  locale id (0 = US English)
//     105     2  sort id
//     107     2  user value A (kept and returned unchanged)
//     109     2  user value B
//     111     1  header-modified mark at the moment of writing; ignored on reading
//     112     4  reserved, zero
//     116     4  31500, written with every header write
//     120     4  0, written with every header write
//     124     3  reserved, zero
constexpr size_t kChangeCounterAt = 0;
constexpr size_t kBlobBlockSizeAt = 4;
constexpr size_t kVersionAt = 8;
constexpr size_t kFreeChainHeadAt = 9;
constexpr size_t kNextSlotAt = 13;
constexpr size_t kLastAutoIncrementAt = 17;
constexpr size_t kRecordSizeAt = 21;
constexpr size_t kFieldCountAt = 23;
constexpr size_t kBlobFieldCountAt = 25;
constexpr size_t kLastUpdateAt = 27;
constexpr size_t kDescriptionAt = 35;
constexpr size_t kEncryptedAt = 86;
constexpr size_t kPasswordAt = 87;
constexpr size_t kLocaleIdAt = 103;
constexpr size_t kSortIdAt = 105;
constexpr size_t kUserValueAAt = 107;
constexpr size_t kUserValueBAt = 109;
constexpr size_t kModifiedMarkAt = 111;
constexpr size_t kSignatureAt = 116;
constexpr uint32_t kSignature = 31500;
constexpr size_t kSignatureZeroAt = 120;

constexpr double kDayOffset = 693594.0;

// A length-prefixed text whose characters (not the length byte) are
// scrambled in an encrypted table.
void PutText(uint8_t* at, size_t capacity, const std::string& text, bool scrambled) {
  PutShortString(at, capacity, text);
  if (scrambled) Scramble(at + 1, at[0], kTextSeed);
}

std::string GetText(const uint8_t* at, size_t capacity, bool scrambled) {
  std::string text = GetShortString(at, capacity);
  if (scrambled) Scramble(reinterpret_cast<uint8_t*>(text.data()), text.size(), kTextSeed);
  return text;
}

}  // namespace

void WriteDataHeader(const TDataHeader& header, bool modified_mark, uint8_t* out) {
  std::memset(out, 0, kDataHeaderSize);
  PutI32(out + kChangeCounterAt, header.ChangeCounter);
  PutU32(out + kBlobBlockSizeAt, header.BlobBlockSize);
  out[kVersionAt] = header.Version;
  PutU32(out + kFreeChainHeadAt, header.FreeChainHead);
  PutU32(out + kNextSlotAt, header.NextSlot);
  PutI32(out + kLastAutoIncrementAt, header.LastAutoIncrement);
  PutU16(out + kRecordSizeAt, header.RecordSize);
  PutU16(out + kFieldCountAt, header.FieldCount);
  PutU16(out + kBlobFieldCountAt, header.BlobFieldCount);
  PutF64(out + kLastUpdateAt, header.LastUpdate);
  PutText(out + kDescriptionAt, kDescriptionCapacity, header.Description, header.Encrypted);
  out[kEncryptedAt] = header.Encrypted ? 1 : 0;
  PutText(out + kPasswordAt, kPasswordCapacity, header.Encrypted ? header.Password : "",
          header.Encrypted);
  PutU16(out + kLocaleIdAt, header.LocaleId);
  PutU16(out + kSortIdAt, header.SortId);
  PutU16(out + kUserValueAAt, header.UserValueA);
  PutU16(out + kUserValueBAt, header.UserValueB);
  out[kModifiedMarkAt] = modified_mark ? 1 : 0;
  PutU32(out + kSignatureAt, kSignature);
  PutU32(out + kSignatureZeroAt, 0);
}

static_assert(kChangeCounterAt + 4 <= kDataChangeCounterBytes);

int32_t ReadDataChangeCounter(const uint8_t* in) { return GetI32(in + kChangeCounterAt); }

TDataHeader ReadDataHeader(const uint8_t* in) {
  TDataHeader header;
  header.ChangeCounter = ReadDataChangeCounter(in);
  header.BlobBlockSize = GetU32(in + kBlobBlockSizeAt);
  header.Version = in[kVersionAt];
  header.FreeChainHead = GetU32(in + kFreeChainHeadAt);
  header.NextSlot = GetU32(in + kNextSlotAt);
  header.LastAutoIncrement = GetI32(in + kLastAutoIncrementAt);
  header.RecordSize = GetU16(in + kRecordSizeAt);
  header.FieldCount = GetU16(in + kFieldCountAt);
  header.BlobFieldCount = GetU16(in + kBlobFieldCountAt);
  header.LastUpdate = GetF64(in + kLastUpdateAt);
  header.Encrypted = in[kEncryptedAt] != 0;
  header.Description = GetText(in + kDescriptionAt, kDescriptionCapacity, header.Encrypted);
  header.Password = GetText(in + kPasswordAt, kPasswordCapacity, header.Encrypted);
  header.LocaleId = GetU16(in + kLocaleIdAt);
  header.SortId = GetU16(in + kSortIdAt);
  header.UserValueA = GetU16(in + kUserValueAAt);
  header.UserValueB = GetU16(in + kUserValueBAt);
  return header;
}

double StoredUpdateTime(double days_since_18991230) { return days_since_18991230 - kDayOffset; }

double UpdateTimeOfStored(double stored) { return stored + kDayOffset; }

}  // namespace strata
