// Numbers for generated test tables: splitmix64, the same on every compiler
// and library, so a table drawn from a seed is the same on every lane.
#pragma once

#include <cstdint>

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number in [low, high].
  int Int(int low, int high) {
    return static_cast<int>(low + static_cast<int64_t>(Next() % (static_cast<uint64_t>(high - low) + 1)));
  }
  bool OneIn(int n) { return Next() % static_cast<uint64_t>(n) == 0; }

 private:
  uint64_t state_;
};
