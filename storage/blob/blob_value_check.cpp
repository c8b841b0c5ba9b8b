#include "storage/blob/blob_value_check.h"

#include <algorithm>
#include <exception>
#include <set>

#include "storage/blob/blob_block.h"
#include "storage/blob/blob_file.h"

namespace strata {

TBlobValueCheck CheckBlobValue(TBlobFile& blobs, uint32_t first_block, int32_t row_number,
                               std::vector<uint8_t>* bytes) {
  TBlobValueCheck check;
  const uint32_t data_size = blobs.BlockSize() - static_cast<uint32_t>(kBlockHeaderSize);
  const uint32_t owner = static_cast<uint32_t>(row_number);
  std::set<uint32_t> met;
  auto fault = [&](uint32_t block, const std::string& text) {
    check.Fault = "blob block " + std::to_string(block) + ": " + text;
  };
  uint32_t previous = 0;
  uint16_t previous_used = 0;
  for (uint32_t number = first_block; number != 0;) {
    if (number > blobs.BlockCount()) {
      fault(number,
            "lies beyond the " + std::to_string(blobs.BlockCount()) + " blocks of the file");
      return check;
    }
    if (!met.insert(number).second) {
      fault(number, "is reached twice (the chain loops)");
      return check;
    }
    if (previous != 0 && previous_used != data_size) {
      fault(previous, "holds " + std::to_string(previous_used) + " of " +
                          std::to_string(data_size) + " bytes but is not the last block");
      return check;
    }
    TBlockHeader header;
    try {
      header = blobs.BlockHeader(number);
    } catch (const std::exception& error) {
      fault(number, std::string("cannot be read: ") + error.what());
      return check;
    }
    if (header.RowNumber != owner) {
      fault(number, "belongs to row " + std::to_string(header.RowNumber) + ", not to row " +
                        std::to_string(row_number));
      return check;
    }
    if (header.Prev != previous) {
      fault(number, "previous link " + std::to_string(header.Prev) + ", expected " +
                        std::to_string(previous));
      return check;
    }
    if (previous == 0) {
      check.TotalLength = header.TotalLength;
    } else if (header.TotalLength != 0) {
      fault(number, "continuation block with total length " + std::to_string(header.TotalLength));
      return check;
    }
    if (header.Used > data_size) {
      fault(number, "uses " + std::to_string(header.Used) + " bytes of a " +
                        std::to_string(data_size) + "-byte data area");
      return check;
    }
    check.Blocks.push_back(number);
    check.UsedBytes += header.Used;
    if (bytes != nullptr) {
      try {
        std::vector<uint8_t> data = blobs.BlockData(number, header.Used);
        bytes->insert(bytes->end(), data.begin(), data.end());
      } catch (const std::exception&) {
        // The header was readable, so the data is too; nothing to save otherwise.
      }
    }
    previous = number;
    previous_used = header.Used;
    number = header.Next;
  }
  if (check.UsedBytes != check.TotalLength) {
    check.Fault = "blob chain from block " + std::to_string(first_block) + " holds " +
                  std::to_string(check.UsedBytes) + " bytes, its total length says " +
                  std::to_string(check.TotalLength);
  }
  return check;
}

}  // namespace strata
