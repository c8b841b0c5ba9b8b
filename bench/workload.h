// The storage benchmark's workload and the interface both engines implement.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct Workload {
  int records = 100000;
  int updates = 1000;
  std::vector<int32_t> keys;         // insertion order
  std::vector<int32_t> lookup_keys;  // random order
  std::vector<int32_t> update_keys;
  std::vector<std::string> names;  // 40 characters each
  static Workload Make(int records, int updates);
};

class Engine {
 public:
  virtual ~Engine() = default;
  virtual std::string Name() const = 0;
  // (a) insert every record (key, name, counter) in one transaction, with a
  // unique index on the key.
  virtual void InsertAll(const Workload& work) = 0;
  // (b) point look-ups by key in random order; returns how many were found.
  virtual long LookupAll(const Workload& work) = 0;
  // (c) full scan counting the records whose counter is odd.
  virtual long CountOdd() = 0;
  // (d) updates of one record's counter, each its own operation.
  virtual void UpdateEach(const Workload& work) = 0;
};

}  // namespace bench
