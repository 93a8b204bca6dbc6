// SipHash-1-3: a keyed hash whose output an input cannot steer without the
// key, and fast on short texts such as user names.
#include "report/name_hash.h"

#include <chrono>
#include <cstring>
#include <random>

namespace {

struct Key {
  uint64_t k0 = 0;
  uint64_t k1 = 0;
  bool set = false;
};
Key key;

constexpr uint64_t Rotate(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct State {
  uint64_t v0, v1, v2, v3;

  void Round() {
    v0 += v1;
    v1 = Rotate(v1, 13);
    v1 ^= v0;
    v0 = Rotate(v0, 32);
    v2 += v3;
    v3 = Rotate(v3, 16);
    v3 ^= v2;
    v0 += v3;
    v3 = Rotate(v3, 21);
    v3 ^= v0;
    v2 += v1;
    v1 = Rotate(v1, 17);
    v1 ^= v2;
    v2 = Rotate(v2, 32);
  }

  void Absorb(uint64_t word) {
    v3 ^= word;
    Round();
    v0 ^= word;
  }
};

uint64_t Load64(const unsigned char* p) {
  uint64_t word = 0;
  for (int i = 7; i >= 0; --i) word = word << 8 | p[i];  // little-endian on every platform
  return word;
}

}  // namespace

// A key nobody outside the process knows: the system's random source,
// mixed with the clock in case that source is weak.
void ChooseNameHashKey() {
  std::random_device source;
  const auto clock =
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  key.k0 = (uint64_t{source()} << 32 | source()) ^ clock;
  key.k1 = (uint64_t{source()} << 32 | source()) ^ Rotate(clock, 29);
  key.set = true;
}

void SetNameHashKey(uint64_t key0, uint64_t key1) {
  key.k0 = key0;
  key.k1 = key1;
  key.set = true;
}

uint64_t NameHash(std::string_view name) {
  if (!key.set) ChooseNameHashKey();
  State s{key.k0 ^ 0x736f6d6570736575ull, key.k1 ^ 0x646f72616e646f6dull,
          key.k0 ^ 0x6c7967656e657261ull, key.k1 ^ 0x7465646279746573ull};
  const auto* p = reinterpret_cast<const unsigned char*>(name.data());
  const std::size_t size = name.size();
  const std::size_t whole = size & ~std::size_t{7};
  for (std::size_t at = 0; at < whole; at += 8) s.Absorb(Load64(p + at));
  uint64_t last = uint64_t{size & 0xff} << 56;
  for (std::size_t i = whole; i < size; ++i) last |= uint64_t{p[i]} << (8 * (i - whole));
  s.Absorb(last);
  s.v2 ^= 0xff;
  s.Round();
  s.Round();
  s.Round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}
