#include "storage/blob/blob_file.h"

#include <algorithm>
#include <cstring>

#include "storage/engine_error.h"
#include "storage/file/scratch_bytes.h"
#include "storage/scramble.h"

namespace strata {
namespace {

// Appending stops at this block number or at this file offset.
constexpr uint32_t kMaxBlocks = 2'000'000'000;
constexpr uint64_t kMaxFileBytes = 4'000'000'000;
// A run of modified blocks is written in pieces of at most this many bytes.
constexpr size_t kMaxWriteBytes = 1 << 20;

}  // namespace

TBlobFile::TBlobFile(const TEngineSettings& settings) : settings_(settings) {
  SetGeometry(kDefaultBlobBlockSize, false);
}

TBlobFile::~TBlobFile() {
  if (!IsOpen()) return;
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; owners that care call Close themselves.
  }
}

void TBlobFile::SetGeometry(uint32_t block_size, bool encrypted) {
  if (block_size == 0) block_size = kDefaultBlobBlockSize;
  if (block_size < kMinBlobBlockSize || block_size > kMaxBlobBlockSize) Raise(STRATA_BLOBLIMIT);
  block_size_ = block_size;
  encrypted_ = encrypted;
  uint32_t capacity = std::min(settings_.BlockCacheBytes / block_size, settings_.BlockCacheCount);
  cache_.Reset(block_size, std::max<uint32_t>(capacity, 1));
  read_ahead_ = std::max<uint32_t>(settings_.ReadAheadBytes / block_size, 1);
}

void TBlobFile::Raise(uint16_t code) const { RaiseTableError(code, TableName()); }

uint64_t TBlobFile::BlockOffset(uint32_t number) const {
  return kBlobHeaderSize + static_cast<uint64_t>(number - 1) * block_size_;
}

// ---------------------------------------------------------------------------
// Opening and closing

void TBlobFile::Create(const std::string& path, uint32_t block_size, bool encrypted, bool in_memory,
                       bool temporary) {
  if (IsOpen()) Close();
  SetGeometry(block_size, encrypted);
  CreateFile(path, in_memory, false, temporary);
  header_ = TBlobHeader{};
  header_modified_ = true;
  disk_change_counter_ = 0;
  in_transaction_ = false;
}

void TBlobFile::Open(const std::string& path, bool in_memory, bool exclusive, bool read_only,
                     uint32_t block_size, bool encrypted) {
  if (IsOpen()) Close();
  SetGeometry(block_size, encrypted);
  OpenFile(path, in_memory, exclusive, read_only);
  try {
    ReadHeaderFromDisk();
  } catch (...) {
    CloseFile();
    throw;
  }
  in_transaction_ = false;
}

void TBlobFile::Verify() {
  if (header_.Version != kBlobFileVersion) Raise(STRATA_OLDVERSION);
  if (header_.NextBlock == 0 || header_.NextBlock - 1 > kMaxBlocks) Raise(STRATA_HEADERCORRUPT);
  if (header_.FreeChainHead > BlockCount()) Raise(STRATA_HEADERCORRUPT);
  // The blocks that the header counts must be on disk (the header is
  // always written after the blocks).
  if (!header_modified_) {
    const uint64_t blocks_end = BlockOffset(header_.NextBlock);
    if (!SizeFits([&](uint64_t size) { return size >= blocks_end; })) Raise(STRATA_HEADERCORRUPT);
  }
}

void TBlobFile::Abandon() {
  if (!IsOpen()) return;
  cache_.Clear();
  CloseFile();
}

void TBlobFile::Close() {
  if (!IsOpen()) return;
  try {
    Flush(false);
  } catch (...) {
    cache_.Clear();
    CloseFile();
    throw;
  }
  cache_.Clear();
  CloseFile();
}

// ---------------------------------------------------------------------------
// Header

bool TBlobFile::ReadDiskHeader(TBlobHeader& header) {
  uint8_t bytes[kBlobHeaderSize];
  if (ReadAt(0, bytes, kBlobHeaderSize, true) < kBlobHeaderSize) return false;
  if (encrypted_) Scramble(bytes, kBlobHeaderSize, kRecordSeed);
  header = ReadBlobHeader(bytes);
  return true;
}

bool TBlobFile::StoredHeaderAgrees() {
  RequireOpen();
  if (header_modified_) return false;
  TBlobHeader disk;
  if (!ReadDiskHeader(disk) || disk.Version != header_.Version) return false;
  return disk.ChangeCounter != disk_change_counter_ ||
         (disk.FreeChainHead == header_.FreeChainHead && disk.NextBlock == header_.NextBlock);
}

void TBlobFile::ReadHeaderFromDisk() {
  if (!ReadDiskHeader(header_)) Raise(STRATA_READERR);
  disk_change_counter_ = header_.ChangeCounter;
  header_modified_ = false;
}

void TBlobFile::WriteHeaderToDisk() {
  ++header_.ChangeCounter;
  header_.ModifiedMark = header_modified_ ? 1 : 0;
  uint8_t bytes[kBlobHeaderSize];
  WriteBlobHeader(header_, bytes);
  if (encrypted_) Scramble(bytes, kBlobHeaderSize, kRecordSeed);
  WriteAt(0, bytes, kBlobHeaderSize);
  ++writes_;
  header_modified_ = false;
  disk_change_counter_ = header_.ChangeCounter;
}

// ---------------------------------------------------------------------------
// Flushing, change detection, rollback

bool TBlobFile::WriteModifiedBlocks() {
  const auto& blocks = cache_.Blocks();
  const size_t max_run = std::max<size_t>(kMaxWriteBytes / block_size_, 1);
  auto writable = [](const TBlock& block) { return block.Modified && block.Pins == 0; };
  bool wrote = false;
  size_t i = 0;
  while (i < blocks.size()) {
    if (!writable(*blocks[i])) {
      ++i;
      continue;
    }
    size_t end = i + 1;
    while (end < blocks.size() && end - i < max_run && writable(*blocks[end]) &&
           blocks[end]->Number == blocks[end - 1]->Number + 1) {
      ++end;
    }
    TScratchRun scratch(TScratchUse::kBlocksWritten);
    std::vector<uint8_t>& write_buffer = scratch.bytes;
    write_buffer.resize((end - i) * block_size_);
    for (size_t k = i; k < end; ++k) {
      uint8_t* target = write_buffer.data() + (k - i) * block_size_;
      std::memcpy(target, blocks[k]->Bytes.data(), block_size_);
      if (encrypted_) Scramble(target, block_size_, kRecordSeed);
    }
    WriteAt(BlockOffset(blocks[i]->Number), write_buffer.data(), write_buffer.size());
    ++writes_;
    for (size_t k = i; k < end; ++k) blocks[k]->Modified = false;
    wrote = true;
    i = end;
  }
  return wrote;
}

bool TBlobFile::HasUnwrittenChanges() const {
  if (header_modified_) return true;
  return std::any_of(cache_.Blocks().begin(), cache_.Blocks().end(),
                     [](const std::unique_ptr<TBlock>& block) { return block->Modified; });
}

bool TBlobFile::Flush(bool force_header, bool force_os_flush) {
  if (in_transaction_) {
    if (force_header) {
      ++header_.ChangeCounter;
      header_modified_ = true;
    }
    return false;
  }
  bool wrote = WriteModifiedBlocks();
  if (header_modified_ || force_header) {
    WriteHeaderToDisk();
    wrote = true;
  }
  if (wrote && (settings_.ForceBufferFlush || force_os_flush)) FlushBuffers();
  cache_.Trim();
  return wrote;
}

bool TBlobFile::DetectChange() {
  // The counter alone while it stands still; the header when it moved (or
  // when the file holds none yet).
  uint8_t counter[kBlobChangeCounterBytes];
  if (ReadAt(0, counter, sizeof counter, true) == sizeof counter) {
    if (encrypted_) Scramble(counter, sizeof counter, kRecordSeed);
    if (ReadBlobChangeCounter(counter) == disk_change_counter_) return false;
  }
  TBlobHeader disk;
  if (!ReadDiskHeader(disk)) {
    if (header_modified_) return false;  // created here and not yet written
    Raise(STRATA_READERR);
  }
  if (disk.ChangeCounter == disk_change_counter_) return false;
  header_ = disk;
  disk_change_counter_ = disk.ChangeCounter;
  header_modified_ = false;
  cache_.Clear();
  return true;
}

void TBlobFile::DiscardChanges() {
  cache_.Clear();
  TBlobHeader disk;
  if (ReadDiskHeader(disk)) {
    header_ = disk;
    disk_change_counter_ = disk.ChangeCounter;
    header_modified_ = false;
  } else {
    // Never flushed since it was created: back to the fresh header.
    header_ = TBlobHeader{};
    header_.ChangeCounter = disk_change_counter_;
    header_modified_ = true;
  }
}

void TBlobFile::Empty() {
  Truncate(kBlobHeaderSize);
  cache_.Clear();
  header_.Version = kBlobFileVersion;
  header_.FreeChainHead = 0;
  header_.NextBlock = 1;
  header_modified_ = true;
}

// ---------------------------------------------------------------------------
// Blocks

TBlock* TBlobFile::AddToCache(uint32_t number) {
  return cache_.Add(number, [this] { return !in_transaction_ && WriteModifiedBlocks(); });
}

TBlock* TBlobFile::GetBlock(uint32_t number, bool walking) {
  if (number == 0 || number > BlockCount()) Raise(STRATA_MEMOCORRUPT);
  if (TBlock* cached = cache_.Find(number)) return cached;

  // Read a run starting at `number`: along a chain as far as the read-ahead
  // reaches (never more than the cache holds), else the one block.
  size_t run = 1;
  if (walking) {
    run = std::min<size_t>({read_ahead_, BlockCount() - number + 1, cache_.NominalCapacity()});
  }
  TScratchRun scratch(TScratchUse::kBlocksRead);
  std::vector<uint8_t>& read_buffer = scratch.bytes;
  read_buffer.resize(run * block_size_);
  size_t got = ReadAt(BlockOffset(number), read_buffer.data(), read_buffer.size(), true);
  ++reads_;
  size_t complete = got / block_size_;
  if (complete == 0) Raise(STRATA_MEMOCORRUPT);  // counted by the header, missing on disk

  // Blocks cached before the read keep their contents (even when making room
  // below writes and evicts them: the bytes read are older than theirs).
  // `number` goes in last so that it is the most recently used.
  std::vector<uint32_t> fresh;
  for (size_t i = complete; i-- > 0;) {
    if (i == 0 || cache_.Peek(number + static_cast<uint32_t>(i)) == nullptr)
      fresh.push_back(static_cast<uint32_t>(i));
  }
  TBlock* result = nullptr;
  for (uint32_t i : fresh) {
    uint32_t current = number + i;
    TBlock* block = AddToCache(current);
    std::memcpy(block->Bytes.data(), read_buffer.data() + i * block_size_, block_size_);
    if (encrypted_) Scramble(block->Bytes.data(), block_size_, kRecordSeed);
    if (i == 0) result = block;
  }
  return result;
}

bool TBlobFile::CanAppend(uint64_t count) const {
  uint64_t last = header_.NextBlock + count - 1;
  return last <= kMaxBlocks && kBlobHeaderSize + last * block_size_ <= kMaxFileBytes;
}

void TBlobFile::CheckRoomFor(uint64_t count) {
  if (CanAppend(count)) return;
  uint64_t free_blocks = 0;
  for (uint32_t number = header_.FreeChainHead; number != 0 && free_blocks < count; ++free_blocks) {
    if (number > BlockCount() || free_blocks >= BlockCount()) Raise(STRATA_MEMOCORRUPT);
    number = GetBlock(number, false)->Header().Next;
  }
  if (free_blocks < count && !CanAppend(count - free_blocks)) Raise(STRATA_TABLEFULL);
}

TBlock* TBlobFile::AppendBlock() {
  uint32_t number = header_.NextBlock;
  if (!CanAppend(1)) Raise(STRATA_TABLEFULL);
  TBlock* block = cache_.Find(number);  // only a leftover of a dropped append
  if (block != nullptr) {
    std::fill(block->Bytes.begin(), block->Bytes.end(), 0);
  } else {
    block = AddToCache(number);
  }
  block->Modified = true;
  ++header_.NextBlock;
  header_modified_ = true;
  return block;
}

TBlock* TBlobFile::AllocateBlock() {
  uint32_t head = header_.FreeChainHead;
  if (head == 0) return AppendBlock();
  TBlock* block = GetBlock(head, false);
  uint32_t next = block->Header().Next;
  if (next > BlockCount() || next == head) Raise(STRATA_MEMOCORRUPT);
  header_.FreeChainHead = next;
  header_modified_ = true;
  std::fill(block->Bytes.begin(), block->Bytes.end(), 0);
  block->Modified = true;
  return block;
}

void TBlobFile::FreeBlock(TBlock* block) {
  // Only the link matters; the rest of the header is cleared so that a
  // stale reference to a freed block fails its row check instead of reading
  // free blocks as data.
  TBlockHeader header;
  header.Next = header_.FreeChainHead;
  block->SetHeader(header);
  block->Modified = true;
  header_.FreeChainHead = block->Number;
  header_modified_ = true;
}

std::vector<uint32_t> TBlobFile::CollectChain(uint32_t first_block, uint32_t row_number,
                                              uint16_t mismatch_code) {
  std::vector<uint32_t> chain;
  for (uint32_t number = first_block; number != 0;) {
    // A chain cannot hold more distinct blocks than the file has.
    if (number > BlockCount() || chain.size() >= BlockCount()) Raise(STRATA_MEMOCORRUPT);
    TBlockHeader header = GetBlock(number, true)->Header();
    if (mismatch_code != 0) {
      if (header.RowNumber != row_number) Raise(mismatch_code);
      if (!chain.empty() && header.Prev != chain.back()) Raise(STRATA_MEMOCORRUPT);
    }
    chain.push_back(number);
    number = header.Next;
  }
  return chain;
}

// ---------------------------------------------------------------------------
// Values

std::vector<uint8_t> TBlobFile::ReadValue(uint32_t first_block, uint32_t row_number) {
  if (first_block == 0) return {};
  const size_t data_size = block_size_ - kBlockHeaderSize;
  TBlock* block = GetBlock(first_block, true);
  TBlockHeader header = block->Header();
  if (header.RowNumber != row_number) Raise(STRATA_KEYORRECDELETED);
  const uint64_t total = header.TotalLength;
  // More than the file's blocks could hold: the chain must end early.
  if (total > static_cast<uint64_t>(BlockCount()) * data_size) Raise(STRATA_ENDOFBLOB);

  std::vector<uint8_t> value(total);
  size_t got = 0;
  uint32_t visited = 1;
  for (;;) {
    size_t chunk = std::min<size_t>({data_size, value.size() - got, header.Used});
    if (chunk != 0) std::memcpy(value.data() + got, block->Data(), chunk);  // none when total is 0
    got += chunk;
    if (got == value.size() || header.Next == 0) break;
    if (header.Next > BlockCount() || ++visited > BlockCount()) Raise(STRATA_MEMOCORRUPT);
    uint32_t previous = block->Number;
    block = GetBlock(header.Next, true);
    header = block->Header();
    if (header.RowNumber != row_number) Raise(STRATA_KEYORRECDELETED);
    if (header.Prev != previous) Raise(STRATA_MEMOCORRUPT);  // cross-linked or looping
  }
  if (got < value.size()) Raise(STRATA_ENDOFBLOB);
  return value;
}

uint32_t TBlobFile::WriteValue(uint32_t first_block, uint32_t row_number,
                               std::span<const uint8_t> bytes) {
  if (bytes.size() > UINT32_MAX) Raise(STRATA_INVALIDBLOBLEN);
  if (bytes.empty()) {
    FreeValue(first_block, row_number);
    return 0;
  }
  // Check the whole old chain before changing anything.
  std::vector<uint32_t> old_chain;
  if (first_block != 0) old_chain = CollectChain(first_block, row_number, STRATA_KEYORRECDELETED);

  const size_t data_size = block_size_ - kBlockHeaderSize;
  const size_t needed = (bytes.size() + data_size - 1) / data_size;
  if (needed > old_chain.size()) CheckRoomFor(needed - old_chain.size());
  uint32_t first = 0;
  size_t written = 0;
  TBlockPin previous;
  for (size_t i = 0; i < needed; ++i) {
    TBlockPin current(i < old_chain.size() ? GetBlock(old_chain[i], true) : AllocateBlock());
    size_t chunk = std::min(data_size, bytes.size() - written);
    TBlockHeader header;
    header.Prev = previous ? previous->Number : 0;
    header.Used = static_cast<uint16_t>(chunk);
    header.RowNumber = row_number;
    header.TotalLength = i == 0 ? static_cast<uint32_t>(bytes.size()) : 0;
    current->SetHeader(header);
    std::memcpy(current->Data(), bytes.data() + written, chunk);
    std::memset(current->Data() + chunk, 0, data_size - chunk);
    current->Modified = true;
    if (previous) {
      TBlockHeader link = previous->Header();
      link.Next = current->Number;
      previous->SetHeader(link);
      previous->Modified = true;
    } else {
      first = current->Number;
    }
    written += chunk;
    previous = std::move(current);
  }
  previous = TBlockPin();
  for (size_t i = needed; i < old_chain.size(); ++i) FreeBlock(GetBlock(old_chain[i], true));
  if (written != bytes.size()) Raise(STRATA_ENDOFBLOB);
  return first;
}

void TBlobFile::FreeValue(uint32_t first_block, uint32_t row_number, bool overwrite) {
  if (first_block == 0) return;
  std::vector<uint32_t> chain =
      CollectChain(first_block, row_number, overwrite ? 0 : STRATA_MEMOCORRUPT);
  for (uint32_t number : chain) FreeBlock(GetBlock(number, true));
}

void TBlobFile::ChangeOwner(uint32_t first_block, uint32_t row_number, uint32_t new_row_number) {
  if (first_block == 0 || row_number == new_row_number) return;
  for (uint32_t number : CollectChain(first_block, row_number, STRATA_KEYORRECDELETED)) {
    TBlock* block = GetBlock(number, true);
    TBlockHeader header = block->Header();
    header.RowNumber = new_row_number;
    block->SetHeader(header);
    block->Modified = true;
  }
}

// ---------------------------------------------------------------------------
// Inspection

TBlockHeader TBlobFile::BlockHeader(uint32_t number) { return GetBlock(number, false)->Header(); }

std::vector<uint8_t> TBlobFile::BlockData(uint32_t number, size_t count) {
  if (count > block_size_ - kBlockHeaderSize) Raise(STRATA_INVALIDBLOBLEN);
  const TBlock* block = GetBlock(number, false);
  return std::vector<uint8_t>(block->Data(), block->Data() + count);
}

std::vector<uint32_t> TBlobFile::ValueChain(uint32_t first_block, uint32_t row_number) {
  return CollectChain(first_block, row_number, STRATA_KEYORRECDELETED);
}

std::vector<uint32_t> TBlobFile::FreeChain() {
  std::vector<uint32_t> chain;
  for (uint32_t number = header_.FreeChainHead; number != 0;) {
    if (number > BlockCount() || chain.size() >= BlockCount()) Raise(STRATA_MEMOCORRUPT);
    chain.push_back(number);
    number = GetBlock(number, false)->Header().Next;
  }
  return chain;
}

// ---------------------------------------------------------------------------
// Repair

bool TBlobFile::MendBlockCount() {
  RequireWritable();
  const uint64_t size = Size();
  const uint64_t on_disk = size < kBlobHeaderSize ? 0 : (size - kBlobHeaderSize) / block_size_;
  bool changed = false;
  if (size > BlockOffset(static_cast<uint32_t>(on_disk + 1))) {
    Truncate(BlockOffset(static_cast<uint32_t>(on_disk + 1)));
    changed = true;
  }
  cache_.Clear();
  if (header_.NextBlock == 0 || header_.NextBlock - 1 > on_disk) {
    header_.NextBlock = static_cast<uint32_t>(on_disk + 1);
    changed = true;
  }
  if (header_.FreeChainHead > BlockCount()) {
    header_.FreeChainHead = 0;
    changed = true;
  }
  if (changed) header_modified_ = true;
  return changed;
}

void TBlobFile::SetFreeChain(std::span<const uint32_t> blocks) {
  for (size_t i = 0; i < blocks.size(); ++i) {
    TBlock* block = GetBlock(blocks[i], false);
    TBlockHeader header;
    header.Next = i + 1 < blocks.size() ? blocks[i + 1] : 0;
    block->SetHeader(header);
    block->Modified = true;
  }
  header_.FreeChainHead = blocks.empty() ? 0 : blocks.front();
  header_modified_ = true;
}

TBlobFile::TStats TBlobFile::Stats() const {
  TStats stats;
  stats.Hits = cache_.Hits();
  stats.Reads = reads_;
  stats.Writes = writes_;
  return stats;
}

}  // namespace strata
