// Copying a table file's whole contents between a disk file and an
// in-memory file, in chunks of 65536 bytes, optionally compressed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "storage/file/file_handler.h"

namespace strata {

constexpr size_t kCopyChunkSize = 65536;

enum class TCopyCompression {
  kNone,        // bytes are copied as they are
  kCompress,    // the target receives the compressed stream
  kDecompress,  // the source holds a compressed stream
};

// Told the percentage of the source done (0..100).
using TProgressCallback = std::function<void(int percent)>;

// Replaces the contents of `target` with those of `source` (both open; the
// target writable), reading the source in chunks of 65536 bytes.
//
// Compressed stream: a sequence of frames, one per source chunk of at most
// 65536 bytes, each
//   offset width   content
//        0     4   n = length of the compressed chunk, little-endian, > 0
//        4     n   the chunk compressed by zlib (deflate in zlib format, level 9)
// and nothing after the last frame; an empty file is an empty stream.
// Compression failure raises STRATA_COMPRESS (15001); a damaged stream (a cut
// frame, a length beyond what a chunk can compress to, data that does not
// inflate, a chunk that inflates to more than 65536 bytes) raises
// STRATA_UNCOMPRESS (15002).
//
// `progress` is called with the percentage of the source read whenever it
// has advanced by at least `progress_steps` since the last call (at every
// advance when progress_steps is 0).
void CopyFileContents(TFileHandler& source, TFileHandler& target, TCopyCompression compression,
                      uint16_t progress_steps, const TProgressCallback& progress = {});

// A disk file into a memory file (the disk file holds a compressed stream
// when `compressed`), and the reverse.
void CopyToMemory(TFileHandler& disk, TFileHandler& memory, bool compressed,
                  uint16_t progress_steps, const TProgressCallback& progress = {});
void CopyFromMemory(TFileHandler& memory, TFileHandler& disk, bool compressed,
                    uint16_t progress_steps, const TProgressCallback& progress = {});

}  // namespace strata
