#include "storage/file/journal_format.h"

#include <zlib.h>

#include <cstring>

#include "storage/byte_order.h"

namespace strata {
namespace {

constexpr char kMagic[8] = {'S', 't', 'r', 'a', 't', 'a', 'J', '1'};

uint32_t Crc(uint32_t crc, const uint8_t* bytes, size_t count) {
  // zlib takes lengths as uInt: long ranges go in pieces.
  while (count > 0) {
    const size_t piece = count > (1u << 30) ? (1u << 30) : count;
    crc = static_cast<uint32_t>(crc32(crc, bytes, static_cast<uInt>(piece)));
    bytes += piece;
    count -= piece;
  }
  return crc;
}

uint32_t EntryChecksum(const uint8_t* header, std::span<const uint8_t> data) {
  return Crc(Crc(0, header, 20), data.data(), data.size());
}

}  // namespace

void WriteJournalHeader(const TJournalHeader& header, uint8_t* out) {
  std::memset(out, 0, kJournalHeaderSize);
  std::memcpy(out, kMagic, sizeof kMagic);
  PutU32(out + 8, header.Salt);
  for (int i = 0; i < kJournalFileCount; ++i) PutU64(out + 16 + 8 * i, header.OriginalLength[i]);
  PutU32(out + 44, Crc(0, out, 44));
}

std::optional<TJournalHeader> ReadJournalHeader(std::span<const uint8_t> bytes) {
  if (bytes.size() < kJournalHeaderSize) return std::nullopt;
  const uint8_t* p = bytes.data();
  if (std::memcmp(p, kMagic, sizeof kMagic) != 0) return std::nullopt;
  if (GetU32(p + 44) != Crc(0, p, 44)) return std::nullopt;
  TJournalHeader header;
  header.Salt = GetU32(p + 8);
  for (int i = 0; i < kJournalFileCount; ++i) header.OriginalLength[i] = GetU64(p + 16 + 8 * i);
  return header;
}

void WriteJournalEntryHeader(const TJournalEntry& entry, std::span<const uint8_t> data,
                             uint8_t* out) {
  std::memset(out, 0, kJournalEntryHeaderSize);
  out[0] = entry.File;
  PutU32(out + 4, entry.Length);
  PutU64(out + 8, entry.Offset);
  PutU32(out + 16, entry.Salt);
  PutU32(out + 20, EntryChecksum(out, data));
}

TJournalEntry ReadJournalEntryHeader(const uint8_t* bytes) {
  TJournalEntry entry;
  entry.File = bytes[0];
  entry.Length = GetU32(bytes + 4);
  entry.Offset = GetU64(bytes + 8);
  entry.Salt = GetU32(bytes + 16);
  entry.Checksum = GetU32(bytes + 20);
  return entry;
}

bool JournalEntryMatches(const TJournalEntry& entry, std::span<const uint8_t> data) {
  if (data.size() != entry.Length || entry.File >= kJournalFileCount) return false;
  uint8_t header[kJournalEntryHeaderSize];
  WriteJournalEntryHeader(entry, data, header);
  return GetU32(header + 20) == entry.Checksum;
}

}  // namespace strata
