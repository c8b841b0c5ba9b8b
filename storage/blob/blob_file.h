// TBlobFile: the blob file of a table (".BLB"), which holds the values of
// its blob fields as chains of fixed-size blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "storage/blob/blob_block.h"
#include "storage/blob/blob_cache.h"
#include "storage/blob/blob_header.h"
#include "storage/engine_settings.h"
#include "storage/file/file_handler.h"

namespace strata {

// Owns one blob file: the header copy, the block cache and the free chain of
// blocks. A value is a chain of blocks linked both ways, each carrying the
// owning record's row number; the first block also carries the value's total
// length, and the record keeps the first block's number (0 = no value).
// Block N (from 1) lies at 512 + (N - 1) * B, B being the block size fixed
// when the table was created. Changes live in the cache until Flush writes
// the modified blocks and then the header with its change counter advanced;
// another process's writes show up as a changed counter (DetectChange).
// When the table is encrypted, the header and every block are stored
// scrambled (each as one area, with the record seed).
class TBlobFile : public TFileHandler {
 public:
  explicit TBlobFile(const TEngineSettings& settings);
  ~TBlobFile() override;  // closes (flushing on a best-effort basis)

  // Creates (replaces) the file with a fresh header: no blocks, no free block.
  // The header reaches the disk at the next Flush. A block size of 0 means 512;
  // below 64, or with a data area beyond 16 bits, raises STRATA_BLOBLIMIT
  // (9498).
  void Create(const std::string& path, uint32_t block_size, bool encrypted = false,
              bool in_memory = false, bool temporary = false);
  // Opens an existing file and reads its header; block size and encryption
  // come from the data file header.
  void Open(const std::string& path, bool in_memory, bool exclusive, bool read_only,
            uint32_t block_size = 0, bool encrypted = false);
  // First-open checks: version 5 (STRATA_OLDVERSION); free chain head within
  // the blocks, and a file long enough for its blocks (STRATA_HEADERCORRUPT).
  void Verify();
  // Flushes, drops the cache and closes the file.
  void Close();
  // Closes without writing anything: the changes held in the caches are
  // dropped (a file about to be deleted).
  void Abandon();

  // The value whose chain starts at `first_block`, owned by the record with
  // `row_number`. 0 gives an empty value. Raises STRATA_KEYORRECDELETED (8708)
  // when a block belongs to another row, STRATA_MEMOCORRUPT (8963) for a broken
  // chain, STRATA_ENDOFBLOB (8711) when the chain ends early.
  std::vector<uint8_t> ReadValue(uint32_t first_block, uint32_t row_number);
  // Stores `bytes` as the value of the record with `row_number`, reusing the
  // chain at `first_block` (0 = none) and returns the new first block (0 for an
  // empty value). Extra old blocks are freed, missing ones allocated. The old
  // chain (STRATA_MEMOCORRUPT, STRATA_KEYORRECDELETED) and the room for new
  // blocks (STRATA_TABLEFULL) are checked before anything is changed; a value
  // beyond 0xFFFFFFFF bytes gives STRATA_INVALIDBLOBLEN (10029).
  uint32_t WriteValue(uint32_t first_block, uint32_t row_number, std::span<const uint8_t> bytes);
  // Frees the chain at `first_block` (0: nothing). A block of another row
  // raises STRATA_MEMOCORRUPT (8963) unless `overwrite`.
  void FreeValue(uint32_t first_block, uint32_t row_number, bool overwrite = false);
  // Hands the value's chain from `row_number` to `new_row_number` (its
  // record was renumbered); checked like a read first.
  void ChangeOwner(uint32_t first_block, uint32_t row_number, uint32_t new_row_number);

  // Writes the modified blocks in runs of consecutive numbers, then the
  // header when it is modified or `force_header`, then flushes the OS buffers
  // when anything was written and ForceBufferFlush or `force_os_flush` is set.
  // Returns whether anything was written. In a transaction it writes
  // nothing; a forced header write only advances the counter in memory.
  bool Flush(bool force_header, bool force_os_flush = false);
  // Whether a flush would have anything to write but a forced header: a
  // modified block (pinned ones too) or header.
  bool HasUnwrittenChanges() const;
  // Re-reads the header; when its change counter differs from the one last
  // read or written here, adopts it, drops the cache and returns true.
  bool DetectChange();
  // Drops the cache, modified blocks included, and re-reads the header.
  void DiscardChanges();
  // While set, Flush writes nothing and modified blocks stay cached.
  void SetInTransaction(bool in_transaction) { in_transaction_ = in_transaction; }
  bool InTransaction() const { return in_transaction_; }
  // Truncates the file to its header: no blocks, no free block.
  void Empty();

  uint32_t ChangeCounter() const { return header_.ChangeCounter; }
  uint32_t BlockSize() const { return block_size_; }
  bool Encrypted() const { return encrypted_; }
  uint32_t BlockCount() const { return header_.NextBlock - 1; }
  uint32_t FreeChainHead() const { return header_.FreeChainHead; }
  bool HeaderModified() const { return header_modified_; }
  const TBlobHeader& Header() const { return header_; }
  // Whether the header on disk agrees with the one this object holds: with
  // the same change counter, the same header. Run under a lock that keeps
  // writers out.
  bool StoredHeaderAgrees();

  // Inspection, for verification and tests.
  TBlockHeader BlockHeader(uint32_t number);
  // The first `count` data bytes of a block; beyond its data area:
  // STRATA_INVALIDBLOBLEN (10029).
  std::vector<uint8_t> BlockData(uint32_t number, size_t count);
  // The blocks of a value's chain in order (STRATA_MEMOCORRUPT,
  // STRATA_KEYORRECDELETED as for reading).
  std::vector<uint32_t> ValueChain(uint32_t first_block, uint32_t row_number);
  // The free chain in order; STRATA_MEMOCORRUPT (8963) when it leaves the file
  // or loops.
  std::vector<uint32_t> FreeChain();

  // Repair (exclusive use; the caller flushes). Makes the block count agree
  // with the file: blocks the header counts but the file does not hold in
  // full are dropped (a partial block at the end is cut off), and a free
  // chain head beyond the blocks becomes 0. Returns whether anything changed.
  bool MendBlockCount();
  // Makes exactly `blocks`, in this order, the free chain: each block's
  // header is cleared and linked to the next, the head is the first.
  void SetFreeChain(std::span<const uint32_t> blocks);

  struct TStats {
    uint64_t Hits = 0;    // blocks found in the cache
    uint64_t Reads = 0;   // read operations (one per run)
    uint64_t Writes = 0;  // write operations (one per run, plus header writes)
  };
  TStats Stats() const;
  const TBlockCache& Cache() const { return cache_; }
  uint32_t ReadAheadCount() const { return read_ahead_; }

 private:
  void SetGeometry(uint32_t block_size, bool encrypted);
  // Reads the header from disk into `header`; false when the file is still
  // shorter than a header (created, never flushed).
  bool ReadDiskHeader(TBlobHeader& header);
  void ReadHeaderFromDisk();
  void WriteHeaderToDisk();
  bool WriteModifiedBlocks();
  uint64_t BlockOffset(uint32_t number) const;
  [[noreturn]] void Raise(uint16_t code) const;

  // Block `number` (1..BlockCount, else STRATA_MEMOCORRUPT), from the cache or
  // read from disk; `walking` reads ahead along a chain.
  TBlock* GetBlock(uint32_t number, bool walking);
  TBlock* AddToCache(uint32_t number);
  // Whether `count` more blocks fit at the end of the file.
  bool CanAppend(uint64_t count) const;
  // Raises STRATA_TABLEFULL (9479) unless the free chain and the room left for
  // appending together hold `count` blocks.
  void CheckRoomFor(uint64_t count);
  TBlock* AppendBlock();
  TBlock* AllocateBlock();
  void FreeBlock(TBlock* block);
  // Walks a chain, checking ranges and loops (STRATA_MEMOCORRUPT) and, when
  // `mismatch_code` is nonzero, that each block belongs to `row_number`.
  std::vector<uint32_t> CollectChain(uint32_t first_block, uint32_t row_number,
                                     uint16_t mismatch_code);

  TEngineSettings settings_;
  uint32_t block_size_ = kDefaultBlobBlockSize;
  bool encrypted_ = false;
  uint32_t read_ahead_ = 1;
  TBlobHeader header_;
  bool header_modified_ = false;
  uint32_t disk_change_counter_ = 0;  // counter last read from or written to disk
  bool in_transaction_ = false;
  TBlockCache cache_;
  uint64_t reads_ = 0;
  uint64_t writes_ = 0;
};

}  // namespace strata
