#include "storage/index/index_descriptor.h"

#include <cstring>

#include "storage/byte_order.h"

namespace strata {

// Layout: see the table beside TIndexDescriptor.
void TIndexDescriptor::Encode(uint8_t* out) const {
  std::memset(out, 0, kIndexDescriptorSize);
  PutShortString(out + 0, kMaxIndexNameLength, Name);
  PutU16(out + 31, KeySize);
  out[33] = Descending ? 1 : 0;
  out[34] = CaseInsensitive ? 1 : 0;
  out[35] = Unique ? 1 : 0;
  out[36] = CompressionMode;
  out[37] = FieldCount;
  for (int i = 0; i < kMaxKeyFields; ++i) {
    out[38 + i] = FieldDescending[i] ? 1 : 0;
    PutU16(out + 54 + 2 * i, FieldNumbers[i]);
  }
  PutU32(out + 86, RootPage);
  PutU32(out + 90, FreeHead);
  PutU32(out + 96, ExtraPage);
  out[100] = NoRecordNumbers ? 1 : 0;
  out[101] = TemporaryFile ? 1 : 0;
}

TIndexDescriptor TIndexDescriptor::Decode(const uint8_t* in) {
  TIndexDescriptor d;
  d.Name = GetShortString(in + 0, kMaxIndexNameLength);
  d.KeySize = GetU16(in + 31);
  d.Descending = in[33] != 0;
  d.CaseInsensitive = in[34] != 0;
  d.Unique = in[35] != 0;
  d.CompressionMode = in[36];
  d.FieldCount = in[37];
  for (int i = 0; i < kMaxKeyFields; ++i) {
    d.FieldDescending[i] = in[38 + i] != 0;
    d.FieldNumbers[i] = GetU16(in + 54 + 2 * i);
  }
  d.RootPage = GetU32(in + 86);
  d.FreeHead = GetU32(in + 90);
  d.ExtraPage = GetU32(in + 96);
  d.NoRecordNumbers = in[100] != 0;
  d.TemporaryFile = in[101] != 0;
  return d;
}

}  // namespace strata
