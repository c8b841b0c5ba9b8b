#include "bench/workload.h"

#include <algorithm>
#include <random>

namespace bench {

Workload Workload::Make(int records, int updates) {
  Workload work;
  work.records = records;
  work.updates = updates;
  std::mt19937 random(20261208);
  for (int i = 0; i < records; ++i) work.keys.push_back(i * 7 + 1);
  std::shuffle(work.keys.begin(), work.keys.end(), random);
  work.lookup_keys = work.keys;
  std::shuffle(work.lookup_keys.begin(), work.lookup_keys.end(), random);
  for (int i = 0; i < updates; ++i) work.update_keys.push_back(work.keys[random() % records]);
  const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  for (int i = 0; i < records; ++i) {
    std::string name(40, ' ');
    for (char& c : name) c = letters[random() % 52];
    work.names.push_back(name);
  }
  return work;
}

}  // namespace bench
