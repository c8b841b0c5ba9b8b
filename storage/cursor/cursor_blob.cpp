// TDataCursor: blob values of the record buffer, edited in blob buffers and
// written to the blob file when the record is posted.
#include "storage/blob/blob_buffer.h"
#include "storage/blob/blob_file.h"
#include "storage/byte_order.h"
#include "storage/cursor/data_cursor.h"
#include "storage/table/data_table.h"
#include "storage/engine_error.h"
#include "storage/record/record_buffer.h"
#include "storage/record/record_header.h"
#include "storage/table/table_lock_guards.h"

namespace strata {

const TFieldDescriptor& TDataCursor::BlobField(uint16_t field) const {
  const TFieldDescriptor& descriptor = Field(field);
  if (!descriptor.IsBlob() || BlobFile() == nullptr) {
    RaiseFieldError(STRATA_NOTABLOB, descriptor.Name, table_name_);
  }
  return descriptor;
}

uint32_t TDataCursor::BlobReference(std::span<const uint8_t> record,
                                    const TFieldDescriptor& field) const {
  uint8_t value[8] = {};
  if (strata::GetField(field, record, value, context_)) return 0;
  const int32_t reference = GetI32(value);
  return reference > 0 ? static_cast<uint32_t>(reference) : 0;
}

void TDataCursor::SetBlobReference(std::span<uint8_t> record, const TFieldDescriptor& field,
                                   uint32_t reference) const {
  uint8_t value[8] = {};
  PutU32(value, reference);
  SetField(field, record, value, context_);
}

TBlobBuffer& TDataCursor::Blob(uint16_t field) {
  RequireOpen();
  const TFieldDescriptor& descriptor = BlobField(field);
  auto found = blobs_.find(field);
  if (found != blobs_.end()) return *found->second;
  const uint32_t first_block = BlobReference(buffer_, descriptor);
  auto buffer = std::make_unique<TBlobBuffer>(table_name_, first_block,
                                              static_cast<uint32_t>(GetRowNumber(buffer_.data())));
  if (first_block != 0) {
    ReadLock lock(table_.Table());
    buffer->Load(*BlobFile());
    lock.Release();
  }
  return *blobs_.emplace(field, std::move(buffer)).first->second;
}

void TDataCursor::DropBlobs() { blobs_.clear(); }

void TDataCursor::OpenBlob(uint16_t field) { Blob(field); }

std::vector<uint8_t> TDataCursor::ReadBlob(uint16_t field, uint64_t offset, size_t count) {
  return Blob(field).Read(offset, count);
}

size_t TDataCursor::ReadBlob(uint16_t field, uint64_t offset, size_t count, uint8_t* out) {
  return Blob(field).Read(offset, count, out);
}

std::vector<uint8_t> TDataCursor::ReadBlob(uint16_t field) { return Blob(field).Bytes(); }

void TDataCursor::WriteBlob(uint16_t field, uint64_t offset, std::span<const uint8_t> bytes) {
  RequireWritable();
  Blob(field).Write(offset, bytes);
  modified_ = true;
}

void TDataCursor::SetBlob(uint16_t field, std::span<const uint8_t> bytes) {
  RequireWritable();
  TBlobBuffer& blob = Blob(field);
  blob.Truncate(0);
  blob.Write(0, bytes);
  modified_ = true;
}

void TDataCursor::TruncateBlob(uint16_t field, uint64_t size) {
  RequireWritable();
  Blob(field).Truncate(size);
  modified_ = true;
}

uint64_t TDataCursor::BlobSize(uint16_t field) { return Blob(field).Size(); }

void TDataCursor::FreeBlob(uint16_t field) {
  RequireOpen();
  BlobField(field);
  blobs_.erase(field);
}

}  // namespace strata
