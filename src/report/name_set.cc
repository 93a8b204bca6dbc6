// An open-addressing hash set of pointers to names, twice as large as the
// most names one block can hold, so probes stay short. Only the slots used
// are cleared, so a database with few entries costs little. The hash is keyed
// per run, so a log cannot be written to crowd one run of slots.
#include "report/name_set.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "report/name_hash.h"

namespace {

constexpr uint32_t kMaxNames = 65535;  // entries of one block
constexpr uint32_t kSlotCount = 1u << 17;
constexpr uint32_t kSlotMask = kSlotCount - 1;
static_assert(kSlotCount >= 2 * kMaxNames);

std::array<const char*, kSlotCount> slots{};
std::array<uint32_t, kMaxNames> used{};  // indices of the filled slots
uint32_t count = 0;

uint32_t Hash(const char* name) {
  return static_cast<uint32_t>(NameHash(std::string_view(name)));
}

}  // namespace

void ClearNameSet() {
  for (uint32_t i = 0; i < count; ++i) slots[used[i]] = nullptr;
  count = 0;
}

void AddName(const char* name) {
  // A set that is full takes no more: a block never holds more names.
  if (count == kMaxNames) return;
  for (uint32_t slot = Hash(name) & kSlotMask;; slot = (slot + 1) & kSlotMask) {
    if (slots[slot] == nullptr) {
      slots[slot] = name;
      used[count++] = slot;
      return;
    }
    if (std::strcmp(slots[slot], name) == 0) return;
  }
}

uint32_t NameSetSize() { return count; }
