#include "storage/file/memory_copy.h"

#include <zlib.h>

#include <vector>

#include "storage/byte_order.h"
#include "storage/engine_error.h"

namespace strata {
namespace {

constexpr size_t kFrameHeader = 4;

// Reports progress whenever the share done has advanced by the step.
class TProgress {
 public:
  TProgress(uint64_t total, uint16_t step, const TProgressCallback& callback)
      : total_(total), step_(step), callback_(callback) {}

  void Advance(uint64_t done) {
    if (!callback_) return;
    const int percent = total_ == 0 ? 100 : static_cast<int>(done * 100 / total_);
    if (percent - last_ >= step_ && percent > last_) {
      last_ = percent;
      callback_(percent);
    }
  }

 private:
  uint64_t total_;
  int step_;
  const TProgressCallback& callback_;
  int last_ = 0;
};

void CopyPlain(TFileHandler& source, TFileHandler& target, uint64_t total, TProgress& progress) {
  std::vector<uint8_t> chunk(kCopyChunkSize);
  uint64_t done = 0;
  while (done < total) {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(kCopyChunkSize, total - done));
    source.ReadAt(done, chunk.data(), count);
    target.WriteAt(done, chunk.data(), count);
    done += count;
    progress.Advance(done);
  }
}

void Compress(TFileHandler& source, TFileHandler& target, uint64_t total, TProgress& progress) {
  std::vector<uint8_t> chunk(kCopyChunkSize);
  std::vector<uint8_t> frame(kFrameHeader + compressBound(kCopyChunkSize));
  uint64_t done = 0, written = 0;
  while (done < total) {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(kCopyChunkSize, total - done));
    source.ReadAt(done, chunk.data(), count);
    uLongf packed = static_cast<uLongf>(frame.size() - kFrameHeader);
    if (compress2(frame.data() + kFrameHeader, &packed, chunk.data(), count, 9) != Z_OK) {
      RaiseTableError(STRATA_COMPRESS, source.TableName());
    }
    PutU32(frame.data(), static_cast<uint32_t>(packed));
    target.WriteAt(written, frame.data(), kFrameHeader + packed);
    written += kFrameHeader + packed;
    done += count;
    progress.Advance(done);
  }
}

void Decompress(TFileHandler& source, TFileHandler& target, uint64_t total, TProgress& progress) {
  const size_t largest = compressBound(kCopyChunkSize);
  std::vector<uint8_t> packed(largest);
  std::vector<uint8_t> chunk(kCopyChunkSize);
  uint64_t done = 0, written = 0;
  while (done < total) {
    uint8_t header[kFrameHeader];
    if (total - done < kFrameHeader) RaiseTableError(STRATA_UNCOMPRESS, source.TableName());
    source.ReadAt(done, header, kFrameHeader);
    const uint32_t length = GetU32(header);
    if (length == 0 || length > largest || length > total - done - kFrameHeader) {
      RaiseTableError(STRATA_UNCOMPRESS, source.TableName());
    }
    source.ReadAt(done + kFrameHeader, packed.data(), length);
    uLongf unpacked = static_cast<uLongf>(chunk.size());
    if (uncompress(chunk.data(), &unpacked, packed.data(), length) != Z_OK) {
      RaiseTableError(STRATA_UNCOMPRESS, source.TableName());
    }
    target.WriteAt(written, chunk.data(), unpacked);
    written += unpacked;
    done += kFrameHeader + length;
    progress.Advance(done);
  }
}

}  // namespace

void CopyFileContents(TFileHandler& source, TFileHandler& target, TCopyCompression compression,
                      uint16_t progress_steps, const TProgressCallback& progress) {
  const uint64_t total = source.Size();
  TProgress tracker(total, progress_steps, progress);
  target.Truncate(0);
  switch (compression) {
    case TCopyCompression::kNone:
      CopyPlain(source, target, total, tracker);
      break;
    case TCopyCompression::kCompress:
      Compress(source, target, total, tracker);
      break;
    case TCopyCompression::kDecompress:
      Decompress(source, target, total, tracker);
      break;
  }
}

void CopyToMemory(TFileHandler& disk, TFileHandler& memory, bool compressed,
                  uint16_t progress_steps, const TProgressCallback& progress) {
  CopyFileContents(disk, memory,
                   compressed ? TCopyCompression::kDecompress : TCopyCompression::kNone,
                   progress_steps, progress);
}

void CopyFromMemory(TFileHandler& memory, TFileHandler& disk, bool compressed,
                    uint16_t progress_steps, const TProgressCallback& progress) {
  CopyFileContents(memory, disk, compressed ? TCopyCompression::kCompress : TCopyCompression::kNone,
                   progress_steps, progress);
}

}  // namespace strata
