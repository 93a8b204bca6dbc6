// The hash of user names in the program's name tables. It is keyed with a
// value chosen afresh for every run, so names written into a log cannot be
// chosen to fall into the same slots and make counting them slow.
#pragma once

#include <cstdint>
#include <string_view>

// The hash of `name` under this run's key.
uint64_t NameHash(std::string_view name);

// Chooses a new key from the system's random source; the first hash of a
// run does so by itself.
void ChooseNameHashKey();

// Fixes the key (tests use it to repeat a run's slots).
void SetNameHashKey(uint64_t key0, uint64_t key1);
