// The settings an engine session hands to the table files it opens.
#pragma once

#include <cstdint>

namespace strata {

enum TLockProtocol { lpPessimistic, lpOptimistic };

// Session settings and buffer limits (copied into each open table so the
// files never reach back into the session).
struct TEngineSettings {
  uint8_t LockRetryCount = 15;
  uint16_t LockWaitTime = 100;  // milliseconds between record lock tries
  TLockProtocol LockProtocol = lpPessimistic;
  bool ForceBufferFlush = false;
  bool StrictChangeDetection = false;
  // A table kept open between uses keeps its files' sharing locks, so no
  // other process can open it exclusively meanwhile (restructure, empty,
  // replace or delete it) and taking it up again costs nothing. For short
  // processes: another process waits for exclusive use until this one
  // closes the table (its database, or CloseUnusedTables).
  bool HoldIdleTables = false;
  uint16_t ProgressSteps = 20;
  // Buffer limits.
  uint32_t RecordCacheBytes = 16384;  // record cache: bytes / record size records ...
  uint32_t RecordCacheCount = 8192;   // ... but at most this many
  uint32_t ReadAheadBytes = 16384;    // blob read-ahead: bytes / block size blocks
  uint32_t BlockCacheBytes = 32768;   // blob cache: bytes / block size blocks ...
  uint32_t BlockCacheCount = 8192;    // ... but at most this many; also index pages per index
};

}  // namespace strata
