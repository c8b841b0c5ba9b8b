// The 127-byte header at the start of a table's data file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace strata {

constexpr size_t kDataHeaderSize = 127;
constexpr uint8_t kDataFileVersion = 5;
constexpr size_t kDescriptionCapacity = 50;
constexpr size_t kPasswordCapacity = 15;

// The header as the engine works with it; texts are kept unscrambled.
struct TDataHeader {
  int32_t ChangeCounter = 0;   // advanced by every header write
  uint32_t BlobBlockSize = 0;  // 0 means 512
  uint8_t Version = kDataFileVersion;
  uint32_t FreeChainHead = 0;  // first deleted slot for reuse, 0 when none
  uint32_t NextSlot = 1;       // slots in the file + 1
  int32_t LastAutoIncrement = 0;
  uint16_t RecordSize = 0;  // including the 9-byte record header
  uint16_t FieldCount = 0;
  uint16_t BlobFieldCount = 0;
  double LastUpdate = 0;  // as stored: the local date-time (days since 30 December 1899) - 693594
  std::string Description;
  bool Encrypted = false;
  std::string Password;
  uint16_t LocaleId = 0;  // 0 = US English
  uint16_t SortId = 0;
  uint16_t UserValueA = 0;
  uint16_t UserValueB = 0;
  bool operator==(const TDataHeader&) const = default;
};

// Writes the header's 127 bytes. `modified_mark` is the header-needs-writing
// flag at the moment of writing (byte 111). Texts longer than their
// capacity are cut.
void WriteDataHeader(const TDataHeader& header, bool modified_mark, uint8_t* out);
// Reads the header's 127 bytes (byte 111 and the constants are ignored).
TDataHeader ReadDataHeader(const uint8_t* in);
// The change counter alone, from the header's first kDataChangeCounterBytes
// bytes: enough to tell whether the rest needs reading.
constexpr size_t kDataChangeCounterBytes = 4;
int32_t ReadDataChangeCounter(const uint8_t* in);

// The stored time value for a local date-time given as days since
// 30 December 1899 (fraction = time of day), and back.
double StoredUpdateTime(double days_since_18991230);
double UpdateTimeOfStored(double stored);

}  // namespace strata
