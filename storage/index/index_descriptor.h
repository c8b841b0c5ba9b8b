// TIndexDescriptor: the definition and the tree anchors of one index of an
// index file, as kept in one of the 33 descriptor slots of its header.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace strata {

// Descriptor slots of an index file.
constexpr int kPrimaryIndex = 0;         // the primary index (empty name)
constexpr int kFirstSecondaryIndex = 1;  // 1..30: secondary indexes in creation order
constexpr int kMaxSecondaryIndexes = 30;
constexpr int kSysDeletedIndex = 31;  // every record, ordered by status byte and row number
constexpr int kSysTextIndex = 32;     // the text index (descriptor only)
constexpr int kIndexSlotCount = 33;

constexpr int kMaxKeyFields = 16;
constexpr int kMaxIndexNameLength = 30;
// Bytes of the key fields (each with its null-flag byte) of one key.
constexpr int kMaxKeyFieldBytes = 522;
// Whole key: key fields plus the trailing row number of a non-unique index.
constexpr int kMaxKeySize = kMaxKeyFieldBytes + 4;
constexpr uint16_t kSysDeletedKeySize = 5;  // status byte + row number
constexpr size_t kIndexDescriptorSize = 120;

inline const char kSysDeletedName[] = "Sys Deleted";
inline const char kSysTextName[] = "Sys Text";

// One index. A slot is in use when it has a name or key fields (slot 0 also
// when it has a key size); an unused slot is all zero.
//
//  offset width  content
//       0    31  name, length-prefixed, at most 30 characters
//      31     2  key size in bytes
//      33     1  descending: the whole index sorts in reverse
//      34     1  case-insensitive
//      35     1  unique (the primary index is always unique)
//      36     1  key compression mode 0..3 (0 = none)
//      37     1  number of key fields 0..16
//      38    16  per-field descending flags
//      54    32  key field numbers, 16 x 16-bit
//      86     4  root page, 0 while the index is empty
//      90     4  head of the index's chain of free pages, 0 when none
//      94     1  zero
//      95     1  (not used; zero)
//      96     4  a further page number kept for the index (preserved as read)
//     100     1  entries carry no record number
//     101     1  pages live in a temporary file instead of this file
//     102    18  zero
struct TIndexDescriptor {
  std::string Name;
  uint16_t KeySize = 0;
  bool Descending = false;
  bool CaseInsensitive = false;
  bool Unique = false;
  uint8_t CompressionMode = 0;
  uint8_t FieldCount = 0;
  std::array<bool, kMaxKeyFields> FieldDescending{};
  std::array<uint16_t, kMaxKeyFields> FieldNumbers{};
  uint32_t RootPage = 0;
  uint32_t FreeHead = 0;
  uint32_t ExtraPage = 0;
  bool NoRecordNumbers = false;
  bool TemporaryFile = false;

  bool InUse() const { return !Name.empty() || FieldCount > 0 || KeySize > 0; }
  bool operator==(const TIndexDescriptor&) const = default;

  // The 120-byte stored form.
  void Encode(uint8_t* out) const;
  static TIndexDescriptor Decode(const uint8_t* in);
};

}  // namespace strata
